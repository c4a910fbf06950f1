#pragma once
// Helpers of the host tests: where the module under test lies, running a
// Windows program, reading the registry, and the device list as capture
// applications see it.
#include <windows.h>

#include <string>
#include <vector>

namespace zdhost {

// The folder with the module, its settings file and bitmaps, beside the test
// program.
std::string ModuleFolder();
std::string ModulePath();

// Runs a command line and waits; the program's exit code, or -1 when it
// could not be started or did not end within the time-out.
int RunAndWait(const std::string& command_line, DWORD timeout_ms = 60000);

// The text of a REG_SZ value under HKEY_CLASSES_ROOT; false when the key or
// the value is missing. An empty value name reads the default value.
bool ReadClassesRootText(const std::string& key, const std::string& value_name, std::string* text);
bool ClassesRootKeyExists(const std::string& key);

// The friendly names of CLSID_VideoInputDeviceCategory, through the system
// device enumerator. COM must be initialised.
std::vector<std::string> VideoDeviceNames();

// "{DE946144-E77A-42EE-93BE-7E3E48DA72FA}" form.
std::string ClsidText(const CLSID& clsid);

bool SameTextIgnoringCase(const std::string& a, const std::string& b);

}  // namespace zdhost
