// Without GetPrivateProfileStringA, the settings are read by our own reader.
#include "platform/profile_reader.h"

std::string ReadProfileString(const char* section, const char* key, const char* defaultValue,
                              size_t bufferSize, const std::string& path) {
  return ReadProfileStringPortable(section, key, defaultValue, bufferSize, path);
}

std::string ReadProfileName(const char* section, const char* key, const char* defaultValue,
                            size_t bufferSize, const std::string& path) {
  return ReadProfileStringPortable(section, key, defaultValue, bufferSize, path);
}
