#pragma once
// Text and marker drawing from a font sheet surface: 32 x 16 glyph cells,
// colour bands selected by "#w", "#r", "#g", "#b", "#y", "#i". Coordinates are
// picture pixels from the top-left, whatever the buffer's row order. Glyphs are
// drawn whole or not at all; nothing is written outside the frame buffer.
#include <cstdint>

struct PixelSurface;

constexpr int32_t kMarkerSize = 32;

void DrawGlyph(const PixelSurface& font, uint8_t* buffer, uint32_t pitch, uint32_t row_len,
               uint32_t rows, int32_t x, int32_t y, char ch, int32_t band);
void DrawString(const PixelSurface& font, uint8_t* buffer, uint32_t pitch, uint32_t row_len,
                uint32_t rows, int32_t x, int32_t y, const char* text);
int32_t MeasureString(const PixelSurface& font, const char* text);
void DrawCursorMarker(const PixelSurface& font, uint8_t* buffer, uint32_t pitch, uint32_t row_len,
                      uint32_t rows, int32_t x, int32_t y);
