#pragma once
// Result codes of the portable core. They carry the platform's HRESULT values
// so that the Windows build can return them across COM unchanged, without the
// core including any platform header.
#include <cstdint>

using HResultCode = int32_t;

constexpr HResultCode kS_OK = 0;
constexpr HResultCode kS_FALSE = 1;
constexpr HResultCode kE_FAIL = static_cast<HResultCode>(0x80004005u);
constexpr HResultCode kE_POINTER = static_cast<HResultCode>(0x80004003u);
constexpr HResultCode kE_OUTOFMEMORY = static_cast<HResultCode>(0x8007000Eu);
constexpr HResultCode kE_UNEXPECTED = static_cast<HResultCode>(0x8000FFFFu);

constexpr bool Failed(HResultCode hr) {
  return hr < 0;
}

// HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED): what every call on a
// removed device's objects answers (docs/faults.md says why this one).
constexpr HResultCode kE_DEVICE_NOT_CONNECTED = static_cast<HResultCode>(0x8007048Fu);
