// What zd-vcam needs from mfvirtualcamera.h that the mingw-w64 headers lack:
// the virtual camera enumerations, IMFVirtualCamera and the two functions of
// mfsensorgroup.dll. Values and method order as Microsoft publishes them
// (mfvirtualcamera.h of the Windows SDK, Windows build 22000 and later).
#pragma once

#include <windows.h>
#include <devpropdef.h>
#include <mfidl.h>
#include <mfobjects.h>

#include <cstdint>

// MFVirtualCameraType.
enum MfVirtualCameraType : int32_t {
  kMfVirtualCameraTypeSoftwareCameraSource = 0,
};
// MFVirtualCameraLifetime.
enum MfVirtualCameraLifetime : int32_t {
  kMfVirtualCameraLifetimeSession = 0,
  kMfVirtualCameraLifetimeSystem = 1,
};
// MFVirtualCameraAccess (AllUsers needs an administrator).
enum MfVirtualCameraAccess : int32_t {
  kMfVirtualCameraAccessCurrentUser = 0,
  kMfVirtualCameraAccessAllUsers = 1,
};

// IMFVirtualCamera. {1C08A864-EF6C-4C75-AF59-5F2D68DA9563}
inline constexpr IID kIidMfVirtualCamera = {
    0x1c08a864, 0xef6c, 0x4c75, {0xaf, 0x59, 0x5f, 0x2d, 0x68, 0xda, 0x95, 0x63}};
struct IMfVirtualCamera : public IMFAttributes {
  virtual HRESULT STDMETHODCALLTYPE AddDeviceSourceInfo(LPCWSTR deviceSourceInfo) = 0;
  virtual HRESULT STDMETHODCALLTYPE AddProperty(const DEVPROPKEY* key, DEVPROPTYPE type,
                                                const BYTE* data, ULONG dataLength) = 0;
  virtual HRESULT STDMETHODCALLTYPE AddRegistryEntry(LPCWSTR entryName, LPCWSTR subkeyPath,
                                                     DWORD regType, const BYTE* data,
                                                     ULONG dataLength) = 0;
  virtual HRESULT STDMETHODCALLTYPE Start(IMFAsyncCallback* callback) = 0;
  virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
  virtual HRESULT STDMETHODCALLTYPE Remove() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMediaSource(IMFMediaSource** source) = 0;
  virtual HRESULT STDMETHODCALLTYPE SendCameraProperty(REFGUID propertySet, ULONG propertyId,
                                                       ULONG propertyFlags, void* payload,
                                                       ULONG payloadLength, void* data,
                                                       ULONG dataLength, ULONG* written) = 0;
  // The two sync-object methods hand out IMFCameraSyncObject, not used here.
  virtual HRESULT STDMETHODCALLTYPE CreateSyncEvent(REFGUID eventSet, ULONG eventId,
                                                    ULONG eventFlags, HANDLE event,
                                                    IUnknown** syncObject) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateSyncSemaphore(REFGUID eventSet, ULONG eventId,
                                                        ULONG eventFlags, HANDLE semaphore,
                                                        LONG adjustment, IUnknown** syncObject) = 0;
  virtual HRESULT STDMETHODCALLTYPE Shutdown() = 0;
};

// MFIsVirtualCameraTypeSupported and MFCreateVirtualCamera (mfsensorgroup.dll).
using MfIsVirtualCameraTypeSupportedFn = HRESULT(WINAPI*)(MfVirtualCameraType type,
                                                          BOOL* supported);
using MfCreateVirtualCameraFn = HRESULT(WINAPI*)(MfVirtualCameraType type,
                                                 MfVirtualCameraLifetime lifetime,
                                                 MfVirtualCameraAccess access, LPCWSTR friendlyName,
                                                 LPCWSTR sourceId, const GUID* categories,
                                                 ULONG categoryCount, IMfVirtualCamera** camera);
