#pragma once
// Windows build only: the module keeps its paths and file names as UTF-8 text
// and hands them to the system's wide-character functions, so that a folder
// whose name the ANSI code page cannot spell is used exactly.
#ifdef _WIN32
#include <string>

// Strict conversions: false, with *out emptied, for text that is not valid
// UTF-8 or not valid UTF-16 (a lone surrogate), rather than a replaced
// character that would name another file.
bool WideFromUtf8(const std::string& text, std::wstring* out);
bool Utf8FromWide(const std::wstring& text, std::string* out);

// Wide text in the ANSI code page, as the system's ANSI functions give it.
std::string AnsiFromWide(const std::wstring& text);
#endif
