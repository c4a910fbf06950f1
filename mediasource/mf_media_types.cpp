#include "mediasource/mf_media_types.h"

#include <mferror.h>

#include <cstdio>
#include <memory>
#include <new>

#include "mediasource/mf_declarations.h"
#include "pattern/mjpg_encoder.h"
#include "pattern/pixel_format.h"

namespace {

// D3DFORMAT values of the packed RGB formats (d3d9types.h).
constexpr DWORD kD3dFormatR8G8B8 = 20;
constexpr DWORD kD3dFormatX8R8G8B8 = 22;

uint64_t Gcd(uint64_t a, uint64_t b) {
  while (b) {
    const uint64_t r = a % b;
    a = b;
    b = r;
  }
  return a;
}

// Which picture lines carry the earlier field once the rows run top-down.
// The frame loop puts it on the even memory rows in mode 1 and on the odd
// ones in mode 2; in RGB those rows are counted from the bottom, so with an
// even height the roles swap when the rows are turned upright.
UINT32 InterlaceModeOf(const PresetInfo& preset, bool flipRows) {
  if (preset.interlaced != 1 && preset.interlaced != 2)
    return MFVideoInterlace_Progressive;
  const bool earlierOnEvenMemoryRows = preset.interlaced == 1;
  const bool earlierOnTopLine = flipRows ? !earlierOnEvenMemoryRows : earlierOnEvenMemoryRows;
  return earlierOnTopLine ? MFVideoInterlace_FieldInterleavedUpperFirst
                          : MFVideoInterlace_FieldInterleavedLowerFirst;
}

}  // namespace

const GUID kZdPresetIndexAttribute = {
    0x15db5497, 0x1ba7, 0x4012, {0x99, 0x8a, 0x1f, 0x01, 0xe6, 0x20, 0xc9, 0x21}};
const GUID kZdCodePresetAttribute = {
    0x26d60840, 0x9026, 0x49d9, {0xb7, 0xe7, 0xfd, 0x85, 0xc6, 0xa3, 0xdd, 0x8f}};

bool MfFrameFormatOf(const PresetInfo& preset, MfFrameFormat* out) {
  const PixelFormatInfo* format = FindPixelFormat(preset.compression, preset.bit_count);
  if (!format || preset.w <= 0 || preset.h <= 0)
    return false;
  MfFrameFormat f;
  switch (format->id) {
    case PixelFormatId::kRgb32:
      f.subtype = MFVideoFormat_RGB32;
      f.bufferFormat = kD3dFormatX8R8G8B8;
      break;
    case PixelFormatId::kRgb24:
      f.subtype = MFVideoFormat_RGB24;
      f.bufferFormat = kD3dFormatR8G8B8;
      break;
    case PixelFormatId::kI420:
      // I420's 2-D buffers give U and V half the pitch, which a copy in rows
      // of one stride cannot follow: the frame goes into a plain buffer.
      f.subtype = MfSubtypeOfFourcc(format->compression);
      f.bufferFormat = 0;
      break;
    case PixelFormatId::kMjpg: {
      // One JPEG a sample, of its own length: memory for the largest.
      const uint64_t worst = MjpgWorstCaseBytes(preset.w, preset.h);
      if (worst == 0 || worst > 0xFFFFFFFFu)
        return false;
      f.subtype = MFVideoFormat_MJPG;
      f.compressed = true;
      f.frameBytes = uint32_t(worst);
      f.interlaceMode = InterlaceModeOf(preset, false);
      *out = f;
      return true;
    }
    default:
      // The 4:2:2 formats and NV12: the subtype of their FOURCC.
      f.subtype = MfSubtypeOfFourcc(format->compression);
      f.bufferFormat = format->compression;
      break;
  }
  if (IsPlanarFormat(format->compression)) {
    // The planes, packed, as rows of the width: the luma's, then NV12's U, V
    // rows, or I420's U and V planes (two of their rows in one).
    f.rowBytes = uint32_t(preset.w);
    f.stride = f.rowBytes;
    f.rows = uint32_t(preset.h) + uint32_t(preset.h) / 2;
  } else {
    f.rowBytes = uint32_t(preset.w) * uint32_t(format->bitCount / 8);
    f.stride = (f.rowBytes + 3u) & ~3u;
    f.rows = uint32_t(preset.h);
  }
  f.frameBytes = f.stride * f.rows;
  f.flipRows = IsRgbFormat(format->compression);
  f.interlaceMode = InterlaceModeOf(preset, f.flipRows);
  if (!f.flipRows) {
    f.nominalRange = MFNominalRange_16_235;
    f.matrix = format->id == PixelFormatId::kHdyc ? MFVideoTransferMatrix_BT709
                                                  : MFVideoTransferMatrix_BT601;
  }
  *out = f;
  return true;
}

