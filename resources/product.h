// The names a user sees and the version, in one place for the C++ sources and
// the resource scripts. The 64-bit and the 32-bit module serve the same
// classes (their registrations live in separate registry views) and are told
// apart by name where both are listed.
#pragma once

#if defined(_WIN32) && !defined(_WIN64)
#define ZD_FRIENDLY_NAME "Zintu Dobrel x86"
#define ZD_MODULE_FILE_NAME "ZintuDobrel32.ax"
#define ZD_PAGE_CLASS_NAME "ZintuDobrel32 Props"
#define ZD_ARCHITECTURE "x86"
#else
#define ZD_FRIENDLY_NAME "Zintu Dobrel x64"
#define ZD_MODULE_FILE_NAME "ZintuDobrel64.ax"
#define ZD_PAGE_CLASS_NAME "ZintuDobrel64 Props"
#define ZD_ARCHITECTURE "x64"
#endif

// The release version: the CMake project version, given to every compilation
// as ZD_VERSION_MAJOR, ZD_VERSION_MINOR and ZD_VERSION_PATCH.
#define ZD_STRINGIFY_(x) #x
#define ZD_STRINGIFY(x) ZD_STRINGIFY_(x)
#define ZD_VERSION_TEXT          \
  ZD_STRINGIFY(ZD_VERSION_MAJOR) \
  "." ZD_STRINGIFY(ZD_VERSION_MINOR) "." ZD_STRINGIFY(ZD_VERSION_PATCH)
