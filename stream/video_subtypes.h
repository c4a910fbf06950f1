#pragma once
// Media subtypes that mingw-w64's DirectShow headers lack, defined once as
// Windows defines them: the FOURCC subtype {FOURCC-0000-0010-8000-00AA00389B71}.
// (MEDIASUBTYPE_NV12 comes with uuids.h.) The filter itself makes every
// subtype from the bitmap header's FOURCC; these are for code that names one.
#include <windows.h>

// "I420": planar 4:2:0, Y then U then V.
inline constexpr GUID MEDIASUBTYPE_I420 = {
    0x30323449, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
