#include "baseclasses/media_type.h"

#include <cstring>

namespace {

bool FormatBytesEqual(const AM_MEDIA_TYPE& a, const AM_MEDIA_TYPE& b) {
  if (a.cbFormat != b.cbFormat)
    return false;
  if (a.cbFormat == 0)
    return true;
  return a.pbFormat && b.pbFormat && std::memcmp(a.pbFormat, b.pbFormat, a.cbFormat) == 0;
}

}  // namespace

void InitMediaType(AM_MEDIA_TYPE* mt) {
  std::memset(mt, 0, sizeof(*mt));
  mt->bFixedSizeSamples = TRUE;
  mt->lSampleSize = 1;
}

void FreeMediaType(AM_MEDIA_TYPE& mt) {
  if (mt.cbFormat != 0) {
    CoTaskMemFree(mt.pbFormat);
    mt.cbFormat = 0;
    mt.pbFormat = nullptr;
  }
  if (mt.pUnk) {
    IUnknown* unk = mt.pUnk;
    mt.pUnk = nullptr;
    unk->Release();
  }
}

void DeleteMediaType(AM_MEDIA_TYPE* mt) {
  if (!mt)
    return;
  FreeMediaType(*mt);
  CoTaskMemFree(mt);
}

HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source) {
  if (!target || !source)
    return E_POINTER;
  if (target == source)
    return S_OK;
  *target = *source;
  if (source->cbFormat != 0) {
    // The target never keeps the source's block or a pUnk it holds no
    // reference on: either both are its own or it has neither.
    target->pbFormat = nullptr;
    if (!source->pbFormat) {
      target->cbFormat = 0;
      target->pUnk = nullptr;
      return E_INVALIDARG;
    }
    target->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(source->cbFormat));
    if (!target->pbFormat) {
      target->cbFormat = 0;
      target->pUnk = nullptr;
      return E_OUTOFMEMORY;
    }
    std::memcpy(target->pbFormat, source->pbFormat, source->cbFormat);
  }
  if (target->pUnk)
    target->pUnk->AddRef();
  return S_OK;
}

AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* source) {
  if (!source)
    return nullptr;
  auto* mt = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
  if (!mt)
    return nullptr;
  if (FAILED(CopyMediaType(mt, source))) {
    CoTaskMemFree(mt);
    return nullptr;
  }
  return mt;
}

DWORD GetBitmapSize(const BITMAPINFOHEADER* header) {
  const DWORD width = static_cast<DWORD>(header->biWidth);
  const DWORD bits = header->biBitCount;
  const DWORD rowBytes = ((width * bits + 31) / 32) * 4;
  const DWORD height = header->biHeight < 0 ? 0u - static_cast<DWORD>(header->biHeight)
                                            : static_cast<DWORD>(header->biHeight);
  return rowBytes * height;
}

GUID GetTrueColorType(const BITMAPINFOHEADER* header) {
  if (header->biCompression == BI_RGB)
    return MEDIASUBTYPE_RGB555;
  // BI_BITFIELDS: the red, green and blue masks follow the header.
  const auto* masks = reinterpret_cast<const DWORD*>(header + 1);
  if (masks[0] == 0x7C00 && masks[1] == 0x03E0 && masks[2] == 0x001F)
    return MEDIASUBTYPE_RGB555;
  if (masks[0] == 0xF800 && masks[1] == 0x07E0 && masks[2] == 0x001F)
    return MEDIASUBTYPE_RGB565;
  return GUID_NULL;
}

