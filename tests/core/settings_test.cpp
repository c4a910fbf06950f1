// The settings file beside the module: stream-wide switches and the presets
// that the filter offers.
#include <gtest/gtest.h>

#include <array>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/module_path.h"
#include "stream/stream_settings.h"
#include "tests/core/data/temp_files.h"
#include "tests/core/support/settings_checks.h"

namespace {

using zdtest::ExpectSamePreset;

constexpr uint32_t kYuy2 = 0x32595559u;
constexpr uint32_t kYvyu = 0x55595659u;
constexpr uint32_t kUyvy = 0x59565955u;
constexpr uint32_t kHdyc = 0x43594448u;
constexpr uint32_t kNv12 = 0x3231564Eu;  // "NV12"
constexpr uint32_t kI420 = 0x30323449u;  // "I420"

// The preset that a missing settings file gives.
PresetInfo BuiltInPreset() {
  PresetInfo p = {};  // RGB, progressive, still, no bitmaps, no comment
  p.w = 320, p.h = 240, p.bit_count = 32, p.frame_time = 333667;
  return p;
}

class SettingsFile : public ::testing::Test {
 protected:
  StreamSettings Load(const std::string& text) {
    StreamSettings settings;
    EXPECT_TRUE(settings.LoadSettings(m_folder.Write(kSettingsFileName, text)));
    return settings;
  }
  TempFolder m_folder;
};

TEST_F(SettingsFile, NoFileGivesOneDefaultPresetAndDefaultSwitches) {
  StreamSettings settings;
  ASSERT_TRUE(settings.LoadSettings(m_folder.PathOf("missing.ini")));
  zdtest::ExpectSwitches(settings, 2, 0, 0, 0, "");
  ASSERT_EQ(settings.m_presetNum, 1);
  ASSERT_TRUE(settings.m_presetTable);
  ExpectSamePreset(settings.m_presetTable[0], BuiltInPreset());
  ExpectSamePreset(settings.FirstPreset(), BuiltInPreset());
  ExpectSamePreset(DefaultPreset(), BuiltInPreset());
}

TEST_F(SettingsFile, OneValueInAnEnabledPresetChangesOnlyItsField) {
  struct Case {
    std::string line;  // written into [PRESET_01] after enable=1
    void (*expect)(PresetInfo&);
  };
  const std::vector<Case> cases = {
      // frame size: made even, then at least 80 x 60
      {"w=641", [](PresetInfo& p) { p.w = 642; }},
      {"w=1", [](PresetInfo& p) { p.w = 80; }},
      {"w=79", [](PresetInfo& p) { p.w = 80; }},
      {"w=-1", [](PresetInfo& p) { p.w = 80; }},
      {"h=59", [](PresetInfo& p) { p.h = 60; }},
      {"h=61", [](PresetInfo& p) { p.h = 62; }},
      {"w=  1280xyz", [](PresetInfo& p) { p.w = 1280; }},
      {"w=+400", [](PresetInfo& p) { p.w = 400; }},
      {"w=abc", [](PresetInfo&) {}},
      {"w=- 400", [](PresetInfo&) {}},
      {"w=", [](PresetInfo&) {}},
      // negative and absurd sizes are held within 80..16384 and 60..16384
      {"w=-640", [](PresetInfo& p) { p.w = 80; }},
      {"h=-2", [](PresetInfo& p) { p.h = 60; }},
      {"w=16385", [](PresetInfo& p) { p.w = 16384; }},
      {"w=20000", [](PresetInfo& p) { p.w = 16384; }},
      {"h=2147483647", [](PresetInfo& p) { p.h = 16384; }},
      {"h=99999999999", [](PresetInfo& p) { p.h = 16384; }},
      {"w=-2147483648", [](PresetInfo& p) { p.w = 80; }},
      // scroll steps: made even away from zero, within -16384..16384
      {"scroll_x=3", [](PresetInfo& p) { p.scroll_x = 4; }},
      {"scroll_x=-3", [](PresetInfo& p) { p.scroll_x = -4; }},
      {"scroll_y=-2", [](PresetInfo& p) { p.scroll_y = -2; }},
      {"scroll_y=7", [](PresetInfo& p) { p.scroll_y = 8; }},
      {"scroll_x=2147483647", [](PresetInfo& p) { p.scroll_x = 16384; }},
      {"scroll_x=-2147483648", [](PresetInfo& p) { p.scroll_x = -16384; }},
      // interlace mode 0..2, anything else progressive
      {"interlaced=1", [](PresetInfo& p) { p.interlaced = 1; }},
      {"interlaced=2", [](PresetInfo& p) { p.interlaced = 2; }},
      {"interlaced=3", [](PresetInfo&) {}},
      {"interlaced=-1", [](PresetInfo&) {}},
      // JPEG quality (MJPG): 85 unless given, held to 1..100
      {"jpeg_quality=50", [](PresetInfo& p) { p.jpeg_quality = 50; }},
      {"jpeg_quality=100", [](PresetInfo& p) { p.jpeg_quality = 100; }},
      {"jpeg_quality=0", [](PresetInfo& p) { p.jpeg_quality = 1; }},
      {"jpeg_quality=-20", [](PresetInfo& p) { p.jpeg_quality = 1; }},
      {"jpeg_quality=101", [](PresetInfo& p) { p.jpeg_quality = 100; }},
      {"jpeg_quality=high", [](PresetInfo&) {}},
      // pixel format by four-character name, any case, first four characters
      {"fcc=yuy2", [](PresetInfo& p) { p.compression = kYuy2, p.bit_count = 16; }},
      {"fcc=YUY2X", [](PresetInfo& p) { p.compression = kYuy2, p.bit_count = 16; }},
      {"fcc=YvYu", [](PresetInfo& p) { p.compression = kYvyu, p.bit_count = 16; }},
      {"fcc=UYVY", [](PresetInfo& p) { p.compression = kUyvy, p.bit_count = 16; }},
      {"fcc=hdyc", [](PresetInfo& p) { p.compression = kHdyc, p.bit_count = 16; }},
      {"fcc=RG24", [](PresetInfo& p) { p.bit_count = 24; }},
      {"fcc=rg32", [](PresetInfo&) {}},
      {"fcc=NV12", [](PresetInfo& p) { p.compression = kNv12, p.bit_count = 12; }},
      {"fcc=i420", [](PresetInfo& p) { p.compression = kI420, p.bit_count = 12; }},
      {"fcc=YV12", [](PresetInfo&) {}},
      // interlaced 4:2:0 heights grow to a multiple of 4; nothing else changes
      {"fcc=NV12\ninterlaced=1\nh=242",
       [](PresetInfo& p) { p.compression = kNv12, p.bit_count = 12, p.interlaced = 1, p.h = 244; }},
      {"fcc=I420\ninterlaced=2\nh=481",
       [](PresetInfo& p) { p.compression = kI420, p.bit_count = 12, p.interlaced = 2, p.h = 484; }},
      {"fcc=I420\nh=242",
       [](PresetInfo& p) { p.compression = kI420, p.bit_count = 12, p.h = 242; }},
      {"fcc=YUY2\ninterlaced=1\nh=242",
       [](PresetInfo& p) { p.compression = kYuy2, p.bit_count = 16, p.interlaced = 1, p.h = 242; }},
      {"fcc=RGB24", [](PresetInfo&) {}},
      {"fcc=", [](PresetInfo&) {}},
      {"fcc=YUY", [](PresetInfo&) {}},
      {"fcc=\"YUY2\"", [](PresetInfo& p) { p.compression = kYuy2, p.bit_count = 16; }},
      {"fcc='uyvy' ", [](PresetInfo& p) { p.compression = kUyvy, p.bit_count = 16; }},
      // frame duration in 100 ns, or a frame rate below 1000
      {"frame_time=333667", [](PresetInfo& p) { p.frame_time = 333667; }},
      {"frame_time=29.97", [](PresetInfo& p) { p.frame_time = 333667; }},
      {"frame_time=60", [](PresetInfo& p) { p.frame_time = 166666; }},
      {"frame_time=59.94", [](PresetInfo& p) { p.frame_time = 166833; }},
      {"frame_time=25", [](PresetInfo& p) { p.frame_time = 400000; }},
      {"frame_time=999", [](PresetInfo& p) { p.frame_time = 10010; }},
      {"frame_time=1000", [](PresetInfo& p) { p.frame_time = 1000; }},
      {"frame_time=0.5", [](PresetInfo& p) { p.frame_time = 20000000; }},
      {"frame_time=30fps", [](PresetInfo& p) { p.frame_time = 333333; }},
      {"frame_time=  42", [](PresetInfo& p) { p.frame_time = 238095; }},
      {"frame_time=0", [](PresetInfo&) {}},
      {"frame_time=fast", [](PresetInfo&) {}},
      // rates that give no positive duration keep the inherited one
      {"frame_time=-5", [](PresetInfo&) {}},
      {"frame_time=-1000", [](PresetInfo&) {}},
      {"frame_time=1e30", [](PresetInfo&) {}},
      {"frame_time=20000001.5", [](PresetInfo& p) { p.frame_time = 20000001; }},
      {"frame_time=999.9e6", [](PresetInfo&) {}},
      {"frame_time=nan", [](PresetInfo&) {}},
      {"frame_time=inf", [](PresetInfo&) {}},
      // texts
      {"bmp=pattern.bmp", [](PresetInfo& p) { std::strcpy(p.bmp, "pattern.bmp"); }},
      {"font = \"fonts\\sheet.bmp\" ",
       [](PresetInfo& p) { std::strcpy(p.font, "fonts\\sheet.bmp"); }},
      {"comment=DV", [](PresetInfo& p) { std::strcpy(p.comment, "DV"); }},
      {"comment=" + std::string(300, 'c'), [](PresetInfo& p) { std::memset(p.comment, 'c', 259); }},
      {"bmp=\"" + std::string(259, 'b') + "\"",
       [](PresetInfo& p) { std::memset(p.bmp, 'b', 259); }},
      {"bmp=\"" + std::string(258, 'b') + "\"",
       [](PresetInfo& p) { std::memset(p.bmp, 'b', 258); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const StreamSettings settings = Load("[PRESET_01]\nenable=1\n" + c.line + "\n");
    ASSERT_EQ(settings.m_presetNum, 1);
    PresetInfo expected = BuiltInPreset();
    expected.enable = 1;
    c.expect(expected);
    ExpectSamePreset(settings.m_presetTable[0], expected);
  }
}

TEST_F(SettingsFile, NumberedPresetsStartFromPresetDefAndKeepWhatTheyDoNotGive) {
  const StreamSettings settings = Load(
      "[MAIN]\npreset_num=4\n"
      "[PRESET_DEF]\nw=720\nh=480\nfcc=YUY2\nframe_time=25\nbmp=back.bmp\nfont=font.bmp\n"
      "scroll_x=2\nscroll_y=-6\ninterlaced=1\ncomment=not read here\nenable=1\n"
      "[PRESET_01]\nenable=1\n"
      "[PRESET_02]\nenable=1\nbmp=\n"
      "[PRESET_03]\nenable=1\ncomment=DV\nfcc=YV12\n"
      "[PRESET_04]\nenable=1\nfcc=RG24\nframe_time=60\nfont=other.bmp\n");
  PresetInfo base = BuiltInPreset();
  base.enable = 1;
  base.w = 720;
  base.h = 480;
  base.compression = kYuy2;
  base.bit_count = 16;
  base.frame_time = 400000;
  std::strcpy(base.bmp, "back.bmp");
  std::strcpy(base.font, "font.bmp");
  base.scroll_x = 2;
  base.scroll_y = -6;
  base.interlaced = 1;

  ASSERT_EQ(settings.m_presetNum, 4);
  ExpectSamePreset(settings.m_presetTable[0], base);
  PresetInfo cleared = base;
  cleared.bmp[0] = '\0';
  ExpectSamePreset(settings.m_presetTable[1], cleared);
  PresetInfo commented = base;
  std::strcpy(commented.comment, "DV");
  ExpectSamePreset(settings.m_presetTable[2], commented);
  PresetInfo rgb = base;
  rgb.compression = 0;
  rgb.bit_count = 24;
  rgb.frame_time = 166666;
  std::strcpy(rgb.font, "other.bmp");
  ExpectSamePreset(settings.m_presetTable[3], rgb);
}

TEST_F(SettingsFile, WithoutAnEnabledSectionPresetDefIsTheOnlyPresetMadeValid) {
  const StreamSettings settings = Load(
      "[PRESET_DEF]\nw=641\nh=59\nscroll_x=-3\ninterlaced=7\nfcc=uyvy\ncomment=ignored\n"
      "[PRESET_01]\nenable=2\nw=1000\n"
      "[PRESET_02]\nw=1000\n");
  PresetInfo expected = BuiltInPreset();
  expected.enable = 0;
  expected.w = 642;
  expected.h = 60;
  expected.scroll_x = -4;
  expected.compression = kUyvy;
  expected.bit_count = 16;
  ASSERT_EQ(settings.m_presetNum, 1);
  ExpectSamePreset(settings.m_presetTable[0], expected);
  ExpectSamePreset(settings.FirstPreset(), expected);
}

TEST_F(SettingsFile, OnlyEnabledSectionsUpToPresetNumEnterTheTableInOrder) {
  struct Case {
    std::string text;
    std::vector<int32_t> widths;  // of the table's entries, in order
  };
  auto section = [](int n, const char* enable, int w) {
    char text[96];
    std::snprintf(text, sizeof text, "[PRESET_%02d]\nenable=%s\nw=%d\n", n, enable, w);
    return std::string(text);
  };
  const std::vector<Case> cases = {
      {"[MAIN]\npreset_num=3\n" + section(1, "1", 100) + section(2, "0", 200) +
           section(3, "1", 300) + section(4, "1", 400),
       {100, 300}},
      {"[MAIN]\nPreset_Num = 3\n" + section(3, "1", 300) + section(2, "1", 200), {200, 300}},
      {"[MAIN]\npreset_num=2\n" + section(1, "2", 100) + section(2, " 1 ", 200), {200}},
      {section(1, "1", 100) + section(2, "1", 200), {100}},
      {"[MAIN]\npreset_num=10\n[PRESET_9]\nenable=1\nw=900\n" + section(10, "1", 1000), {1000}},
      {"[MAIN]\npreset_num=10\n" + section(9, "1", 900), {900}},
      {"[MAIN]\npreset_num=100\n" + section(100, "1", 1000) + section(99, "1", 990), {990, 1000}},
      {"[MAIN]\npreset_num=0\n" + section(1, "1", 100), {100}},
      {"[MAIN]\npreset_num=-7\n" + section(1, "1", 100), {100}},
      // "preset_num" is cut to 999 sections
      {"[MAIN]\npreset_num=2000000000\n" + section(999, "1", 998) + section(1000, "1", 2000),
       {998}},
      {"[MAIN]\npreset_num=5\n" + section(1, "1", 100) + section(1, "1", 200), {100}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const StreamSettings settings = Load(c.text);
    ASSERT_EQ(settings.m_presetNum, int32_t(c.widths.size()));
    for (size_t i = 0; i < c.widths.size(); ++i) {
      EXPECT_EQ(settings.m_presetTable[i].w, c.widths[i]) << "entry " << i;
      EXPECT_EQ(settings.m_presetTable[i].enable, 1);
    }
  }
}

TEST_F(SettingsFile, MainSectionSwitches) {
  struct Case {
    std::string lines;
    int32_t buffNum, vih2, autoClock, mouse;
    const char* latencyLog;
    int32_t frameCode = 0;
    int32_t exclusive = 0;
  };
  const std::vector<Case> cases = {
      {"", 2, 0, 0, 0, ""},
      {"buff_num=5\nuse_video_info_header2=1\nauto_clock=1\nmouse_cursol=1\n", 5, 1, 1, 1, ""},
      {"buff_num=0\n", 1, 0, 0, 0, ""},
      {"buff_num=-5\n", 1, 0, 0, 0, ""},
      {"buff_num=three\n", 2, 0, 0, 0, ""},
      {"use_video_info_header2=-3\nauto_clock=7\nmouse_cursol=2\n", 2, -3, 7, 2, ""},
      {"latency_log = latency.txt \n", 2, 0, 0, 0, "latency.txt"},
      {"latency_log=\n", 2, 0, 0, 0, ""},
      {"frame_code=1\n", 2, 0, 0, 0, "", 1},
      {"frame_code=\n", 2, 0, 0, 0, "", 0},
      {"exclusive=1\n", 2, 0, 0, 0, "", 0, 1},
      {"exclusive=no\n", 2, 0, 0, 0, "", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines);
    const StreamSettings settings = Load("[MAIN]\n" + c.lines + "[PRESET_01]\nenable=1\n");
    zdtest::ExpectSwitches(settings, c.buffNum, c.vih2, c.autoClock, c.mouse, c.latencyLog);
    EXPECT_EQ(settings.m_frameCode, c.frameCode);
    EXPECT_EQ(settings.m_exclusive, c.exclusive);
    EXPECT_EQ(settings.m_presetNum, 1);
  }
}

// Fault keys: per preset, inherited from PRESET_DEF, off by default; absurd
// values become safe ones.
TEST_F(SettingsFile, FaultKeysArePerPresetAndAbsurdValuesBecomeSafe) {
  struct Case {
    std::string lines;  // written into [PRESET_01] after enable=1
    // loss, repeat, reorder, jitter, seed, stall, stall every, no time,
    // freeze frames, freeze every
    std::array<int32_t, 10> expected;
  };
  const std::vector<Case> cases = {
      {"", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"fault_loss_every=30\nfault_repeat_every=45\nfault_reorder_every=20\n",
       {30, 45, 20, 0, 0, 0, 0, 0, 0, 0}},
      {"fault_jitter_ms=8\nfault_jitter_seed=-7\nfault_stall_ms=500\nfault_stall_every=150\n",
       {0, 0, 0, 8, -7, 500, 150, 0, 0, 0}},
      {"fault_no_time_every=100\nfault_freeze_frames=3\nfault_freeze_every=70\n",
       {0, 0, 0, 0, 0, 0, 0, 100, 3, 70}},
      // Negative periods and waits are off.
      {"fault_loss_every=-3\nfault_jitter_ms=-1\nfault_no_time_every=-9\n",
       {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      // A frame cannot be swapped with itself: every frame becomes every second one.
      {"fault_reorder_every=1\n", {0, 0, 2, 0, 0, 0, 0, 0, 0, 0}},
      // Waits are held to a second of jitter and a minute of stall.
      {"fault_jitter_ms=5000\nfault_stall_ms=999999\nfault_stall_every=3\n",
       {0, 0, 0, 1000, 0, 60000, 3, 0, 0, 0}},
      // A stall needs both its length and its period.
      {"fault_stall_ms=100\n", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"fault_stall_every=4\n", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      // A freeze leaves at least one frame between two freezes.
      {"fault_freeze_frames=5\nfault_freeze_every=3\n", {0, 0, 0, 0, 0, 0, 0, 0, 2, 3}},
      {"fault_freeze_frames=1\nfault_freeze_every=1\n", {0, 0, 0, 0, 0, 0, 0, 0, 1, 2}},
      {"fault_freeze_frames=3\n", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {"fault_freeze_frames=-2\nfault_freeze_every=4\n", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines);
    const StreamSettings settings = Load("[PRESET_01]\nenable=1\n" + c.lines);
    ASSERT_EQ(settings.m_presetNum, 1);
    const FaultSettings& f = settings.m_presetTable[0].faults;
    const std::array<int32_t, 10> got = {
        f.loss_every, f.repeat_every, f.reorder_every, f.jitter_ms,     f.jitter_seed,
        f.stall_ms,   f.stall_every,  f.no_time_every, f.freeze_frames, f.freeze_every};
    EXPECT_EQ(got, c.expected);
  }

  // Inherited from PRESET_DEF; a numbered section can switch one off again.
  const StreamSettings two = Load(
      "[MAIN]\npreset_num=2\nfault_log=faults.txt\n[PRESET_DEF]\nfault_loss_every=9\n"
      "[PRESET_01]\nenable=1\n[PRESET_02]\nenable=1\nfault_loss_every=0\n");
  ASSERT_EQ(two.m_presetNum, 2);
  EXPECT_EQ(two.m_presetTable[0].faults.loss_every, 9);
  EXPECT_EQ(two.m_presetTable[1].faults.loss_every, 0);
  EXPECT_STREQ(two.m_faultLog, "faults.txt");
  EXPECT_STREQ(Load("[PRESET_01]\nenable=1\n").m_faultLog, "");
}

// Sample-fault keys: periods as the other faults', kept shares held to
// 1..99 and 50 when not given.
TEST_F(SettingsFile, SampleFaultKeysAreReadAndTheirSharesHeldInRange) {
  struct Case {
    std::string lines;
    // truncate every, truncate percent, no eoi, corrupt, no tables, trailing,
    // empty, short every, short percent
    std::array<int32_t, 9> expected;
  };
  const Case cases[] = {
      {"", {0, 50, 0, 0, 0, 0, 0, 0, 50}},
      {"fault_jpeg_truncate_every=7\nfault_jpeg_truncate_percent=30\nfault_jpeg_no_eoi_every=11\n"
       "fault_jpeg_corrupt_every=13\nfault_jpeg_no_tables_every=17\nfault_jpeg_trailing_every=19\n"
       "fault_empty_every=23\nfault_short_every=29\nfault_short_percent=75\n",
       {7, 30, 11, 13, 17, 19, 23, 29, 75}},
      {"fault_jpeg_truncate_percent=100\nfault_short_percent=-5\nfault_empty_every=-1\n",
       {0, 99, 0, 0, 0, 0, 0, 0, 1}},
      {"fault_jpeg_truncate_percent=0\nfault_short_percent=1\nfault_jpeg_no_eoi_every=-4\n",
       {0, 50, 0, 0, 0, 0, 0, 0, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines);
    const StreamSettings settings = Load("[PRESET_01]\nenable=1\n" + c.lines);
    ASSERT_EQ(settings.m_presetNum, 1);
    const FaultSettings& f = settings.m_presetTable[0].faults;
    const std::array<int32_t, 9> got = {
        f.jpeg_truncate_every, f.jpeg_truncate_percent, f.jpeg_no_eoi_every,
        f.jpeg_corrupt_every,  f.jpeg_no_tables_every,  f.jpeg_trailing_every,
        f.empty_every,         f.short_every,           f.short_percent};
    EXPECT_EQ(got, c.expected);
  }
}

// The unplug and its replug: per preset like the faults, the replug only
// with an unplug and held to ten minutes.
TEST_F(SettingsFile, UnplugKeysArePerPresetAndAReplugNeedsAnUnplug) {
  struct Case {
    std::string lines;
    int32_t unplugAfter, replugMs;
    bool any;  // FaultSettings::Any
  };
  const Case cases[] = {
      {"", 0, 0, false},
      {"fault_unplug_after=30\n", 30, 0, true},
      {"fault_unplug_after=30\nfault_replug_ms=1500\n", 30, 1500, true},
      {"fault_replug_ms=1500\n", 0, 0, false},
      {"fault_unplug_after=-4\nfault_replug_ms=1500\n", 0, 0, false},
      {"fault_unplug_after=8\nfault_replug_ms=-1\n", 8, 0, true},
      {"fault_unplug_after=8\nfault_replug_ms=9999999\n", 8, 600000, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines);
    const StreamSettings settings = Load("[PRESET_01]\nenable=1\n" + c.lines);
    ASSERT_EQ(settings.m_presetNum, 1);
    const FaultSettings& f = settings.m_presetTable[0].faults;
    EXPECT_EQ(f.unplug_after, c.unplugAfter);
    EXPECT_EQ(f.replug_ms, c.replugMs);
    EXPECT_EQ(f.Any(), c.any);
  }
  const StreamSettings two = Load(
      "[MAIN]\npreset_num=2\n[PRESET_DEF]\nfault_unplug_after=5\n"
      "[PRESET_01]\nenable=1\n[PRESET_02]\nenable=1\nfault_unplug_after=0\n");
  ASSERT_EQ(two.m_presetNum, 2);
  EXPECT_EQ(two.m_presetTable[0].faults.unplug_after, 5);
  EXPECT_EQ(two.m_presetTable[1].faults.unplug_after, 0);
}

TEST_F(SettingsFile, LoadingAgainReplacesEverythingFromTheNewFile) {
  StreamSettings settings = Load(
      "[MAIN]\nbuff_num=6\nmouse_cursol=1\nlatency_log=a.txt\npreset_num=2\n"
      "[PRESET_01]\nenable=1\nw=100\n[PRESET_02]\nenable=1\nw=200\n");
  ASSERT_EQ(settings.m_presetNum, 2);
  ASSERT_TRUE(settings.LoadSettings(m_folder.PathOf("missing.ini")));
  zdtest::ExpectSwitches(settings, 2, 0, 0, 0, "");
  ASSERT_EQ(settings.m_presetNum, 1);
  ExpectSamePreset(settings.m_presetTable[0], BuiltInPreset());
}

TEST_F(SettingsFile, WithoutATableTheFirstPresetIsTheBuiltInOne) {
  StreamSettings settings;
  ExpectSamePreset(settings.FirstPreset(), BuiltInPreset());
  settings.m_presetNum = 0;
  ExpectSamePreset(settings.FirstPreset(), BuiltInPreset());
}

// A UTF-8 file whose names and comment are 200 two-byte letters (400 bytes):
// Windows keeps the names whole (259 characters fit), natively a name is cut
// to 259 bytes as before; the comment is 259 bytes in both.
TEST_F(SettingsFile, FileNamesKeep259CharactersAsThePlatformCountsThem) {
  std::string letters;
  for (int i = 0; i < 200; ++i)
    letters += "\xD0\xB6";
  const StreamSettings settings =
      Load("[MAIN]\nlatency_log=" + letters + "\n[PRESET_01]\nenable=1\nbmp=" + letters +
           "\nfont=" + letters + "\ncomment=" + letters + "\n");
  ASSERT_EQ(settings.m_presetNum, 1);
#ifdef _WIN32
  const std::string name = letters;
#else
  const std::string name = letters.substr(0, 259);
#endif
  EXPECT_EQ(settings.m_presetTable[0].bmp, name);
  EXPECT_EQ(settings.m_presetTable[0].font, name);
  EXPECT_EQ(settings.m_latencyLog, name);
  EXPECT_EQ(settings.m_presetTable[0].comment, letters.substr(0, 259));
}

// A reader that knows only one value, to show that the loader asks through it.
std::string ReaderWithWidth1000(const char* section, const char* key, const char* defaultValue,
                                size_t, const std::string&) {
  if (std::strcmp(section, "PRESET_DEF") == 0 && std::strcmp(key, "w") == 0)
    return "1000";
  return defaultValue;
}

TEST_F(SettingsFile, TheLoaderCanReadThroughAnotherReader) {
  StreamSettings settings;
  ASSERT_TRUE(settings.LoadSettings("any.ini", &ReaderWithWidth1000));
  ASSERT_EQ(settings.m_presetNum, 1);
  EXPECT_EQ(settings.m_presetTable[0].w, 1000);
  EXPECT_EQ(settings.m_presetTable[0].h, 240);
}

TEST(SettingsFilePath, TheSettingsFileLiesBesideTheModule) {
  const std::string directory = ModuleDirectory();
  ASSERT_FALSE(directory.empty());
#ifdef _WIN32
  EXPECT_EQ(SettingsFilePath(), directory + "\\ZintuDobrel.ini");
  EXPECT_NE(directory.back(), '\\');
#else
  EXPECT_EQ(SettingsFilePath(), directory + "/ZintuDobrel.ini");
  SetModuleDirectoryOverride("/opt/zintu");
  EXPECT_EQ(SettingsFilePath(), "/opt/zintu/ZintuDobrel.ini");
  SetModuleDirectoryOverride("");
  EXPECT_EQ(ModuleDirectory(), directory);
#endif
}

TEST(ModulePath, TheFolderIsThePathWithoutFileNameAndTrailingSeparator) {
  struct Case {
    const char* full;
    const char* folder;
  };
  const std::vector<Case> cases = {
#ifdef _WIN32
      {"C:\\Program Files\\Zintu\\ZintuDobrel64.ax", "C:\\Program Files\\Zintu"},
      {"C:\\ZintuDobrel64.ax", "C:"},
      {"C:ZintuDobrel64.ax", "C:"},
      {"D:/filters/ZintuDobrel64.ax", "D:/filters"},
      {"\\\\server\\share\\ZintuDobrel64.ax", "\\\\server\\share"},
#else
      {"/opt/zintu/bin/tool", "/opt/zintu/bin"},
      {"/tool", ""},
#endif
      {"ZintuDobrel64.ax", ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DirectoryOfModulePath(c.full), c.folder) << c.full;
#ifdef _WIN32
  EXPECT_EQ(JoinModulePath("C:\\dir", "a.bmp"), "C:\\dir\\a.bmp");
#else
  EXPECT_EQ(JoinModulePath("/dir", "a.bmp"), "/dir/a.bmp");
#endif
}

// Windows counts a path's characters in UTF-16 units, as its wide functions
// do (so a name the ANSI code page spells counts as it did there); natively
// a path is counted in bytes.
TEST(ModulePath, PathsCountAndCutTheirCharactersAsThePlatformDoes) {
  struct Case {
    const char* text;
    size_t windowsChars;
    const char* windowsCutToTwo;
  };
  const std::vector<Case> cases = {
      {"abc", 3, "ab"},
      {"\xC3\xBC\xC3\x9F", 2, "\xC3\xBC\xC3\x9F"},                   // two letters of two bytes
      {"\xE6\xB5\x8B\xE8\xAF\x95x", 3, "\xE6\xB5\x8B\xE8\xAF\x95"},  // three bytes each
      {"\xF0\x9F\x98\x80"
       "a",
       3, "\xF0\x9F\x98\x80"},        // beyond U+FFFF: two units
      {"a\xF0\x9F\x98\x80", 3, "a"},  // never half a character
  };
  for (const Case& c : cases) {
    std::string cut = c.text;
    CutPathName(&cut, 2);
#ifdef _WIN32
    EXPECT_EQ(PathChars(c.text), c.windowsChars) << c.text;
    EXPECT_EQ(cut, c.windowsCutToTwo) << c.text;
#else
    EXPECT_EQ(PathChars(c.text), std::strlen(c.text)) << c.text;
    EXPECT_EQ(cut, std::string(c.text).substr(0, 2)) << c.text;
#endif
  }
}

}  // namespace
