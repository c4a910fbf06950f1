#include "stream/media_types.h"

#include <climits>
#include <cstdint>
#include <cstdlib>

#include <dshow.h>
#include <dvdmedia.h>

#include "baseclasses/task_mem.h"
#include "pattern/mjpg_encoder.h"
#include "pattern/pixel_format.h"
#include "server/bouncing_ball.h"
#include "stream/ball_stream.h"

namespace {

// Bytes of one frame of the header's format: the DIB rule, but w x h x 3 / 2
// for the planar 4:2:0 formats, whose planes are packed, and for MJPG the
// most one JPEG of the frame's size can take (the encoder's worst case).
DWORD FrameImageBytes(const BITMAPINFOHEADER* header) {
  if (IsPlanarFormat(header->biCompression) && header->biBitCount == 12)
    return static_cast<DWORD>(PlanarFrameBytes(header->biWidth, std::abs(header->biHeight)));
  if (IsMjpgFormat(header->biCompression) && header->biBitCount == 24) {
    const uint64_t worst = MjpgWorstCaseBytes(header->biWidth, std::abs(header->biHeight));
    return worst > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(worst);
  }
  return GetBitmapSize(header);
}

void FillBitmapHeader(BITMAPINFOHEADER* header, const PresetInfo& preset) {
  *header = {};
  header->biSize = sizeof(BITMAPINFOHEADER);
  header->biWidth = preset.w;
  header->biHeight = preset.h;  // positive for every format: RGB bottom-up, YUV top-down
  header->biPlanes = 1;
  header->biBitCount = static_cast<WORD>(preset.bit_count);
  header->biCompression = preset.compression;
  header->biSizeImage = FrameImageBytes(header);
}

}  // namespace

DWORD PresetImageBytes(const PresetInfo& preset) {
  BITMAPINFOHEADER header;
  FillBitmapHeader(&header, preset);
  return header.biSizeImage;
}

namespace {

// The format block's size: a VIDEOINFOHEADER2, or in the other layout a
// whole VIDEOINFO (colour table area included) for the pin's own types and
// a bare VIDEOINFOHEADER for the types handed out through IAMStreamConfig.
ULONG FormatBlockSize(bool videoInfo2, bool wholeVideoInfo) {
  if (videoInfo2)
    return sizeof(VIDEOINFOHEADER2);
  return wholeVideoInfo ? sizeof(VIDEOINFO) : sizeof(VIDEOINFOHEADER);
}

// The one description of a preset's media type: fills the zeroed format
// block of the chosen layout and the type's fields around it (not the
// block's address and length, nor pUnk).
void DescribePresetType(AM_MEDIA_TYPE* type, BYTE* block, const PresetInfo& preset,
                        int32_t interlaced, bool videoInfo2) {
  const BITMAPINFOHEADER* header = nullptr;
  if (videoInfo2) {
    auto* vih = reinterpret_cast<VIDEOINFOHEADER2*>(block);
    vih->AvgTimePerFrame = preset.frame_time;
    vih->dwInterlaceFlags = InterlaceFlags(interlaced);
    vih->dwPictAspectRatioX = static_cast<DWORD>(preset.w);  // square pixels
    vih->dwPictAspectRatioY = static_cast<DWORD>(preset.h);
    FillBitmapHeader(&vih->bmiHeader, preset);
    header = &vih->bmiHeader;
    type->formattype = FORMAT_VideoInfo2;
  } else {
    auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(block);
    vih->AvgTimePerFrame = preset.frame_time;
    FillBitmapHeader(&vih->bmiHeader, preset);
    header = &vih->bmiHeader;
    type->formattype = FORMAT_VideoInfo;
  }
  type->majortype = MEDIATYPE_Video;
  type->subtype = GetBitmapSubtype(header);
  // MJPG samples are as long as their JPEG: variable in size, each a key
  // frame; the buffer size is the largest a JPEG can be.
  type->bFixedSizeSamples = IsMjpgFormat(preset.compression) ? FALSE : TRUE;
  type->bTemporalCompression = FALSE;
  type->lSampleSize = header->biSizeImage;
}

}  // namespace

DWORD InterlaceFlags(int32_t interlaced) {
  switch (interlaced) {
    case 1:
      return AMINTERLACE_IsInterlaced | AMINTERLACE_Field1First;
    case 2:
      return AMINTERLACE_IsInterlaced;
    default:
      return 0;
  }
}

