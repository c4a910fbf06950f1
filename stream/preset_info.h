#pragma once
// One output format of the filter, as read from the settings file. A plain
// record copied by value: into the preset table, and from the table into the
// current preset.
#include <cstdint>

#include "pattern/mjpg_encoder.h"
#include "stream/fault_settings.h"

constexpr int kPresetTextSize = 260;  // 259 characters and the terminator
// File names are UTF-8 and count 259 characters as the platform counts them
// (UTF-16 units on Windows, bytes natively): up to three bytes each.
constexpr int kPresetNameSize = 3 * (kPresetTextSize - 1) + 1;

struct PresetInfo {
  int32_t enable;                 // 1: from an enabled numbered section; 0: the fallback default
  int32_t w;                      // frame width in pixels; even, at least 80
  int32_t h;                      // frame height in pixels; even, at least 60
  uint32_t compression;           // 0 for RGB, else the FOURCC (first character in the lowest byte)
  int32_t bit_count;              // 32, 24 or 16
  int64_t frame_time;             // frame duration in 100-ns units
  int32_t interlaced;             // 0 progressive, 1 field 1 first, 2 field 2 first
  int32_t scroll_x;               // pattern movement in pixels per frame; even
  int32_t scroll_y;               // even
  char bmp[kPresetNameSize];      // background bitmap, relative to the module's folder
  char font[kPresetNameSize];     // font sheet bitmap, relative to the module's folder
  char comment[kPresetTextSize];  // shown at the end of the information line
  FaultSettings faults;           // all off unless the preset asks for them
  // MJPG: the JPEG quality, 1..100 after loading ("jpeg_quality"; 85 unless
  // a preset says otherwise).
  int32_t jpeg_quality = kJpegQualityDefault;
};
