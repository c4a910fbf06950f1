#include "tools/vcam/vcam_system.h"

#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <cstdio>
#include <vector>

#include "platform/unique_handle.h"
#include "tools/vcam/vcam_parameters.h"

namespace zdvcam {
namespace {

using UniqueLocal = UniqueAny<NullHandlePolicy<HLOCAL, &LocalFree>>;

void FreeSidOf(PSID sid) {
  FreeSid(sid);
}
using UniqueSid = UniqueAny<NullHandlePolicy<PSID, &FreeSidOf>>;

template <class Fn>
bool Resolve(HMODULE library, const char* name, Fn* out) {
  *out = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name)));
  return *out != nullptr;
}

// The access entries of an object's DACL, in order.
FolderAccess AccessOf(const std::wstring& path) {
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD status =
      GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, &dacl, nullptr, &descriptor);
  UniqueLocal owner(descriptor);
  if (status != ERROR_SUCCESS)
    return FolderAccess::kUnknown;
  std::vector<AccessEntry> entries;
  for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
    void* raw = nullptr;
    if (!GetAce(dacl, i, &raw))
      return FolderAccess::kUnknown;
    const auto* header = static_cast<const ACE_HEADER*>(raw);
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE && header->AceType != ACCESS_DENIED_ACE_TYPE)
      continue;  // object and callback entries: none on plain folders
    // Allowed and denied entries share one layout: mask, then the SID.
    const auto* ace = static_cast<const ACCESS_ALLOWED_ACE*>(raw);
    LPWSTR sid_text = nullptr;
    if (!ConvertSidToStringSidW(const_cast<DWORD*>(&ace->SidStart), &sid_text))
      return FolderAccess::kUnknown;
    UniqueLocal sid_owner(sid_text);
    AccessEntry entry;
    entry.allow = header->AceType == ACCESS_ALLOWED_ACE_TYPE;
    entry.sid = Utf8(sid_text);
    entry.mask = ace->Mask;
    entry.inherit_only = (header->AceFlags & INHERIT_ONLY_ACE) != 0;
    entries.push_back(entry);
  }
  return LocalServiceMayAccess(entries, dacl != nullptr, kReadAndExecute)
             ? FolderAccess::kReadable
             : FolderAccess::kNotReadable;
}

// The text of the module's Zone.Identifier stream, empty when there is none.
std::string ZoneStreamOf(const std::wstring& module) {
  UniqueFile file(CreateFileW((module + L":Zone.Identifier").c_str(), GENERIC_READ, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file)
    return {};
  char buffer[4096];
  DWORD got = 0;
  if (!ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr))
    return {};
  return std::string(buffer, got);
}

std::wstring ClassKey() {
  return Wide(ClassKeyPath(kMediaSourceClassId));
}

std::wstring ReadString(HKEY key, const wchar_t* name) {
  wchar_t value[1024] = {};
  DWORD size = sizeof value - sizeof(wchar_t);
  DWORD type = 0;
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) !=
          ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ))
    return {};
  return value;
}

LSTATUS WriteString(HKEY key, const wchar_t* name, const std::wstring& value) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        DWORD((value.size() + 1) * sizeof(wchar_t)));
}

}  // namespace

bool IsAdministrator() {
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  UniqueSid administrators;
  if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0,
                                0, 0, 0, 0, administrators.Put()))
    return false;
  BOOL member = FALSE;
  return CheckTokenMembership(nullptr, administrators.Get(), &member) && member;
}

DWORD WindowsBuild() {
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
  RtlGetVersionFn get_version = nullptr;
  OSVERSIONINFOW info = {};
  info.dwOSVersionInfoSize = sizeof info;
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  if (!ntdll || !Resolve(ntdll, "RtlGetVersion", &get_version) || get_version(&info) != 0)
    return 0;
  return info.dwBuildNumber;
}

bool LoadVirtualCameraApi(VirtualCameraApi* api, std::string* why) {
  const HMODULE library =
      LoadLibraryExW(L"mfsensorgroup.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!library) {
    *why = "mfsensorgroup.dll is not in the system folder";
    return false;
  }
  if (!Resolve(library, "MFIsVirtualCameraTypeSupported", &api->IsTypeSupported) ||
      !Resolve(library, "MFCreateVirtualCamera", &api->Create)) {
    *why = "mfsensorgroup.dll has no MFIsVirtualCameraTypeSupported or MFCreateVirtualCamera";
    return false;
  }
  BOOL supported = FALSE;
  const HRESULT hr = api->IsTypeSupported(kMfVirtualCameraTypeSoftwareCameraSource, &supported);
  if (FAILED(hr)) {
    *why = "MFIsVirtualCameraTypeSupported failed (" + ResultText(hr) + ")";
    return false;
  }
  if (!supported) {
    *why = "MFIsVirtualCameraTypeSupported says software camera sources are not supported";
    return false;
  }
  return true;
}