GUID GetBitmapSubtype(const BITMAPINFOHEADER* header) {
  if (header->biCompression != BI_RGB && header->biCompression != BI_BITFIELDS) {
    // {FOURCC-0000-0010-8000-00AA00389B71}
    GUID fourcc = {0, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
    fourcc.Data1 = header->biCompression;
    return fourcc;
  }
  switch (header->biBitCount) {
    case 1:
      return MEDIASUBTYPE_RGB1;
    case 4:
      return MEDIASUBTYPE_RGB4;
    case 8:
      return MEDIASUBTYPE_RGB8;
    case 16:
      return GetTrueColorType(header);
    case 24:
      return MEDIASUBTYPE_RGB24;
    case 32:
      return MEDIASUBTYPE_RGB32;
    default:
      return GUID_NULL;
  }
}

CMediaType::CMediaType() {
  ::InitMediaType(this);
}

CMediaType::CMediaType(const AM_MEDIA_TYPE& source) : AM_MEDIA_TYPE() {
  if (FAILED(CopyMediaType(this, &source)))
    return;  // holds no format block and no pUnk
}

CMediaType::CMediaType(const CMediaType& source)
    : CMediaType(static_cast<const AM_MEDIA_TYPE&>(source)) {}

CMediaType::~CMediaType() {
  FreeMediaType(*this);
}

CMediaType& CMediaType::operator=(const AM_MEDIA_TYPE& source) {
  Set(source);
  return *this;
}

CMediaType& CMediaType::operator=(const CMediaType& source) {
  Set(source);
  return *this;
}

HRESULT CMediaType::Set(const AM_MEDIA_TYPE& source) {
  if (&source == this)
    return S_OK;
  FreeMediaType(*this);
  const HRESULT hr = CopyMediaType(this, &source);
  return FAILED(hr) ? E_OUTOFMEMORY : S_OK;
}

bool CMediaType::operator==(const AM_MEDIA_TYPE& other) const {
  return IsEqualGUID(majortype, other.majortype) && IsEqualGUID(subtype, other.subtype) &&
         IsEqualGUID(formattype, other.formattype) && FormatBytesEqual(*this, other);
}

bool CMediaType::IsPartiallySpecified() const {
  return IsEqualGUID(majortype, GUID_NULL) || IsEqualGUID(formattype, GUID_NULL);
}

bool CMediaType::MatchesPartial(const AM_MEDIA_TYPE* templ) const {
  if (!IsEqualGUID(templ->majortype, GUID_NULL) && !IsEqualGUID(templ->majortype, majortype))
    return false;
  if (!IsEqualGUID(templ->subtype, GUID_NULL) && !IsEqualGUID(templ->subtype, subtype))
    return false;
  if (!IsEqualGUID(templ->formattype, GUID_NULL)) {
    if (!IsEqualGUID(templ->formattype, formattype))
      return false;
    if (!FormatBytesEqual(*this, *templ))
      return false;
  }
  return true;
}

void CMediaType::InitMediaType() {
  ::InitMediaType(this);
}

BYTE* CMediaType::AllocFormatBuffer(ULONG length) {
  if (length == cbFormat)
    return pbFormat;
  if (length == 0) {
    // No block at all: a zero-length block would never be freed.
    FreeFormat();
    return nullptr;
  }
  auto* block = static_cast<BYTE*>(CoTaskMemAlloc(length));
  if (!block)
    return length <= cbFormat ? pbFormat : nullptr;
  FreeFormat();
  cbFormat = length;
  pbFormat = block;
  return block;
}

void CMediaType::FreeFormat() {
  if (cbFormat != 0)
    CoTaskMemFree(pbFormat);
  cbFormat = 0;
  pbFormat = nullptr;
}

bool CMediaType::SetFormat(const BYTE* bytes, ULONG length) {
  if (length == 0) {
    FreeFormat();
    return true;
  }
  if (!bytes)
    return false;
  if (bytes == pbFormat && length == cbFormat)
    return true;
  BYTE* block = AllocFormatBuffer(length);
  if (!block)
    return false;
  std::memmove(block, bytes, length);
  return true;
}

void CMediaType::SetSampleSize(ULONG size) {
  if (size == 0) {
    bFixedSizeSamples = FALSE;
  } else {
    bFixedSizeSamples = TRUE;
    lSampleSize = size;
  }
}

void CMediaType::MoveTo(AM_MEDIA_TYPE* target) {
  *target = *this;
  cbFormat = 0;
  pbFormat = nullptr;
  pUnk = nullptr;
}
