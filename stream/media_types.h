// Building and reading the video format blocks the output pin offers and
// accepts. VIDEOINFOHEADER (FORMAT_VideoInfo) or VIDEOINFOHEADER2
// (FORMAT_VideoInfo2), chosen once by "use_video_info_header2".
#pragma once

#include <dshow.h>

#include "baseclasses/media_type.h"
#include "stream/preset_info.h"

// dwInterlaceFlags of an interlace mode: 1 -> interlaced, field 1 first (0x5);
// 2 -> interlaced (0x1); anything else -> progressive (0).
DWORD InterlaceFlags(int32_t interlaced);

// The bitmap header of a type's format block when the block is of the chosen
// layout (format type and length checked), else null. Never reads beyond
// cbFormat.
const BITMAPINFOHEADER* VideoBitmapHeader(const AM_MEDIA_TYPE& mt, bool videoInfo2);

// The bytes a sample buffer holds for a connection of this header: the frame
// (the DIB size of the header) or, when the type asks for more, its
// biSizeImage. 0 when the type's sizes are out of bounds (see
// ConnectionSizesAcceptable).
DWORD SampleBufferBytes(const BITMAPINFOHEADER& header);

// The image size the preset's media type gives (biSizeImage): for MJPG the
// encoder's worst case.
DWORD PresetImageBytes(const PresetInfo& preset);

// Whether a connection type's biSizeImage and lSampleSize can be honoured:
// each is 0 (the frame's size is meant) or at most the frame's size plus one
// byte less than its height. The frame loop lays a frame out with the row
// pitch buffer size / height, so a larger buffer would move the rows apart;
// sizes from outside never feed an allocation beyond that bound.
bool ConnectionSizesAcceptable(const AM_MEDIA_TYPE& mt, const BITMAPINFOHEADER& header);

// The type the pin offers for `preset` into the framework's value class. In
// VIDEOINFOHEADER layout the block is a whole VIDEOINFO (colour table area
// zeroed). interlaced gives the VIDEOINFOHEADER2 interlace flags. False when
// out of memory.
bool BuildPresetMediaType(CMediaType* mt, const PresetInfo& preset, int32_t interlaced,
                          bool videoInfo2);

// The data rate of a frame size and duration in bits per second, as
// IAMStreamConfig reports it: bytes x 8 x (10^7 / frameTime), 30 frames per
// second when frameTime is not positive; saturates at 0x7FFFFFFF.
LONG BitsPerSecond(DWORD frameBytes, int64_t frameTime);
