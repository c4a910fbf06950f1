#pragma once
// Reads one value of an INI-form settings file, with the properties the
// settings loader relies on (those of GetPrivateProfileStringA):
//  - section and key names match without regard to case and to surrounding blanks;
//  - the value comes back without surrounding blanks, and without the quotation
//    marks when it is enclosed in them;
//  - an absent key, section or file yields the given default;
//  - a value longer than the buffer is cut to bufferSize - 1 characters.
// The path is UTF-8. The Windows build calls GetPrivateProfileStringW with the
// wide path and gives the value in the ANSI code page, byte for byte what
// GetPrivateProfileStringA gives for the same file; the native build has its
// own reader.
#include <cstddef>
#include <string>

std::string ReadProfileString(const char* section, const char* key, const char* defaultValue,
                              size_t bufferSize, const std::string& path);

// A file name (the bitmaps, the latency log) as UTF-8, the form of paths, cut
// to bufferSize - 1 characters as PathChars counts them. Natively the same as
// ReadProfileString: the file's own bytes. On Windows the file's encoding
// decides: a file with a UTF-8 byte order mark, or without one but valid UTF-8
// with at least one byte beyond ASCII, is read by our reader below; any other
// file (ANSI, or UTF-16 with a byte order mark) by GetPrivateProfileStringW.
std::string ReadProfileName(const char* section, const char* key, const char* defaultValue,
                            size_t bufferSize, const std::string& path);

// Our own reader, built in both configurations: the native ReadProfileString
// forwards to it, and the Windows tests hold it against GetPrivateProfileStringA.
// Beyond the properties above it follows the system reader in these points:
//  - lines end at CR, LF or CR LF; a UTF-8 byte order mark is skipped;
//  - "[name]" starts a section named by the text up to the last ']' (trimmed);
//    a line starting with '[' without ']' is an ordinary line;
//  - "key = value" splits at the first '='; a line without '=' names a key
//    without a value, which yields the default;
//  - keys before the first section belong to the section "";
//  - of repeated sections only the first counts, of repeated keys the first;
//  - ';' starts no comment: such lines are keys that nobody asks for;
//  - blanks are space, tab, CR, LF, VT, FF and the end-of-file mark 0x1A;
//  - the default loses its trailing blanks; a null default counts as "";
//    a null section or key yields the default;
//  - quotation marks are '"' or '\'' alike, removed when the trimmed value is at
//    least two characters long and starts and ends with the same mark.
std::string ReadProfileStringPortable(const char* section, const char* key,
                                      const char* defaultValue, size_t bufferSize,
                                      const std::string& path);

// The same over a file's text held in memory.
std::string ReadProfileStringFromText(const char* section, const char* key,
                                      const char* defaultValue, size_t bufferSize,
                                      const std::string& text);
