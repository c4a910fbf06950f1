#pragma once
// Reads a whole bitmap file into memory, refusing files larger than any
// acceptable image (16384 x 16384 at 32 bits plus headers). The path is UTF-8.
#include <cstdint>
#include <string>
#include <vector>

bool ReadBitmapFileBytes(const std::string& path, std::vector<uint8_t>* bytes);