void MfFrameRateOf(int64_t frameTime, UINT32* numerator, UINT32* denominator) {
  if (frameTime <= 0) {
    *numerator = 0;
    *denominator = 1;
    return;
  }
  uint64_t num = 10000000;
  uint64_t den = uint64_t(frameTime);
  const uint64_t g = Gcd(num, den);
  num /= g;
  den /= g;
  // A duration beyond 32 bits: keep the ratio's value as nearly as 32 bits allow.
  while (den > 0xFFFFFFFFu) {
    num = (num + 1) / 2;
    den /= 2;
  }
  *numerator = UINT32(num ? num : 1);
  *denominator = UINT32(den);
}

HRESULT CreateMfMediaType(const MfRuntime& mf, const PresetInfo& preset, IMFMediaType** out) {
  *out = nullptr;
  MfFrameFormat f;
  if (!MfFrameFormatOf(preset, &f))
    return MF_E_INVALIDMEDIATYPE;
  IMFMediaType* type = nullptr;
  HRESULT hr = mf.CreateMediaType(&type);
  if (FAILED(hr))
    return hr;
  UINT32 rateNum = 0, rateDen = 1;
  MfFrameRateOf(preset.frame_time, &rateNum, &rateDen);
  const auto pack = [](UINT32 high, UINT32 low) { return (UINT64(high) << 32) | low; };
  hr = type->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
  if (SUCCEEDED(hr))
    hr = type->SetGUID(MF_MT_SUBTYPE, f.subtype);
  if (SUCCEEDED(hr))
    hr = type->SetUINT64(MF_MT_FRAME_SIZE, pack(UINT32(preset.w), UINT32(preset.h)));
  if (SUCCEEDED(hr))
    hr = type->SetUINT64(MF_MT_FRAME_RATE, pack(rateNum, rateDen));
  if (SUCCEEDED(hr))
    hr = type->SetUINT64(MF_MT_PIXEL_ASPECT_RATIO, pack(1, 1));
  if (SUCCEEDED(hr))
    hr = type->SetUINT32(MF_MT_INTERLACE_MODE, f.interlaceMode);
  if (f.compressed) {
    // As a USB webcam's MJPG: no stride, no sample size, no colour facts
    // (the JPEG's own header says them).
    if (SUCCEEDED(hr))
      hr = type->SetUINT32(MF_MT_COMPRESSED, TRUE);
    if (SUCCEEDED(hr))
      hr = type->SetUINT32(MF_MT_FIXED_SIZE_SAMPLES, FALSE);
    if (SUCCEEDED(hr))
      hr = type->SetUINT32(MF_MT_ALL_SAMPLES_INDEPENDENT, TRUE);
  } else {
    if (SUCCEEDED(hr))
      hr = type->SetUINT32(MF_MT_DEFAULT_STRIDE, f.stride);
    if (SUCCEEDED(hr))
      hr = type->SetUINT32(MF_MT_FIXED_SIZE_SAMPLES, TRUE);
    if (SUCCEEDED(hr))
      hr = type->SetUINT32(MF_MT_ALL_SAMPLES_INDEPENDENT, TRUE);
    if (SUCCEEDED(hr))
      hr = type->SetUINT32(MF_MT_SAMPLE_SIZE, f.frameBytes);
    if (SUCCEEDED(hr))
      hr = type->SetUINT32(MF_MT_VIDEO_NOMINAL_RANGE, f.nominalRange);
    if (SUCCEEDED(hr) && f.matrix != MFVideoTransferMatrix_Unknown)
      hr = type->SetUINT32(MF_MT_YUV_MATRIX, f.matrix);
  }
  if (FAILED(hr)) {
    type->Release();
    return hr;
  }
  *out = type;
  return S_OK;
}

