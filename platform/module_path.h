#pragma once
// The folder of the module file that holds the filter (not the host
// application's): the settings file and the bitmaps lie there.
#include <string>

// Paths are UTF-8 text in both builds. On Windows they reach the system through
// its wide-character functions, so any folder name works, also one that the
// ANSI code page cannot spell.

// Without a trailing separator. Windows: from GetModuleFileNameW of the module
// that contains this code; empty when the path does not fit 259 characters.
// Native: the executable's folder unless overridden.
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

// The length of a path or file name as the platform counts it against that
// limit: in UTF-16 units on Windows (one for each character of the ANSI code
// page's single-byte sets, two for a character beyond U+FFFF), in bytes natively.
size_t PathChars(const std::string& path);

// Cuts a name to at most maxChars characters as PathChars counts them; on
// Windows never inside a character's UTF-8 sequence.
void CutPathName(std::string* name, size_t maxChars);
