#pragma once
// zd-capture keeps its arguments as UTF-8 (from a wide main); these open and
// create what they name through the wide-character functions, so that any
// folder name works, and let the console show UTF-8 output.
#include <cstdio>
#include <string>
#include <vector>

namespace zdcap {

// _wfopen of a UTF-8 path; null when it fails or the path is not UTF-8.
std::FILE* OpenFileUtf8(const std::string& path, const char* mode);

// CreateDirectoryW; true when the folder was made or already exists.
bool CreateFolderUtf8(const std::string& path);

// A wide command line's arguments as UTF-8, the program name left out.
std::vector<std::string> Utf8Arguments(int argc, wchar_t** argv);

// While it lives, a console shows text written as UTF-8 (the console's output
// code page is UTF-8; the previous one comes back at the end). Output to a
// file or pipe is UTF-8 in any case.
class Utf8Console {
 public:
  Utf8Console();
  ~Utf8Console();
  Utf8Console(const Utf8Console&) = delete;
  Utf8Console& operator=(const Utf8Console&) = delete;

 private:
  unsigned m_previous = 0;
};

}  // namespace zdcap
