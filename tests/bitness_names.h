// The names a user sees of the build under test, written out here for the
// tests: "x64" names in the 64-bit build, "x86" names in the 32-bit build.
#pragma once

#if defined(_WIN32) && !defined(_WIN64)
inline constexpr const char kExpectedDeviceName[] = "Zintu Dobrel x86";
inline constexpr const wchar_t kExpectedDeviceNameW[] = L"Zintu Dobrel x86";
inline constexpr const char kExpectedPageClassName[] = "ZintuDobrel32 Props";
inline constexpr const char kExpectedModuleFile[] = "ZintuDobrel32.ax";
#else
inline constexpr const char kExpectedDeviceName[] = "Zintu Dobrel x64";
inline constexpr const wchar_t kExpectedDeviceNameW[] = L"Zintu Dobrel x64";
inline constexpr const char kExpectedPageClassName[] = "ZintuDobrel64 Props";
inline constexpr const char kExpectedModuleFile[] = "ZintuDobrel64.ax";
#endif
