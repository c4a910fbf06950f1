#include "tests/hosts/host_support.h"

#include <objbase.h>
#include <strmif.h>
#include <uuids.h>

#include "tools/capture/com_util.h"
#include "tests/bitness_names.h"
#include "tools/capture/devices.h"

namespace zdhost {

std::string ModuleFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path);
  return folder.substr(0, folder.find_last_of("\\/")) + "\\module";
}

std::string ModulePath() {
  return ModuleFolder() + "\\" + kExpectedModuleFile;
}

int RunAndWait(const std::string& command_line, DWORD timeout_ms) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::string line = command_line;
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process))
    return -1;
  UniqueHandle thread(process.hThread);
  UniqueHandle owner(process.hProcess);
  if (WaitForSingleObject(owner.Get(), timeout_ms) != WAIT_OBJECT_0) {
    TerminateProcess(owner.Get(), 1);
    return -1;
  }
  DWORD code = 0;
  if (!GetExitCodeProcess(owner.Get(), &code))
    return -1;
  return static_cast<int>(code);
}

bool ReadClassesRootText(const std::string& key, const std::string& value_name, std::string* text) {
  HKEY handle = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
    return false;
  char data[1024] = {};
  DWORD size = sizeof data - 1;
  DWORD type = 0;
  const LONG result = RegQueryValueExA(handle, value_name.empty() ? nullptr : value_name.c_str(),
                                       nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(handle);
  if (result != ERROR_SUCCESS || type != REG_SZ)
    return false;
  *text = data;
  return true;
}

bool ClassesRootKeyExists(const std::string& key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
    return false;
  RegCloseKey(handle);
  return true;
}

std::vector<std::string> VideoDeviceNames() {
  std::vector<zdcap::DeviceEntry> devices;
  std::vector<std::string> names;
  if (FAILED(zdcap::ListVideoDevices(&devices)))
    return names;
  for (const zdcap::DeviceEntry& device : devices)
    names.push_back(device.name);
  return names;
}

std::string ClsidText(const CLSID& clsid) {
  wchar_t text[40] = {};
  StringFromGUID2(clsid, text, 40);
  return zdcap::Utf8FromWide(text);
}

bool SameTextIgnoringCase(const std::string& a, const std::string& b) {
  return CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) ==
         CSTR_EQUAL;
}

}  // namespace zdhost
