#pragma once
// The folder of the module file that holds the filter (not the host
// application's): the settings file and the bitmaps lie there.
#include <string>

// Without a trailing separator. Windows: from GetModuleFileNameA of the module
// that contains this code. Native: the executable's folder unless overridden.
std::string ModuleDirectory();

// Native builds (tools, tests): use this folder instead. Ignored on Windows.
void SetModuleDirectoryOverride(const std::string& dir);

// dir + the platform's separator + name ("\\" on Windows, "/" natively).
std::string JoinModulePath(const std::string& dir, const std::string& name);

// The folder part of a module's full path: drive and folder, without the file
// name and without one trailing separator ("C:\\a\\b.ax" gives "C:\\a";
// "/opt/zd/tool" gives "/opt/zd"). Windows splits at '\\' and '/', Linux at '/'.
std::string DirectoryOfModulePath(const std::string& fullPath);

// Paths of 260 characters or more are not loaded (they count as a failed load).
constexpr size_t kMaxPathChars = 259;