const BITMAPINFOHEADER* VideoBitmapHeader(const AM_MEDIA_TYPE& mt, bool videoInfo2) {
  if (!mt.pbFormat)
    return nullptr;
  if (videoInfo2) {
    if (!IsEqualGUID(mt.formattype, FORMAT_VideoInfo2) || mt.cbFormat < sizeof(VIDEOINFOHEADER2))
      return nullptr;
    return &reinterpret_cast<const VIDEOINFOHEADER2*>(mt.pbFormat)->bmiHeader;
  }
  if (!IsEqualGUID(mt.formattype, FORMAT_VideoInfo) || mt.cbFormat < sizeof(VIDEOINFOHEADER))
    return nullptr;
  return &reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat)->bmiHeader;
}

bool BuildPresetMediaType(CMediaType* mt, const PresetInfo& preset, int32_t interlaced,
                          bool videoInfo2) {
  const ULONG blockSize = FormatBlockSize(videoInfo2, true);
  BYTE* block = mt->AllocFormatBuffer(blockSize);
  if (!block)
    return false;
  ZeroMemory(block, blockSize);
  DescribePresetType(mt, block, preset, interlaced, videoInfo2);
  return true;
}

namespace {

// The largest buffer whose row pitch (size / height) is still the frame's
// row size, as a 64-bit value (the DIB size may come close to 4 GB). NV12
// and I420 frames lie at the buffer's start whatever its size (their planes
// are packed), and MJPG's are as long as their JPEG; they get the same bound
// over their own size (MJPG: its worst case).
uint64_t LargestSampleBytes(const BITMAPINFOHEADER& header) {
  const uint64_t rows = header.biHeight > 0 ? uint64_t(header.biHeight) : 1u;
  return uint64_t(FrameImageBytes(&header)) + rows - 1u;
}

bool SizeAcceptable(uint64_t bytes, const BITMAPINFOHEADER& header) {
  return bytes <= LargestSampleBytes(header) && bytes <= uint64_t(LONG_MAX);
}

}  // namespace

bool ConnectionSizesAcceptable(const AM_MEDIA_TYPE& mt, const BITMAPINFOHEADER& header) {
  return SizeAcceptable(FrameImageBytes(&header), header) &&
         SizeAcceptable(header.biSizeImage, header) && SizeAcceptable(mt.lSampleSize, header);
}

DWORD SampleBufferBytes(const BITMAPINFOHEADER& header) {
  const DWORD frameBytes = FrameImageBytes(&header);
  if (!SizeAcceptable(frameBytes, header) || !SizeAcceptable(header.biSizeImage, header))
    return 0;
  return header.biSizeImage > frameBytes ? header.biSizeImage : frameBytes;
}

LONG BitsPerSecond(DWORD frameBytes, int64_t frameTime) {
  const double rate = frameTime > 0 ? 10000000.0 / static_cast<double>(frameTime) : 30.0;
  const double bits = static_cast<double>(frameBytes) * 8.0 * rate;
  if (bits >= 2147483647.0)
    return 0x7FFFFFFF;
  return static_cast<LONG>(bits);
}

HRESULT CBallStream::GetMediaType(int position, CMediaType* mt) {
  if (!mt)
    return E_POINTER;
  CAutoLock lock(m_ballFilter->pStateLock());
  if (position < 0)
    return E_INVALIDARG;
  if (position > 1)
    return VFW_S_NO_MORE_ITEMS;
  // Both positions give the current preset's type.
  const PresetInfo preset = CurrentPreset();
  if (!BuildPresetMediaType(mt, preset, preset.interlaced, m_settings.m_useVideoInfoHeader2 != 0))
    return E_OUTOFMEMORY;
  return S_OK;
}

