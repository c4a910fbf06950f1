// The Windows side of zd-vcam: administrator rights, the virtual camera
// functions of mfsensorgroup.dll, the media source's class registration and
// the module folder's check. Each returns what it found; main prints.
#pragma once

#include <windows.h>

#include <string>

#include "tools/vcam/mf_virtual_camera.h"

namespace zdvcam {

// Whether this process runs with the Administrators group enabled (an
// elevated prompt).
bool IsAdministrator();

// The Windows build number (RtlGetVersion: not subject to compatibility shims).
DWORD WindowsBuild();

// mfsensorgroup.dll from the system folder only, and its two functions. The
// library stays loaded for the life of the process.
struct VirtualCameraApi {
  MfIsVirtualCameraTypeSupportedFn IsTypeSupported = nullptr;
  MfCreateVirtualCameraFn Create = nullptr;
};
// False with *why in plain words when this Windows has no virtual cameras.
bool LoadVirtualCameraApi(VirtualCameraApi* api, std::string* why);

// The module zd-vcam serves: ZintuDobrel64.ax beside zd-vcam.exe.
std::wstring ModuleBesideTool();

// The media source's class as registered (HKLM, 64-bit view).
struct ClassRegistration {
  bool present = false;
  std::wstring server;     // InprocServer32's default value
  std::wstring threading;  // its ThreadingModel
};
ClassRegistration ReadClassRegistration();
// Writes the class key: name, InprocServer32 = module, ThreadingModel "Both".
LSTATUS WriteClassRegistration(const std::wstring& module);
// Deletes the class key and everything below it; absent counts as done.
LSTATUS DeleteClassRegistration();

// Whether LocalService can read and run what lies in the module's folder.
enum class FolderAccess { kReadable, kNotReadable, kUnknown };
struct FolderCheck {
  FolderAccess folder = FolderAccess::kUnknown;
  FolderAccess module = FolderAccess::kUnknown;
  int zone_id = -1;            // the module's mark of the web, -1 none
  bool under_profile = false;  // below the user profiles' folder (C:\Users)
};
FolderCheck CheckModuleFolder(const std::wstring& module);

std::string Utf8(const std::wstring& text);
std::wstring Wide(const std::string& text);
// "0x80070005 (Access is denied.)"
std::string ResultText(HRESULT hr);

}  // namespace zdvcam
