// The product's names and version, in one place: the friendly name under
// which the filter is registered and listed (also its pin's name and the
// default device of the capture tool), the property page's class name, the
// architecture the tools print and the release version. Each bitness has its
// own names; the 64-bit and the 32-bit module serve the same classes (their
// registrations live in separate registry views) and are told apart by name
// where both are listed. The module, its pin, its registration and the tools
// built alongside it take the names of their build.
#pragma once

#if defined(_WIN64) || defined(__x86_64__) || defined(__aarch64__)
#define ZD_FRIENDLY_NAME "Zintu Dobrel x64"
#define ZD_PROPERTY_PAGE_NAME "ZintuDobrel64 Props"
#define ZD_ARCHITECTURE "x64"
#else
#define ZD_FRIENDLY_NAME "Zintu Dobrel x86"
#define ZD_PROPERTY_PAGE_NAME "ZintuDobrel32 Props"
#define ZD_ARCHITECTURE "x86"
#endif

// The release version: the CMake project version, given to every compilation
// as ZD_VERSION_MAJOR, ZD_VERSION_MINOR and ZD_VERSION_PATCH.
#define ZD_STRINGIFY_(x) #x
#define ZD_STRINGIFY(x) ZD_STRINGIFY_(x)
#define ZD_VERSION_TEXT          \
  ZD_STRINGIFY(ZD_VERSION_MAJOR) \
  "." ZD_STRINGIFY(ZD_VERSION_MINOR) "." ZD_STRINGIFY(ZD_VERSION_PATCH)

#ifdef __cplusplus
constexpr const char* kFriendlyName = ZD_FRIENDLY_NAME;
constexpr const wchar_t* kFriendlyNameW = L"" ZD_FRIENDLY_NAME;
constexpr const wchar_t* kPropertyPageNameW = L"" ZD_PROPERTY_PAGE_NAME;
#endif
