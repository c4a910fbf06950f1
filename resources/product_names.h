// The product's names, in one place: the friendly name under which the
// filter is registered and listed (also its pin's name and the default
// device of the capture tool), and the property page's class name. Each
// bitness has its own; the module, its pin, its registration and the tools
// built alongside it take the one of their build.
#pragma once

#if defined(_WIN64) || defined(__x86_64__) || defined(__aarch64__)
#define ZD_FRIENDLY_NAME "Zintu Dobrel x64"
#define ZD_PROPERTY_PAGE_NAME "ZintuDobrel64 Props"
#else
#define ZD_FRIENDLY_NAME "Zintu Dobrel x86"
#define ZD_PROPERTY_PAGE_NAME "ZintuDobrel32 Props"
#endif

constexpr const char* kFriendlyName = ZD_FRIENDLY_NAME;
constexpr const wchar_t* kFriendlyNameW = L"" ZD_FRIENDLY_NAME;
constexpr const wchar_t* kPropertyPageNameW = L"" ZD_PROPERTY_PAGE_NAME;
