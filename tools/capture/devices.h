#pragma once
// The video capture devices of the system, and the capabilities of a
// device's capture pin, through the public device enumerator and
// IAMStreamConfig.
#include <string>
#include <vector>

#include "tools/capture/capability.h"
#include "tools/capture/com_util.h"

namespace zdcap {

struct DeviceEntry {
  std::string name;   // "FriendlyName"
  std::string clsid;  // "CLSID" of the filter, when the entry has one
  ComPtr<IMoniker> moniker;
};

// Every entry of CLSID_VideoInputDeviceCategory. An empty category is S_OK
// with an empty list.
HRESULT ListVideoDevices(std::vector<DeviceEntry>* devices);

// Creates the filter of the first device named exactly name.
// S_FALSE when there is none.
HRESULT OpenVideoDevice(const std::string& name, ComPtr<IBaseFilter>* filter);

// Reads the capabilities through IAMStreamConfig.
HRESULT ReadCapabilities(IAMStreamConfig* config, std::vector<Capability>* caps);

// Fills a capability from a video media type (VIDEOINFOHEADER or
// VIDEOINFOHEADER2). False for any other type.
bool DescribeMediaType(const AM_MEDIA_TYPE& type, Capability* cap);

// Selects capability index with SetFormat.
HRESULT SelectCapability(IAMStreamConfig* config, int index);

}  // namespace zdcap
