#pragma once
// An image held in an output pixel format: the background tile or the font
// sheet. RGB surfaces are stored bottom-up, 4:2:2 surfaces top-down; rows are
// packed (stride = width * bytes_per_pixel).
#include <cstdint>
#include <memory>
#include <string>

struct SourceBitmap;

struct PixelSurface {
  std::unique_ptr<uint8_t[]> pixels;  // null: the surface is empty
  int32_t width = 0;
  int32_t height = 0;
  uint32_t compression = 0;
  int32_t bytes_per_pixel = 0;
  int32_t stride = 0;
  int32_t glyph_w = 0;  // width / 32: glyph cell width of a font sheet
  int32_t glyph_h = 0;  // height / 16
  // The picture repeats every repeat_w pixels across and every repeat_h rows
  // down (a tile holds whole repeats of its image), so a blit reads only the
  // first repeat_w x repeat_h block, which stays in the cache from frame to
  // frame. 0, or a figure that does not divide the size: no repeat is known.
  int32_t repeat_w = 0;
  int32_t repeat_h = 0;

  bool empty() const { return !pixels; }
  // The repeat across and down that blits rely on (BlitRepeat below).
  int32_t RepeatWidth() const;
  int32_t RepeatHeight() const;
  void Release();  // back to the empty state

  // Builds a tile covering frame_w x frame_h (0 x 0 keeps the image's own size)
  // from the bitmap file at path, converted to the given format.
  bool LoadTile(const std::string& path, int32_t frame_w, int32_t frame_h, uint32_t compression,
                int32_t bit_count);
  // The same from an image already in memory.
  bool BuildTile(const SourceBitmap& image, int32_t frame_w, int32_t frame_h, uint32_t compression,
                 int32_t bit_count);
  // An all-zero surface of exactly w x h.
  bool CreateBlank(int32_t w, int32_t h, uint32_t compression, int32_t bit_count);

  // Fills rows x row_len pixels of a frame buffer (rows start every pitch bytes)
  // from the tile, wrapping around, with one scroll offset for even memory rows
  // and one for odd. False, drawing nothing, when the surface is empty.
  bool BlitScrolled(uint8_t* buffer, uint32_t pitch, uint32_t row_len, uint32_t rows,
                    int32_t x_even, int32_t x_odd, int32_t y_even, int32_t y_odd) const;
};

// The shortest run a blit copies in one call when the picture repeats.
constexpr int32_t kMinBlitRunBytes = 512;

// The part of a size that a blit reads, given that the picture repeats every
// `repeat` units of it: size itself when the repeat is unknown (0) or does not
// divide it, else the fewest whole repeats that divide size and make a run of
// at least min_run_bytes (bytes_per_unit each), so that narrow images do not
// cost a copy call every few bytes.
int32_t BlitRepeat(int32_t size, int32_t repeat, int32_t bytes_per_unit, int32_t min_run_bytes);
