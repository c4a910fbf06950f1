// The settings loader gives the same switches and presets whether it reads
// through the system's reader, as the module does, or through our own reader.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/profile_reader.h"
#include "stream/stream_settings.h"
#include "tests/core/data/temp_files.h"
#include "tests/core/support/settings_checks.h"

namespace {

struct SettingsCase {
  const char* name;
  std::string text;
};

std::vector<SettingsCase> SettingsCorpus() {
  return {
      {"empty", ""},
      {"typical",
       "; test pattern settings\r\n[MAIN]\r\nbuff_num=3\r\npreset_num=4\r\nauto_clock=1\r\n"
       "mouse_cursol=1\r\nlatency_log=latency.txt\r\n\r\n[PRESET_DEF]\r\nbmp=back.bmp\r\n"
       "font=font.bmp\r\nscroll_x=2\r\n\r\n[PRESET_01]\r\nenable=1\r\nw=640\r\nh=480\r\n"
       "fcc=YUY2\r\nframe_time=29.97\r\ncomment=VGA\r\n\r\n[PRESET_02]\r\nenable=0\r\n\r\n"
       "[PRESET_03]\r\nenable=1\r\nw=1920\r\nh=1080\r\ninterlaced=1\r\nfcc=hdyc\r\n"
       "frame_time=333667\r\n[PRESET_04]\r\nenable=1\r\nfcc=RG24\r\nframe_time=59.94\r\n"},
      {"awkward",
       "[ main ]\n Preset_Num = 12 \nBUFF_NUM=\"0\"\nbuff_num=7\n[preset_def]\nw='641'\n"
       "frame_time= 25 \nbmp=\"  spaced name.bmp  \"\n[PRESET_01]\nenable=1\nbmp=\ncomment=" +
           std::string(300, 'c') +
           "\n[PRESET_10]\nenable=1\nfcc=yuy2x\nscroll_y=-3\n"
           "[PRESET_10]\nenable=1\nw=100\n[PRESET_11]\nenable= 1\n"
           "frame_time=fast\n[PRESET_12]\nenable=2\n"},
      {"no newline at end", "[MAIN]\npreset_num=1\n[PRESET_01]\nenable=1\nw=800"},
      {"quoted values filling their buffers",
       "[MAIN]\npreset_num=2\n[PRESET_01]\nenable=1\nfcc=\"YUY2\"\nbmp=\"" + std::string(259, 'b') +
           "\"\nfont='" + std::string(258, 'f') +
           "'\n[PRESET_02]\nenable=1\nfcc='hdyc'\n"
           "comment=\"" +
           std::string(260, 'c') + "\"\n"},
      {"everything disabled", "[MAIN]\npreset_num=3\n[PRESET_DEF]\nw=1\nh=1\ninterlaced=5\n"},
  };
}

TEST(SettingsEquivalence, BothReadersGiveTheSameSettingsAndPresets) {
  TempFolder folder;
  for (const SettingsCase& c : SettingsCorpus()) {
    SCOPED_TRACE(c.name);
    const std::string path = folder.Write("ZintuDobrel.ini", c.text);
    StreamSettings system;
    StreamSettings ours;
    ASSERT_TRUE(system.LoadSettings(path, &ReadProfileString, &ReadProfileName));
    ASSERT_TRUE(ours.LoadSettings(path, &ReadProfileStringPortable));
    zdtest::ExpectSwitches(ours, system.m_buffNum, system.m_useVideoInfoHeader2, system.m_autoClock,
                           system.m_mouseCursol, system.m_latencyLog);
    ASSERT_EQ(ours.m_presetNum, system.m_presetNum);
    for (int32_t i = 0; i < ours.m_presetNum; ++i) {
      SCOPED_TRACE("preset " + std::to_string(i));
      zdtest::ExpectSamePreset(ours.m_presetTable[i], system.m_presetTable[i]);
    }
  }
}

}  // namespace