HRESULT CreateMfNativeTypes(const MfRuntime& mf, const PresetInfo* table, int32_t count,
                            const std::vector<int32_t>& namedPreset,
                            std::vector<ComPtr<IMFMediaType>>* types,
                            std::vector<std::string>* leftOut) {
  types->clear();
  leftOut->clear();
  try {
    for (int32_t i = 0; i < count && table; ++i) {
      const PresetInfo& preset = table[size_t(i)];
      const UINT32 named =
          size_t(i) < namedPreset.size() ? UINT32(namedPreset[size_t(i)]) : UINT32(i);
      ComPtr<IMFMediaType> type;
      HRESULT hr = CreateMfMediaType(mf, preset, type.Put());
      if (SUCCEEDED(hr))
        hr = type->SetUINT32(kZdPresetIndexAttribute, UINT32(i));
      if (SUCCEEDED(hr))
        hr = type->SetUINT32(kZdCodePresetAttribute, named);
      if (SUCCEEDED(hr)) {
        types->push_back(type);
        continue;
      }
      const PixelFormatInfo* format = FindPixelFormat(preset.compression, preset.bit_count);
      char line[128];
      const int n =
          std::snprintf(line, sizeof line, "mf-type-left-out preset=%d %dx%d %s hr=0x%08lX\r\n",
                        int(i), int(preset.w), int(preset.h), format ? format->name : "unknown",
                        static_cast<unsigned long>(hr));
      leftOut->emplace_back(line, n > 0 && size_t(n) < sizeof line ? size_t(n) : 0);
    }
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

bool AddNv12Twins(StreamSettings* settings, std::vector<int32_t>* namedPreset) {
  const int32_t count = settings->m_presetTable ? settings->m_presetNum : 0;
  std::vector<int32_t> named(size_t(count > 0 ? count : 0));
  for (int32_t i = 0; i < count; ++i)
    named[size_t(i)] = i;
  auto sameSize = [](const PresetInfo& a, const PresetInfo& b) { return a.w == b.w && a.h == b.h; };
  std::vector<PresetInfo> twins;
  for (int32_t i = 0; i < count; ++i) {
    const PresetInfo& p = settings->m_presetTable[size_t(i)];
    bool covered = p.interlaced != 0 && p.h % 4 != 0;
    for (int32_t k = 0; k < count && !covered; ++k) {
      const PresetInfo& q = settings->m_presetTable[size_t(k)];
      covered = sameSize(p, q) && (q.compression == kFourccNV12 || k < i);
    }
    if (covered)
      continue;
    PresetInfo twin = p;
    twin.compression = kFourccNV12;
    twin.bit_count = 12;
    twins.push_back(twin);
    named.push_back(i);
  }
  if (!twins.empty()) {
    std::unique_ptr<PresetInfo[]> table(new (std::nothrow)
                                            PresetInfo[size_t(count) + twins.size()]);
    if (!table)
      return false;
    for (int32_t i = 0; i < count; ++i)
      table[size_t(i)] = settings->m_presetTable[size_t(i)];
    for (size_t t = 0; t < twins.size(); ++t)
      table[size_t(count) + t] = twins[t];
    settings->m_presetTable = std::move(table);
    settings->m_presetNum = count + int32_t(twins.size());
  }
  namedPreset->swap(named);
  return true;
}

bool MfTypeMatchesPreset(IMFMediaType* type, const PresetInfo& preset) {
  MfFrameFormat f;
  if (!type || !MfFrameFormatOf(preset, &f))
    return false;
  GUID subtype = GUID_NULL;
  UINT64 size = 0, rate = 0;
  UINT32 interlace = MFVideoInterlace_Progressive;
  if (FAILED(type->GetGUID(MF_MT_SUBTYPE, &subtype)) || !IsEqualGUID(subtype, f.subtype))
    return false;
  if (FAILED(type->GetUINT64(MF_MT_FRAME_SIZE, &size)) ||
      size != ((UINT64(UINT32(preset.w)) << 32) | UINT32(preset.h)))
    return false;
  UINT32 rateNum = 0, rateDen = 1;
  MfFrameRateOf(preset.frame_time, &rateNum, &rateDen);
  if (SUCCEEDED(type->GetUINT64(MF_MT_FRAME_RATE, &rate)) &&
      rate != ((UINT64(rateNum) << 32) | rateDen))
    return false;
  if (SUCCEEDED(type->GetUINT32(MF_MT_INTERLACE_MODE, &interlace)) && interlace != f.interlaceMode)
    return false;
  return true;
}

int32_t PresetIndexOfType(IMFMediaType* type, const PresetInfo* table, int32_t count) {
  if (!type || !table)
    return -1;
  UINT32 tagged = 0;
  if (SUCCEEDED(type->GetUINT32(kZdPresetIndexAttribute, &tagged)) && tagged < UINT32(count) &&
      MfTypeMatchesPreset(type, table[tagged]))
    return int32_t(tagged);
  for (int32_t i = 0; i < count; ++i) {
    if (MfTypeMatchesPreset(type, table[i]))
      return i;
  }
  return -1;
}
