#pragma once
// Opens a file named by a UTF-8 path as a C stream: natively with fopen, on
// Windows with _wfopen, so that any folder name works.
#include <cstdio>
#include <memory>
#include <string>

struct StdioFileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueStdioFile = std::unique_ptr<std::FILE, StdioFileCloser>;

// Null when the file cannot be opened or the path is not valid UTF-8 (Windows).
UniqueStdioFile OpenStdioFile(const std::string& path, const char* mode);
