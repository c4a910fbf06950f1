// libFuzzer entry point: any bytes as the settings file's text, read by our
// INI reader and loaded into the preset table, whose limits must then hold.
// See README.md for how to run it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/profile_reader.h"
#include "stream/stream_settings.h"

namespace {

std::string g_text;

std::string ReadFromText(const char* section, const char* key, const char* defaultValue,
                         size_t bufferSize, const std::string&) {
  return ReadProfileStringFromText(section, key, defaultValue, bufferSize, g_text);
}

bool Even(int32_t v) {
  return v % 2 == 0;
}

bool Offered(uint32_t compression, int32_t bitCount) {
  return (compression == 0 && (bitCount == 32 || bitCount == 24)) ||
         ((compression == 0x32595559u || compression == 0x55595659u || compression == 0x59565955u ||
           compression == 0x43594448u) &&
          bitCount == 16);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  g_text.assign(reinterpret_cast<const char*>(data), size);

  // The reader: a value fits its buffer and is a piece of the text or the default.
  const char* const names[] = {"MAIN", "PRESET_DEF", "PRESET_01", "", "w", "fcc", "preset_num "};
  for (const char* section : names) {
    for (const char* key : names) {
      const std::string value = ReadProfileStringFromText(section, key, "DEFAULT", 16, g_text);
      if (value.size() > 15)
        __builtin_trap();
      if (value != "DEFAULT" && g_text.find(value) == std::string::npos)
        __builtin_trap();
    }
  }

  // The loader: a sound table whatever the text.
  StreamSettings settings;
  if (!settings.LoadSettings("fuzz.ini", &ReadFromText))
    __builtin_trap();
  if (settings.m_presetNum < 1 || settings.m_presetNum > kMaxPresetNum || !settings.m_presetTable ||
      settings.m_buffNum < 1) {
    __builtin_trap();
  }
  for (int32_t i = 0; i < settings.m_presetNum; ++i) {
    const PresetInfo& p = settings.m_presetTable[size_t(i)];
    if (!Even(p.w) || p.w < kMinFrameWidth || p.w > kMaxFrameSide)
      __builtin_trap();
    if (!Even(p.h) || p.h < kMinFrameHeight || p.h > kMaxFrameSide)
      __builtin_trap();
    if (!Even(p.scroll_x) || p.scroll_x < -kMaxScrollStep || p.scroll_x > kMaxScrollStep)
      __builtin_trap();
    if (!Even(p.scroll_y) || p.scroll_y < -kMaxScrollStep || p.scroll_y > kMaxScrollStep)
      __builtin_trap();
    if (p.interlaced < 0 || p.interlaced > 2 || p.frame_time <= 0)
      __builtin_trap();
    if (!Offered(p.compression, p.bit_count))
      __builtin_trap();
    if (!std::memchr(p.bmp, 0, sizeof p.bmp) || !std::memchr(p.font, 0, sizeof p.font) ||
        !std::memchr(p.comment, 0, sizeof p.comment)) {
      __builtin_trap();
    }
  }
  return 0;
}
