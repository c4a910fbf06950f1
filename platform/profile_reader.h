#pragma once
// Reads one value of an INI-form settings file, with the properties the
// settings loader relies on (those of GetPrivateProfileStringA):
//  - section and key names match without regard to case and to surrounding blanks;
//  - the value comes back without surrounding blanks, and without the quotation
//    marks when it is enclosed in them;
//  - an absent key, section or file yields the given default;
//  - a value longer than the buffer is cut to bufferSize - 1 characters.
// The Windows build calls GetPrivateProfileStringA; the native build has its own reader.
#include <cstddef>
#include <string>

std::string ReadProfileString(const char* section, const char* key, const char* defaultValue,
                              size_t bufferSize, const std::string& path);
