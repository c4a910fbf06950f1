// IAMStreamConfig of the output pin: every preset is one capability, and
// setting a format selects a preset as the current one.
#include <dshow.h>
#include <dvdmedia.h>

#include "server/bouncing_ball.h"
#include "stream/ball_stream.h"
#include "stream/media_types.h"

namespace {

constexpr HRESULT kNoMatch = HRESULT_FROM_WIN32(ERROR_NO_MATCH);  // 0x80070491
constexpr REFERENCE_TIME kFrameTimeTolerance = 50;                // 5 microseconds

struct RequestedFormat {
  LONG width;
  LONG height;
  DWORD compression;
  WORD bitCount;
  REFERENCE_TIME frameTime;
};

// The fields a format request is matched on; false when the type is not a
// video type of the chosen layout.
bool ReadRequest(const AM_MEDIA_TYPE* mt, bool videoInfo2, RequestedFormat* request) {
  if (!mt || !IsEqualGUID(mt->majortype, MEDIATYPE_Video))
    return false;
  const BITMAPINFOHEADER* header = VideoBitmapHeader(*mt, videoInfo2);
  if (!header)
    return false;
  request->width = header->biWidth;
  request->height = header->biHeight;
  request->compression = header->biCompression;
  request->bitCount = header->biBitCount;
  request->frameTime =
      videoInfo2 ? reinterpret_cast<const VIDEOINFOHEADER2*>(mt->pbFormat)->AvgTimePerFrame
                 : reinterpret_cast<const VIDEOINFOHEADER*>(mt->pbFormat)->AvgTimePerFrame;
  return true;
}

bool Matches(const PresetInfo& preset, const RequestedFormat& request) {
  // The height with its sign: a top-down request matches nothing.
  return preset.w == request.width && preset.h == request.height &&
         preset.compression == request.compression && preset.bit_count == request.bitCount &&
         request.frameTime >= preset.frame_time - kFrameTimeTolerance &&
         request.frameTime <= preset.frame_time + kFrameTimeTolerance;
}

}  // namespace

// Selection policy: refused with VFW_E_NOT_STOPPED unless the filter is
// stopped (a stream in progress keeps its format and buffers). While the pin
// is connected, a preset whose type differs from the agreed one is offered to
// the downstream pin first (QueryAccept) and the connection is then made
// again with it; when the downstream pin refuses, the old preset and
// connection stay and the result is VFW_E_INVALIDMEDIATYPE.
STDMETHODIMP CBallStream::SetFormat(AM_MEDIA_TYPE* mt) {
  const bool videoInfo2 = m_settings.m_useVideoInfoHeader2 != 0;
  RequestedFormat request = {};
  if (!ReadRequest(mt, videoInfo2, &request) || !m_settings.m_presetTable ||
      m_settings.m_presetNum < 1)
    return kNoMatch;

  int32_t chosenIndex = -1;
  for (int32_t i = 0; i < m_settings.m_presetNum; ++i) {
    if (Matches(m_settings.m_presetTable[i], request)) {
      chosenIndex = i;
      break;
    }
  }
  if (chosenIndex < 0)
    return kNoMatch;
  const PresetInfo* chosen = &m_settings.m_presetTable[chosenIndex];

  CAutoLock lock(m_ballFilter->pStateLock());
  if (!IsStopped())
    return VFW_E_NOT_STOPPED;
  if (!IsConnected()) {
    ReplacePreset(chosenIndex);
    return S_OK;
  }

  CMediaType newType;
  if (!BuildPresetMediaType(&newType, *chosen, CurrentPreset().interlaced, videoInfo2))
    return E_OUTOFMEMORY;
  if (newType == m_mt) {
    ReplacePreset(chosenIndex);
    return S_OK;
  }

  ComPtr<IPin> peer(GetConnected());
  if (peer->QueryAccept(&newType) != S_OK)
    return VFW_E_INVALIDMEDIATYPE;

  // Both ends are stopped: take the connection apart and make it again with
  // the new preset's type; on failure restore the old preset and type.
  const int32_t previous = m_presetIndex;
  CMediaType previousType(m_mt);
  HRESULT hr = Disconnect();
  if (FAILED(hr))
    return hr;
  peer->Disconnect();
  ReplacePreset(chosenIndex);
  hr = Connect(peer.Get(), &newType);
  if (SUCCEEDED(hr))
    return S_OK;
  ReplacePreset(previous);
  Connect(peer.Get(), &previousType);
  return VFW_E_INVALIDMEDIATYPE;
}

STDMETHODIMP CBallStream::GetFormat(AM_MEDIA_TYPE** mt) {
  if (!mt)
    return E_POINTER;
  const PresetInfo preset = CurrentPreset();
  if (!CreatePresetMediaType(mt, preset))
    return E_OUTOFMEMORY;
  return S_OK;
}

STDMETHODIMP CBallStream::GetNumberOfCapabilities(int* count, int* size) {
  if (!count || !size)
    return E_POINTER;
  *count = m_settings.m_presetTable ? m_settings.m_presetNum : 0;
  *size = sizeof(VIDEO_STREAM_CONFIG_CAPS);
  return S_OK;
}

// An index outside the table gives S_FALSE and a null type: nothing beyond
// the table is read.
STDMETHODIMP CBallStream::GetStreamCaps(int index, AM_MEDIA_TYPE** mt, BYTE* caps) {
  if (!mt || !caps)
    return E_POINTER;
  *mt = nullptr;
  if (!m_settings.m_presetTable || index < 0 || index >= m_settings.m_presetNum)
    return S_FALSE;

  const PresetInfo& preset = m_settings.m_presetTable[index];
  AM_MEDIA_TYPE* type = nullptr;
  if (!CreatePresetMediaType(&type, preset))
    return E_OUTOFMEMORY;
  const BITMAPINFOHEADER* header = VideoBitmapHeader(*type, m_settings.m_useVideoInfoHeader2 != 0);

  auto* record = reinterpret_cast<VIDEO_STREAM_CONFIG_CAPS*>(caps);
  ZeroMemory(record, sizeof(VIDEO_STREAM_CONFIG_CAPS));
  record->guid = type->formattype;
  record->VideoStandard = 0;
  const SIZE size = {header->biWidth, header->biHeight};
  record->InputSize = size;
  record->MinCroppingSize = size;
  record->MaxCroppingSize = size;
  record->CropGranularityX = 1;
  record->CropGranularityY = 1;
  record->CropAlignX = 1;
  record->CropAlignY = 1;
  record->MinOutputSize = size;
  record->MaxOutputSize = size;
  record->OutputGranularityX = 1;
  record->OutputGranularityY = 1;
  record->MinFrameInterval = preset.frame_time;
  record->MaxFrameInterval = preset.frame_time;
  // Bits per second, as the interface names the unit; saturated, not wrapped.
  const LONG bits = BitsPerSecond(header->biSizeImage, preset.frame_time);
  record->MinBitsPerSecond = bits;
  record->MaxBitsPerSecond = bits;
  *mt = type;
  return S_OK;
}
