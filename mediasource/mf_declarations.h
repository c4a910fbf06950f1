// What the media source needs from Media Foundation's headers that the
// mingw-w64 headers lack: IMFMediaStream2 and its stream states,
// IMFSampleAllocatorControl and its usages, the device stream attributes and
// the frame source types, the device time stamp of a sample, and the HDYC
// subtype. Values as Microsoft publishes
// them (mfidl.h of the Windows SDK and the attributes' reference pages).
#pragma once

#include <windows.h>
#include <mfidl.h>
#include <mfobjects.h>

#include <cstdint>

// MF_DEVICESTREAM_STREAM_CATEGORY: GUID, the stream's pin category (ksmedia.h).
// {2939E7B8-A62E-4579-B674-D4073DFABBBA}
inline constexpr GUID kMfDeviceStreamStreamCategory = {
    0x2939e7b8, 0xa62e, 0x4579, {0xb6, 0x74, 0xd4, 0x07, 0x3d, 0xfa, 0xbb, 0xba}};
// MF_DEVICESTREAM_STREAM_ID: UINT32, the stream's identifier.
// {11BD5120-D124-446B-88E6-17060257FFF9}
inline constexpr GUID kMfDeviceStreamStreamId = {
    0x11bd5120, 0xd124, 0x446b, {0x88, 0xe6, 0x17, 0x06, 0x02, 0x57, 0xff, 0xf9}};
// MF_DEVICESTREAM_FRAMESERVER_SHARED: UINT32, 1 when the stream may be shared.
// {1CB378E9-B279-41D4-AF97-34A243E68320}
inline constexpr GUID kMfDeviceStreamFrameServerShared = {
    0x1cb378e9, 0xb279, 0x41d4, {0xaf, 0x97, 0x34, 0xa2, 0x43, 0xe6, 0x83, 0x20}};
// MF_DEVICESTREAM_ATTRIBUTE_FRAMESOURCE_TYPES: UINT32, a MFFrameSourceTypes value.
// {17145FD1-1B2B-423C-8001-2B6833ED3588}
inline constexpr GUID kMfDeviceStreamFrameSourceTypes = {
    0x17145fd1, 0x1b2b, 0x423c, {0x80, 0x01, 0x2b, 0x68, 0x33, 0xed, 0x35, 0x88}};
// MFFrameSourceTypes_Color.
constexpr UINT32 kMfFrameSourceTypeColor = 0x0001;

// MFSampleExtension_DeviceTimestamp: UINT64, the time the device made the
// sample, on the performance counter's clock in 100-ns units.
// {8F3E35E7-2DCD-4887-8622-2A58BAA652B0}
inline constexpr GUID kMfSampleExtensionDeviceTimestamp = {
    0x8f3e35e7, 0x2dcd, 0x4887, {0x86, 0x22, 0x2a, 0x58, 0xba, 0xa6, 0x52, 0xb0}};

// PINNAME_VIDEO_CAPTURE (ksmedia.h). {FB6C4281-0353-11D1-905F-0000C0CC16BA}
inline constexpr GUID kPinNameVideoCapture = {
    0xfb6c4281, 0x0353, 0x11d1, {0x90, 0x5f, 0x00, 0x00, 0xc0, 0xcc, 0x16, 0xba}};

// The video subtype of a FOURCC: {FOURCC-0000-0010-8000-00AA00389B71}.
constexpr GUID MfSubtypeOfFourcc(DWORD fourcc) {
  return {fourcc, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
}

// MF_STREAM_STATE.
enum MfStreamState : int32_t {
  kMfStreamStateStopped = 0,
  kMfStreamStatePaused = 1,
  kMfStreamStateRunning = 2,
};

// IMFMediaStream2: a media stream whose state the pipeline may set on its own.
// {C5BC37D6-75C7-46A1-A132-81B5F723C20F}
inline constexpr IID kIidMfMediaStream2 = {
    0xc5bc37d6, 0x75c7, 0x46a1, {0xa1, 0x32, 0x81, 0xb5, 0xf7, 0x23, 0xc2, 0x0f}};
struct IMfMediaStream2 : public IMFMediaStream {
  virtual HRESULT STDMETHODCALLTYPE SetStreamState(MfStreamState value) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetStreamState(MfStreamState* value) = 0;
};

// MFSampleAllocatorUsage.
enum MfSampleAllocatorUsage : int32_t {
  kMfAllocatorUsesProvided = 0,
  kMfAllocatorUsesCustom = 1,
  kMfAllocatorDoesNotAllocate = 2,
};

// IMFSampleAllocatorControl: the pipeline hands a capture source the sample
// allocator to use. {DA62B958-3A38-4A97-BD27-149C640C0771}
inline constexpr IID kIidMfSampleAllocatorControl = {
    0xda62b958, 0x3a38, 0x4a97, {0xbd, 0x27, 0x14, 0x9c, 0x64, 0x0c, 0x07, 0x71}};
struct IMfSampleAllocatorControl : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetDefaultAllocator(DWORD outputStreamId,
                                                        IUnknown* allocator) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetAllocatorUsage(DWORD outputStreamId, DWORD* inputStreamId,
                                                      MfSampleAllocatorUsage* usage) = 0;
};

// IKsControl as user-mode callers see it (ks.h declares it for drivers):
// property, method and event requests, each starting with a KSIDENTIFIER.
// {28F54685-06FD-11D2-B27A-00A0C9223196}
inline constexpr IID kIidKsControl = {
    0x28f54685, 0x06fd, 0x11d2, {0xb2, 0x7a, 0x00, 0xa0, 0xc9, 0x22, 0x31, 0x96}};
struct KsIdentifier {
  GUID set;
  ULONG id;
  ULONG flags;
};
struct IKsControlFace : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE KsProperty(KsIdentifier* property, ULONG propertyLength,
                                               void* data, ULONG dataLength, ULONG* returned) = 0;
  virtual HRESULT STDMETHODCALLTYPE KsMethod(KsIdentifier* method, ULONG methodLength, void* data,
                                             ULONG dataLength, ULONG* returned) = 0;
  virtual HRESULT STDMETHODCALLTYPE KsEvent(KsIdentifier* event, ULONG eventLength, void* data,
                                            ULONG dataLength, ULONG* returned) = 0;
};
