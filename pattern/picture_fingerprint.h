#pragma once
// The fingerprint of everything in the settings that shapes a preset's
// picture: its size, format and scan, the scroll, the background's and the
// font sheet's file contents, and the overlay keys. Layout 2 of the frame code
// carries it, so that a reader can tell whether the settings it holds made the
// recording. The frame time, the faults, the clock and the logs are left out:
// they change when frames come, not what they show.
#include <cstdint>
#include <string>

#include "stream/preset_info.h"

// FNV-1a, 64 bits, over the values in a fixed order; a bitmap that cannot be
// read counts as an empty file (the picture is then blank, or the stream does
// not start). moduleDir is where the settings' file names are found.
uint64_t PictureFingerprint(const PresetInfo& preset, int32_t mouseCursol,
                            const std::string& moduleDir);
