#include "tools/capture/devices.h"

#include <amvideo.h>
#include <dvdmedia.h>
#include <oleauto.h>
#include <uuids.h>

#include <cstring>

namespace zdcap {
namespace {

std::string GuidText(const GUID& guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return Utf8FromWide(text);
}

// "YUY2" for a FOURCC subtype, "RGB24"/"RGB32" for those, else the GUID.
std::string SubtypeName(const GUID& subtype) {
  if (IsEqualGUID(subtype, MEDIASUBTYPE_RGB24))
    return "RGB24";
  if (IsEqualGUID(subtype, MEDIASUBTYPE_RGB32))
    return "RGB32";
  if (IsEqualGUID(subtype, MEDIASUBTYPE_RGB565))
    return "RGB565";
  if (IsEqualGUID(subtype, MEDIASUBTYPE_RGB555))
    return "RGB555";
  static const uint8_t kFourCcTail[8] = {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  if (subtype.Data2 == 0x0000 && subtype.Data3 == 0x0010 &&
      std::memcmp(subtype.Data4, kFourCcTail, 8) == 0) {
    std::string name;
    for (int shift = 0; shift < 32; shift += 8) {
      const char c = static_cast<char>((subtype.Data1 >> shift) & 0xff);
      name += (c >= 0x20 && c < 0x7f) ? c : '?';
    }
    return name;
  }
  return GuidText(subtype);
}

std::string ReadBagText(IPropertyBag* bag, const wchar_t* name) {
  VARIANT value;
  VariantInit(&value);
  std::string text;
  if (SUCCEEDED(bag->Read(name, &value, nullptr)) && value.vt == VT_BSTR)
    text = Utf8FromWide(value.bstrVal);
  VariantClear(&value);
  return text;
}

// The media type of capability index, ours to free.
HRESULT CapabilityType(IAMStreamConfig* config, int index, MediaTypePtr* type) {
  AM_MEDIA_TYPE* raw = nullptr;
  VIDEO_STREAM_CONFIG_CAPS record{};
  const HRESULT hr = config->GetStreamCaps(index, &raw, reinterpret_cast<BYTE*>(&record));
  type->reset(raw);
  return hr;
}

}  // namespace

HRESULT ListVideoDevices(std::vector<DeviceEntry>* devices) {
  devices->clear();
  ComPtr<ICreateDevEnum> enumerator;
  HRESULT hr = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ICreateDevEnum, enumerator.PutVoid());
  if (FAILED(hr))
    return hr;
  ComPtr<IEnumMoniker> monikers;
  hr = enumerator->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.Put(), 0);
  if (FAILED(hr))
    return hr;
  if (hr == S_FALSE || !monikers)
    return S_OK;  // the category is empty
  for (;;) {
    ComPtr<IMoniker> moniker;
    if (monikers->Next(1, moniker.Put(), nullptr) != S_OK)
      break;
    ComPtr<IPropertyBag> bag;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.PutVoid())))
      continue;
    DeviceEntry entry;
    entry.name = ReadBagText(bag.Get(), L"FriendlyName");
    entry.clsid = ReadBagText(bag.Get(), L"CLSID");
    entry.moniker = moniker;
    devices->push_back(std::move(entry));
  }
  return S_OK;
}

HRESULT OpenVideoDevice(const std::string& name, ComPtr<IBaseFilter>* filter) {
  std::vector<DeviceEntry> devices;
  const HRESULT hr = ListVideoDevices(&devices);
  if (FAILED(hr))
    return hr;
  for (const DeviceEntry& device : devices) {
    if (device.name != name)
      continue;
    return device.moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter->PutVoid());
  }
  return S_FALSE;
}

bool DescribeMediaType(const AM_MEDIA_TYPE& type, Capability* cap) {
  if (!IsEqualGUID(type.majortype, MEDIATYPE_Video) || !type.pbFormat)
    return false;
  const BITMAPINFOHEADER* header = nullptr;
  if (IsEqualGUID(type.formattype, FORMAT_VideoInfo) && type.cbFormat >= sizeof(VIDEOINFOHEADER)) {
    const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
    header = &info->bmiHeader;
    cap->frame_time = info->AvgTimePerFrame;
    cap->video_info2 = false;
    cap->interlace_flags = -1;
  } else if (IsEqualGUID(type.formattype, FORMAT_VideoInfo2) &&
             type.cbFormat >= sizeof(VIDEOINFOHEADER2)) {
    const auto* info = reinterpret_cast<const VIDEOINFOHEADER2*>(type.pbFormat);
    header = &info->bmiHeader;
    cap->frame_time = info->AvgTimePerFrame;
    cap->video_info2 = true;
    cap->interlace_flags = static_cast<int>(info->dwInterlaceFlags);
  } else {
    return false;
  }
  cap->width = header->biWidth;
  cap->height = header->biHeight;
  cap->format = PixelFormatFromHeader(header->biCompression, header->biBitCount);
  cap->subtype = SubtypeName(type.subtype);
  return true;
}

HRESULT ReadCapabilities(IAMStreamConfig* config, std::vector<Capability>* caps) {
  caps->clear();
  int count = 0;
  int size = 0;
  HRESULT hr = config->GetNumberOfCapabilities(&count, &size);
  if (FAILED(hr))
    return hr;
  if (size != static_cast<int>(sizeof(VIDEO_STREAM_CONFIG_CAPS)))
    return E_UNEXPECTED;
  for (int index = 0; index < count; ++index) {
    MediaTypePtr type;
    hr = CapabilityType(config, index, &type);
    if (FAILED(hr))
      return hr;
    Capability cap;
    cap.index = index;
    if (!type || !DescribeMediaType(*type, &cap))
      cap.subtype = "not video";
    caps->push_back(cap);
  }
  return S_OK;
}

HRESULT SelectCapability(IAMStreamConfig* config, int index) {
  int count = 0;
  int size = 0;
  HRESULT hr = config->GetNumberOfCapabilities(&count, &size);
  if (FAILED(hr))
    return hr;
  if (index < 0 || index >= count)
    return E_INVALIDARG;
  if (size != static_cast<int>(sizeof(VIDEO_STREAM_CONFIG_CAPS)))
    return E_UNEXPECTED;
  MediaTypePtr type;
  hr = CapabilityType(config, index, &type);
  if (FAILED(hr))
    return hr;
  if (!type)
    return E_POINTER;
  return config->SetFormat(type.get());
}

}  // namespace zdcap
