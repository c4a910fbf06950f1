#pragma once
// The stream-wide switches of section "MAIN" and the preset table, as the
// output pin holds them after reading the settings file beside the module.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "stream/preset_info.h"

constexpr const char* kSettingsFileName = "ZintuDobrel.ini";

// Limits applied when loading, beyond those of the settings file's own rules:
// at most this many numbered sections are scanned ("preset_num " is cut to it),
constexpr int32_t kMaxPresetNum = 999;
// frame sides stay within these bounds, so w * h * 4 fits any 32-bit size field,
constexpr int32_t kMinFrameWidth = 80;
constexpr int32_t kMinFrameHeight = 60;
constexpr int32_t kMaxFrameSide = 16384;
// and scroll steps within -kMaxScrollStep..kMaxScrollStep.
constexpr int32_t kMaxScrollStep = 16384;

// Reads one settings value; ReadProfileString and ReadProfileName have this form.
using ProfileReaderFn = std::string (*)(const char* section, const char* key,
                                        const char* defaultValue, size_t bufferSize,
                                        const std::string& path);

struct StreamSettings {
  int32_t m_buffNum = 2;              // "buff_num": sample buffers asked of the allocator, >= 1
  int32_t m_presetNum = 1;            // presets in m_presetTable, >= 1 after a successful load
  int32_t m_useVideoInfoHeader2 = 0;  // "use_video_info_header2": non-zero selects VIDEOINFOHEADER2
  int32_t m_autoClock = 0;            // "auto_clock": non-zero lets the graph clock pace frames
  int32_t m_mouseCursol = 0;          // "mouse_cursol": exactly 1 draws the mouse marker
  int32_t m_frameCode = 0;            // "frame_code": non-zero draws the frame code in every frame
  int32_t m_exclusive = 0;  // "exclusive": exactly 1 lets one stream at a time run in the session
  char m_latencyLog[kPresetNameSize] =
      {};                                 // "latency_log": log file beside the module; empty = off
  char m_faultLog[kPresetNameSize] = {};  // "fault_log": one line per injected fault; empty = off
  std::unique_ptr<PresetInfo[]> m_presetTable;  // m_presetNum valid entries

  // Reads the settings file at iniPath (a missing file gives every default).
  // False only when the preset table cannot be allocated; m_presetNum is then 0.
  bool LoadSettings(const std::string& iniPath);
  // The same through another reader of the file's values; file names are read
  // through nameReader, or through reader when it is null.
  bool LoadSettings(const std::string& iniPath, ProfileReaderFn reader,
                    ProfileReaderFn nameReader = nullptr);

  // Entry 0 of the table, or the built-in default preset when there is no table.
  PresetInfo FirstPreset() const;
};

// The built-in default preset: 320 x 240 RGB32 at 333667 (29.97 fps), before
// "PRESET_DEF" is applied.
PresetInfo DefaultPreset();

// Full path of the settings file beside the module that holds the filter.
std::string SettingsFilePath();
