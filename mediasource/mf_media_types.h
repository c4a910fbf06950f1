// The media source's native media types: one per enabled preset, in table
// order, in its own format's subtype. The uncompressed frames are upright in
// every format: rows run top-down with a positive default stride. MJPG is
// offered as USB webcams present it: compressed, one JPEG of its own length
// a sample.
#pragma once

#include <windows.h>
#include <mfapi.h>
#include <mfobjects.h>

#include <cstdint>
#include <string>
#include <vector>

#include "baseclasses/com_ptr.h"
#include "mediasource/mf_runtime.h"
#include "stream/preset_info.h"
#include "stream/stream_settings.h"

// How a preset's frames are laid out in Media Foundation's terms.
struct MfFrameFormat {
  GUID subtype = GUID_NULL;
  DWORD bufferFormat = 0;  // MFCreate2DMediaBuffer's FOURCC or D3DFORMAT; 0: plain buffers
  uint32_t stride = 0;     // the default stride, bytes: rows padded to 4 bytes
  uint32_t rowBytes = 0;   // bytes of one row's pixels
  uint32_t rows = 0;       // rows of stride bytes a frame takes: h, or h * 3 / 2 for NV12 and I420
  bool flipRows = false;   // the frame loop writes its rows bottom-up (RGB)
  // MJPG: every sample one JPEG of its own length, at most frameBytes.
  bool compressed = false;
  // The frame memory the loop draws or encodes into: stride x rows, or for
  // MJPG the largest JPEG of the frame size (MjpgWorstCaseBytes).
  uint32_t frameBytes = 0;
  UINT32 interlaceMode = MFVideoInterlace_Progressive;
  UINT32 nominalRange = MFNominalRange_0_255;
  UINT32 matrix = MFVideoTransferMatrix_Unknown;  // unset for RGB
};

// False for a preset whose format Media Foundation cannot carry.
bool MfFrameFormatOf(const PresetInfo& preset, MfFrameFormat* out);

// The frame rate of a frame duration as an exact ratio, 10^7 / frame_time in
// lowest terms; 0/1 for a duration of 0 or less, held within 32 bits.
void MfFrameRateOf(int64_t frameTime, UINT32* numerator, UINT32* denominator);

// A new media type for the preset. MF_E_INVALIDMEDIATYPE for a format Media
// Foundation cannot carry.
HRESULT CreateMfMediaType(const MfRuntime& mf, const PresetInfo& preset, IMFMediaType** out);

// The native types of a preset table, in table order, each tagged with
// kZdPresetIndexAttribute (its table position) and kZdCodePresetAttribute
// (namedPreset's entry, or its own position without one). A preset whose
// type cannot be made, for whatever reason, is left out and gets one line
// in leftOut, as the module's logs write it: "mf-type-left-out preset=<position>
// <w>x<h> <format> hr=0x<code>" and CR LF. E_OUTOFMEMORY only when the lists
// themselves cannot grow.
HRESULT CreateMfNativeTypes(const MfRuntime& mf, const PresetInfo* table, int32_t count,
                            const std::vector<int32_t>& namedPreset,
                            std::vector<ComPtr<IMFMediaType>>* types,
                            std::vector<std::string>* leftOut);

// Frame Server pipelines prefer NV12: for each frame size that no preset
// offers in NV12, an NV12 twin of the first preset of that size is added at
// the end of the table (an interlaced one only where its height is a
// multiple of 4). namedPreset gets, for every entry, the preset its frames
// name in the frame code: its own position, or the one a twin was made from.
// False, changing nothing, when the larger table cannot be allocated.
bool AddNv12Twins(StreamSettings* settings, std::vector<int32_t>* namedPreset);

// A media type attribute of the source's own: the preset a native type was
// made from (UINT32, its position in the preset table), so that presets
// that differ only in what the type does not say (faults, comment) are told
// apart. {15DB5497-1BA7-4012-998A-1F01E620C921}
extern const GUID kZdPresetIndexAttribute;

// A media type attribute of the source's own: the preset the frames' code
// names (UINT32, its position in the preset table): the type's own preset,
// or for an NV12 twin the preset it was made from, so that a reader knows
// which capability index --verify is to find. {26D60840-9026-49D9-B7E7-FD85C6A3DD8F}
extern const GUID kZdCodePresetAttribute;

// True when type describes the preset: the same subtype, frame size, frame
// rate and interlace mode (other attributes the caller may have added are
// not compared).
bool MfTypeMatchesPreset(IMFMediaType* type, const PresetInfo& preset);

// The position in the table of the preset type was made from: the one its
// kZdPresetIndexAttribute names when that describes it, else the first that
// matches; -1 when none does.
int32_t PresetIndexOfType(IMFMediaType* type, const PresetInfo* table, int32_t count);
