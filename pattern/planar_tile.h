#pragma once
// The background tile of an NV12 or I420 stream, made once per stream start
// from the stream's 4:2:2 twin tile (the same pattern in YUY2), so that each
// frame is again only block copies: a luma plane, and for every tile row t the
// chroma averaged over rows t and t + 1 (progressive) or t and t + 2 (the same
// field, interlaced), rows taken modulo the tile height. Whatever the vertical
// scroll offset, every chroma row of a frame is then one row of this table.
#include <cstdint>
#include <memory>

struct PixelSurface;

struct PlanarTile {
  std::unique_ptr<uint8_t[]> luma;    // width x height
  std::unique_ptr<uint8_t[]> chroma;  // height rows of width bytes (below)
  int32_t width = 0;                  // even
  int32_t height = 0;
  uint32_t compression = 0;  // NV12 or I420
  bool fields = false;       // chroma of rows two apart (interlaced)
  int32_t repeat_w = 0;      // the twin tile's repeats (PixelSurface): blits
  int32_t repeat_h = 0;      // read only the first one

  bool empty() const { return !luma; }
  void Release();

  // Builds the tile from a YUY2 surface of even width. A chroma row holds
  // NV12's width bytes of U, V pairs, or I420's width / 2 bytes of U followed
  // by width / 2 of V. False (and empty) for another surface format, an odd
  // width, another compression, or no memory.
  bool Build(const PixelSurface& yuy2Tile, uint32_t compression, bool fields);

  // Fills the planes of a frame of w x h (both even, and h a multiple of 4
  // with fields) at buffer, with one scroll offset for each field, as
  // PixelSurface::BlitScrolled does for the twin: luma row r shows tile row
  // (r + y) mod height from column x on, wrapping; the chroma follows the
  // twin's even horizontal offsets (an odd one is taken one pixel less).
  // Progressive frames use the even rows' offsets throughout. False, drawing
  // nothing, when the tile is empty or the frame size is not one it can fill.
  bool BlitScrolled(uint8_t* buffer, int32_t w, int32_t h, int32_t x_even, int32_t x_odd,
                    int32_t y_even, int32_t y_odd) const;
};