HRESULT CBallStream::CheckMediaType(const CMediaType* mt) {
  if (!mt)
    return E_POINTER;
  if (!IsEqualGUID(mt->majortype, MEDIATYPE_Video) || !mt->pbFormat)
    return E_INVALIDARG;
  // A block of the other layout, or one too short, is refused unread.
  const BITMAPINFOHEADER* header = VideoBitmapHeader(*mt, m_settings.m_useVideoInfoHeader2 != 0);
  if (!header)
    return E_INVALIDARG;
  // Exactly the preset's size, with a positive height in both layouts: the
  // frames are made bottom-up in RGB and top-down in 4:2:2, as a positive
  // height says. A top-down RGB request (negative height) would be filled
  // upside down, and a different width or height would not match the
  // frame layout the producer writes.
  const PresetInfo preset = CurrentPreset();
  if (header->biCompression != preset.compression || header->biBitCount != preset.bit_count ||
      header->biWidth != preset.w || header->biHeight != preset.h)
    return E_INVALIDARG;
  // Uncompressed frames fill every sample; MJPG samples may vary in size.
  if (!mt->bFixedSizeSamples && !IsMjpgFormat(preset.compression))
    return E_INVALIDARG;
  // A buffer size the frame layout cannot honour (a negative LONG, 2 GB, or
  // rows moved apart) is refused rather than asked of the allocator.
  if (!ConnectionSizesAcceptable(*mt, *header))
    return VFW_E_TYPE_NOT_ACCEPTED;
  return S_OK;
}

HRESULT CBallStream::SetMediaType(const CMediaType* mt) {
  CAutoLock lock(m_ballFilter->pStateLock());
  const HRESULT hr = CSourceStream::SetMediaType(mt);
  if (FAILED(hr))
    return hr;
  const BITMAPINFOHEADER* header = VideoBitmapHeader(m_mt, m_settings.m_useVideoInfoHeader2 != 0);
  const PresetInfo preset = CurrentPreset();
  if (header && header->biCompression == preset.compression &&
      header->biBitCount == preset.bit_count)
    return S_OK;
  return E_UNEXPECTED;  // the type stays recorded
}

HRESULT CBallStream::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  if (!allocator || !request)
    return E_POINTER;
  CAutoLock lock(m_ballFilter->pStateLock());
  const BITMAPINFOHEADER* header = VideoBitmapHeader(m_mt, m_settings.m_useVideoInfoHeader2 != 0);
  if (!header)
    return E_UNEXPECTED;
  // One frame per buffer. A type that gives biSizeImage as 0 (allowed for
  // RGB) still gets whole frames; one beyond the bound never reaches here
  // through the connection, and gets no buffers if set some other way.
  const DWORD frameBytes = SampleBufferBytes(*header);
  if (frameBytes == 0)
    return VFW_E_TYPE_NOT_ACCEPTED;

  // A reordered frame is held back while the next one is made, and a
  // repeated one may still be downstream when it goes again: one buffer more.
  request->cBuffers = m_settings.m_buffNum;
  const FaultSettings faults = CurrentPreset().faults;
  if ((faults.reorder_every > 0 || faults.repeat_every > 0) && request->cBuffers < INT32_MAX)
    request->cBuffers += 1;
  request->cbBuffer = static_cast<long>(frameBytes);
  ALLOCATOR_PROPERTIES actual = {};
  const HRESULT hr = allocator->SetProperties(request, &actual);
  if (FAILED(hr))
    return hr;
  // Fewer buffers still work; smaller ones would not hold a frame.
  if (actual.cbBuffer < request->cbBuffer)
    return E_FAIL;
  return S_OK;
}

bool CBallStream::CreatePresetMediaType(AM_MEDIA_TYPE** out, const PresetInfo& preset) {
  if (!out)
    return false;
  *out = nullptr;
  const bool videoInfo2 = m_settings.m_useVideoInfoHeader2 != 0;
  auto type = TaskMemPtr<AM_MEDIA_TYPE>::Alloc(sizeof(AM_MEDIA_TYPE));
  if (!type)
    return false;
  ZeroMemory(type.Get(), sizeof(AM_MEDIA_TYPE));
  const ULONG blockSize = FormatBlockSize(videoInfo2, false);
  auto block = TaskMemPtr<BYTE>::Alloc(blockSize);
  if (!block)
    return false;
  ZeroMemory(block.Get(), blockSize);
  // The interlace flags are the current preset's.
  DescribePresetType(type.Get(), block.Get(), preset, CurrentPreset().interlaced, videoInfo2);
  type->cbFormat = blockSize;
  type->pbFormat = block.Detach();
  *out = type.Detach();
  return true;
}
