#pragma once
// The stream-wide switches of section "MAIN" and the preset table, as the
// output pin holds them after reading the settings file beside the module.
#include <cstdint>
#include <memory>
#include <string>

#include "stream/preset_info.h"

constexpr const char* kSettingsFileName = "ZintuDobrel.ini";

struct StreamSettings {
  int32_t m_buffNum = 2;               // "buff_num": sample buffers asked of the allocator, >= 1
  int32_t m_presetNum = 1;             // presets in m_presetTable, >= 1 after a successful load
  int32_t m_useVideoInfoHeader2 = 0;   // "use_video_info_header2": non-zero selects VIDEOINFOHEADER2
  int32_t m_autoClock = 0;             // "auto_clock": non-zero lets the graph clock pace frames
  int32_t m_mouseCursol = 0;           // "mouse_cursol": exactly 1 draws the mouse marker
  char m_latencyLog[kPresetTextSize] = {};  // "latency_log": log file beside the module; empty = off
  std::unique_ptr<PresetInfo[]> m_presetTable;  // m_presetNum valid entries

  // Reads the settings file at iniPath (a missing file gives every default).
  // False only when the preset table cannot be allocated; m_presetNum is then 0.
  bool LoadSettings(const std::string& iniPath);

  // Entry 0 of the table, or the built-in default preset when there is no table.
  PresetInfo FirstPreset() const;
};

// The built-in default preset: 320 x 240 RGB32 at 333667 (29.97 fps), before
// "PRESET_DEF" is applied.
PresetInfo DefaultPreset();

// Full path of the settings file beside the module that holds the filter.
std::string SettingsFilePath();