std::wstring ModuleBesideTool() {
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
    if (n == 0)
      return Wide(kModuleFileName);
    if (n < path.size()) {
      std::wstring tool(path.data(), n);
      const size_t slash = tool.find_last_of(L"\\/");
      return tool.substr(0, slash == std::wstring::npos ? 0 : slash + 1) + Wide(kModuleFileName);
    }
    path.resize(path.size() * 2);
  }
}

ClassRegistration ReadClassRegistration() {
  ClassRegistration result;
  UniqueHkey key;
  const std::wstring server_key = ClassKey() + L"\\InprocServer32";
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, ClassKey().c_str(), 0, KEY_READ | KEY_WOW64_64KEY,
                    key.Put()) != ERROR_SUCCESS)
    return result;
  result.present = true;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, server_key.c_str(), 0, KEY_READ | KEY_WOW64_64KEY,
                    key.Put()) != ERROR_SUCCESS)
    return result;
  result.server = ReadString(key.Get(), nullptr);
  result.threading = ReadString(key.Get(), L"ThreadingModel");
  return result;
}

LSTATUS WriteClassRegistration(const std::wstring& module) {
  UniqueHkey key;
  LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, ClassKey().c_str(), 0, nullptr, 0,
                                   KEY_WRITE | KEY_WOW64_64KEY, nullptr, key.Put(), nullptr);
  if (status != ERROR_SUCCESS)
    return status;
  status = WriteString(key.Get(), nullptr, Wide(kCameraName));
  if (status != ERROR_SUCCESS)
    return status;
  UniqueHkey server;
  status = RegCreateKeyExW(key.Get(), L"InprocServer32", 0, nullptr, 0, KEY_WRITE | KEY_WOW64_64KEY,
                           nullptr, server.Put(), nullptr);
  if (status != ERROR_SUCCESS)
    return status;
  status = WriteString(server.Get(), nullptr, module);
  if (status != ERROR_SUCCESS)
    return status;
  return WriteString(server.Get(), L"ThreadingModel", Wide(kThreadingModel));
}

LSTATUS DeleteClassRegistration() {
  UniqueHkey classes;
  LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\CLSID", 0,
                                 KEY_ALL_ACCESS | KEY_WOW64_64KEY, classes.Put());
  if (status != ERROR_SUCCESS)
    return status;
  status = RegDeleteTreeW(classes.Get(), Wide(ClassIdString(kMediaSourceClassId)).c_str());
  return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

FolderCheck CheckModuleFolder(const std::wstring& module) {
  FolderCheck check;
  const size_t slash = module.find_last_of(L"\\/");
  const std::wstring folder = slash == std::wstring::npos ? L"." : module.substr(0, slash);
  check.folder = AccessOf(folder);
  check.module = AccessOf(module);
  check.zone_id = ZoneIdOf(ZoneStreamOf(module));
  wchar_t* profiles = nullptr;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_UserProfiles, 0, nullptr, &profiles)) && profiles) {
    const std::wstring root = std::wstring(profiles) + L"\\";
    check.under_profile = CompareStringOrdinal(module.c_str(), int(root.size()), root.c_str(),
                                               int(root.size()), TRUE) == CSTR_EQUAL;
  }
  CoTaskMemFree(profiles);
  return check;
}

std::string Utf8(const std::wstring& text) {
  if (text.empty())
    return {};
  const int n =
      WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), nullptr, 0, nullptr, nullptr);
  std::string result(size_t(n > 0 ? n : 0), '\0');
  if (n > 0)
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), &result[0], n, nullptr,
                        nullptr);
  return result;
}

std::wstring Wide(const std::string& text) {
  if (text.empty())
    return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), int(text.size()), nullptr, 0);
  std::wstring result(size_t(n > 0 ? n : 0), L'\0');
  if (n > 0)
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), int(text.size()), &result[0], n);
  return result;
}

std::string ResultText(HRESULT hr) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
  wchar_t* message = nullptr;
  FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, DWORD(hr), 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
  std::wstring text = message ? message : L"";
  LocalFree(message);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
    text.pop_back();
  return text.empty() ? code : std::string(code) + " (" + Utf8(text) + ")";
}

}  // namespace zdvcam
