// Damaged and random settings files: the INI reader keeps its promises on any
// text, and the loader always ends with a table the rest of the filter can
// trust, whatever the file says.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/profile_reader.h"
#include "stream/stream_settings.h"
#include "tests/core/data/temp_files.h"
#include "tests/robustness/mutator.h"

namespace {

using zdrobust::Rng;

// The text the in-memory reader serves; LoadSettings takes a plain function.
std::string g_settingsText;

std::string ReadFromSettingsText(const char* section, const char* key, const char* defaultValue,
                                 size_t bufferSize, const std::string&) {
  return ReadProfileStringFromText(section, key, defaultValue, bufferSize, g_settingsText);
}

std::string ShippedSettingsText() {
  std::ifstream file(std::string(ZD_ASSETS_DIR) + "/ZintuDobrel.ini", std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Settings texts to start the mutations from: the shipped file and smaller ones
// that reach every key.
const std::vector<std::string>& SeedTexts() {
  static const std::vector<std::string> texts = {
      ShippedSettingsText(),
      "[MAIN]\nbuff_num=3\npreset_num=4\nmouse_cursol=1\nlatency_log=lat.txt\n"
      "[PRESET_DEF]\nw=640\nh=480\nfcc=YUY2\nframe_time=30\nbmp=a.bmp\nfont=f.bmp\n"
      "[PRESET_01]\nenable=1\nw=1920\nh=1080\nfcc=HDYC\ninterlaced=1\nscroll_x=2\nscroll_y=-4\n"
      "comment=\"full HD\"\n"
      "[PRESET_02]\nenable=1\nfcc=rg24\nframe_time=400000\n"
      "[PRESET_03]\nenable=0\n"
      "[PRESET_04]\nenable=1\nw=81\nh=61\nframe_time=59.94\nfcc=UYVY\n",
      "\xEF\xBB\xBF[main]\r\npreset_num = 2\r\n[preset_01]\r\nenable = 1\r\nfcc = YVYU\r\n"
      "[PRESET_02]\r\nenable=1\r\nw='320'\r\nh=\"240\"\r\n",
      "[PRESET_01]\nenable=1\n",
      "",
  };
  return texts;
}

const char* const kKeys[] = {
    "buff_num",
    "preset_num",
    "use_video_info_header2",
    "auto_clock",
    "mouse_cursol",
    "latency_log",
    "enable",
    "w",
    "h",
    "fcc",
    "frame_time",
    "interlaced",
    "scroll_x",
    "scroll_y",
    "bmp",
    "font",
    "comment",
};

const char* const kSections[] = {
    "MAIN",       "main",        "PRESET_DEF", "preset_def", "PRESET_01", "PRESET_02",
    "PRESET_03",  "PRESET_1",    "PRESET_09",  "PRESET_10",  "PRESET_99", "PRESET_100",
    "PRESET_999", "PRESET_1000", "",           " MAIN ",     "[MAIN]",    "PRESET_-1",
};

// Values that break number parsing and range arithmetic.
std::vector<std::string> ExtremeValues() {
  return {
      "0",
      "-0",
      "1",
      "-1",
      "2",
      "+5",
      "--5",
      "0x10",
      " 81 ",
      "79",
      "16383",
      "16385",
      "2147483647",
      "-2147483648",
      "2147483648",
      "-2147483649",
      "99999999999999999999",
      "-99999999999999999999",
      "4294967296",
      "nan",
      "NaN",
      "inf",
      "-inf",
      "infinity",
      "1e39",
      "-1e39",
      "1e-39",
      "1e-45",
      "0.0000001",
      "3.4e38",
      "3.5e38",
      "0.5",
      "999",
      "1000",
      "999.999",
      "1e3",
      ".",
      "\"\"",
      "'",
      "\"",
      "\"640\"",
      "'x",
      "",
      " ",
      "RG32",
      "rg24",
      "yuy2",
      "YVYU",
      "uyvy",
      "HDYC ",
      "RG3",
      "YUY2X",
      "NV12",
      "i420",
      "#",
      "=",
      "[",
      "]",
      std::string(300, '9'),
      std::string(300, 'a'),
      std::string(258, 'b') + "\"",
      "\"" + std::string(259, 'c') + "\"",
      "\"" + std::string(260, 'd') + "\"",
      std::string("1\0"
                  "2",
                  3),
      "\x1a",
      "\xff\xfe",
  };
}

std::string RandomCase(std::string text, Rng& rng) {
  for (char& c : text) {
    if (rng.OneIn(3))
      c = char(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : (c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c));
  }
  return text;
}

std::string RandomBlanks(Rng& rng) {
  static const char* const kBlanks[] = {"", "", "", " ", "\t", "  ", "\v", "\f", "\x1a"};
  return rng.Pick(kBlanks);
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos <= text.size()) {
    const size_t end = text.find('\n', pos);
    if (end == std::string::npos) {
      lines.push_back(text.substr(pos));
      break;
    }
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
  return lines;
}

std::string JoinLines(const std::vector<std::string>& lines, Rng& rng) {
  static const char* const kEnds[] = {"\n", "\n", "\n", "\r\n", "\r"};
  const char* end = rng.Pick(kEnds);
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) {
    text += lines[i];
    if (i + 1 < lines.size())
      text += end;
  }
  return text;
}

// One change a person or a damaged disk could make to a settings file.
void MutateSettingsText(std::string& text, Rng& rng) {
  static const std::vector<std::string> extremes = ExtremeValues();
  if (rng.OneIn(4)) {
    std::vector<uint8_t> bytes(text.begin(), text.end());
    zdrobust::MutateOnce(bytes, rng);
    text.assign(bytes.begin(), bytes.end());
    return;
  }
  std::vector<std::string> lines = SplitLines(text);
  const size_t at = rng.Below(lines.size() + 1);
  switch (rng.Below(6)) {
    case 0: {  // a value replaced by an extreme one
      if (lines.empty())
        break;
      std::string& line = lines[rng.Below(lines.size())];
      const size_t equals = line.find('=');
      if (equals != std::string::npos)
        line = line.substr(0, equals + 1) + RandomBlanks(rng) + rng.Pick(extremes);
      break;
    }
    case 1: {  // a known key with an extreme value
      // One draw per statement, so that every compiler makes the same line.
      std::string line = RandomBlanks(rng);
      line += RandomCase(rng.Pick(kKeys), rng);
      line += RandomBlanks(rng);
      line += "=";
      line += RandomBlanks(rng);
      line += rng.Pick(extremes);
      line += RandomBlanks(rng);
      lines.insert(lines.begin() + ptrdiff_t(at), line);
      break;
    }
    case 2: {  // a section header, sometimes malformed
      std::string line = rng.OneIn(8) ? "" : "[";
      line += RandomBlanks(rng);
      line += RandomCase(rng.Pick(kSections), rng);
      line += RandomBlanks(rng);
      line += rng.OneIn(8) ? "" : "]";
      lines.insert(lines.begin() + ptrdiff_t(at), line);
      break;
    }
    case 3:  // a line repeated
      if (!lines.empty())
        lines.insert(lines.begin() + ptrdiff_t(at), rng.Pick(lines));
      break;
    case 4:  // a line lost
      if (!lines.empty())
        lines.erase(lines.begin() + ptrdiff_t(rng.Below(lines.size())));
      break;
    default:  // an enabled numbered section
      lines.insert(lines.begin() + ptrdiff_t(at), "enable=1");
      lines.insert(lines.begin() + ptrdiff_t(at),
                   "[PRESET_0" + std::to_string(1 + rng.Below(9)) + "]");
      break;
  }
  text = JoinLines(lines, rng);
}

bool IsTerminated(const char* text, size_t size) {
  return std::memchr(text, '\0', size) != nullptr;
}

bool IsOfferedFormat(uint32_t compression, int32_t bitCount) {
  const struct {
    uint32_t compression;
    int32_t bitCount;
  } formats[] = {{0, 32},           {0, 24},           {0x32595559u, 16}, {0x55595659u, 16},
                 {0x59565955u, 16}, {0x43594448u, 16}, {0x3231564Eu, 12}, {0x30323449u, 12}};
  for (const auto& f : formats) {
    if (f.compression == compression && f.bitCount == bitCount)
      return true;
  }
  return false;
}

// What the media types, buffer sizes and the frame loop rely on after loading.
::testing::AssertionResult TableIsSound(const StreamSettings& s) {
  if (s.m_presetNum < 1 || s.m_presetNum > kMaxPresetNum)
    return ::testing::AssertionFailure() << "preset count " << s.m_presetNum;
  if (!s.m_presetTable)
    return ::testing::AssertionFailure() << "no preset table";
  if (s.m_buffNum < 1)
    return ::testing::AssertionFailure() << "buff_num " << s.m_buffNum;
  if (!IsTerminated(s.m_latencyLog, sizeof s.m_latencyLog))
    return ::testing::AssertionFailure() << "latency log name without terminator";
  for (int32_t i = 0; i < s.m_presetNum; ++i) {
    const PresetInfo& p = s.m_presetTable[size_t(i)];
    auto fail = [&]() { return ::testing::AssertionFailure() << "preset " << i << ": "; };
    if (p.w % 2 != 0 || p.w < kMinFrameWidth || p.w > kMaxFrameSide)
      return fail() << "w " << p.w;
    if (p.h % 2 != 0 || p.h < kMinFrameHeight || p.h > kMaxFrameSide)
      return fail() << "h " << p.h;
    if (p.scroll_x % 2 != 0 || p.scroll_x < -kMaxScrollStep || p.scroll_x > kMaxScrollStep)
      return fail() << "scroll_x " << p.scroll_x;
    if (p.scroll_y % 2 != 0 || p.scroll_y < -kMaxScrollStep || p.scroll_y > kMaxScrollStep)
      return fail() << "scroll_y " << p.scroll_y;
    if (p.interlaced < 0 || p.interlaced > 2)
      return fail() << "interlaced " << p.interlaced;
    if (!IsOfferedFormat(p.compression, p.bit_count))
      return fail() << "format " << p.compression << "/" << p.bit_count;
    // Interlaced 4:2:0 pairs the rows of each field: a height of whole groups of 4.
    if (p.bit_count == 12 && p.interlaced != 0 && p.h % 4 != 0)
      return fail() << "interlaced 4:2:0 h " << p.h;
    if (p.frame_time <= 0)
      return fail() << "frame_time " << p.frame_time;
    if (!(p.enable == 1 || (p.enable == 0 && s.m_presetNum == 1)))
      return fail() << "enable " << p.enable;
    if (!IsTerminated(p.bmp, sizeof p.bmp) || !IsTerminated(p.font, sizeof p.font) ||
        !IsTerminated(p.comment, sizeof p.comment)) {
      return fail() << "a text without terminator";
    }
  }
  return ::testing::AssertionSuccess();
}

TEST(SettingsRobustness, EverySeedTextLoadsIntoASoundTable) {
  for (const std::string& text : SeedTexts()) {
    g_settingsText = text;
    StreamSettings settings;
    ASSERT_TRUE(settings.LoadSettings("unused.ini", &ReadFromSettingsText));
    EXPECT_TRUE(TableIsSound(settings));
  }
  // The shipped file was found: its presets are many.
  g_settingsText = SeedTexts()[0];
  StreamSettings shipped;
  ASSERT_TRUE(shipped.LoadSettings("unused.ini", &ReadFromSettingsText));
  EXPECT_GT(shipped.m_presetNum, 10);
}

TEST(SettingsRobustness, DamagedSettingsAlwaysGiveASoundPresetTable) {
  const zdrobust::SeededRounds rounds(0x1F1, 1500);
  uint32_t several = 0;
  for (uint32_t i = 0; i < rounds.Count(); ++i) {
    Rng rng = rounds.RngOf(i);
    std::string text = rng.Pick(SeedTexts());
    for (uint64_t n = 1 + rng.Below(6); n > 0; --n)
      MutateSettingsText(text, rng);
    g_settingsText = text;
    StreamSettings settings;
    ASSERT_TRUE(settings.LoadSettings("unused.ini", &ReadFromSettingsText)) << rounds.Describe(i);
    ASSERT_TRUE(TableIsSound(settings)) << rounds.Describe(i);
    if (settings.m_presetNum > 1)
      ++several;
  }
  // Most damaged files still hold several presets: the checks saw real tables.
  EXPECT_GT(several, rounds.Count() / 4);
}

TEST(SettingsRobustness, DamagedSettingsFilesLoadSoundlyThroughThePlatformReader) {
  // Fewer rounds: the Windows build reads these through the system's reader.
  const zdrobust::SeededRounds rounds(0xF11E, 40);
  TempFolder folder;
  for (uint32_t i = 0; i < rounds.Count(); ++i) {
    Rng rng = rounds.RngOf(i);
    std::string text = rng.Pick(SeedTexts());
    for (uint64_t n = 1 + rng.Below(6); n > 0; --n)
      MutateSettingsText(text, rng);
    const std::string path = folder.Write(kSettingsFileName, text);
    StreamSettings settings;
    ASSERT_TRUE(settings.LoadSettings(path)) << rounds.Describe(i);
    ASSERT_TRUE(TableIsSound(settings)) << rounds.Describe(i);
  }
}

// ---- The INI reader on any text ----

// Random text built from the pieces the reader gives meaning to.
std::string RandomIniText(Rng& rng) {
  static const char* const kPieces[] = {
      "[",    "]",  "=",  "\"",           "'",    ";",      " ",    "\t",   "\r",  "\n",  "\r\n",
      "\x1a", "\v", "\f", "\xEF\xBB\xBF", "MAIN", "main",   "w",    "W",    "fcc", "key", "KEY",
      "a",    "1",  "-",  "[MAIN]",       "[x]",  "=\"v\"", "='q'", "\xff",
  };
  std::string text;
  for (uint64_t n = rng.Below(120); n > 0; --n) {
    if (rng.OneIn(10)) {
      text.push_back(char(rng.Next()));
    } else if (rng.OneIn(30)) {
      text.push_back('\0');
    } else {
      text += rng.Pick(kPieces);
    }
  }
  return text;
}

const char* const kQueryNames[] = {"MAIN",
                                   "main",
                                   " Main\t",
                                   "",
                                   "x",
                                   "X ",
                                   "key",
                                   "w",
                                   "fcc",
                                   "a",
                                   "1",
                                   "[MAIN]",
                                   "a=b",
                                   "KEY",
                                   ("\x1a"
                                    "key")};

std::string Upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z')
      c = char(c - 'a' + 'A');
  }
  return text;
}

TEST(IniRobustness, AnyTextGivesAValueFromTheTextOrTheDefaultWithinTheBuffer) {
  const zdrobust::SeededRounds rounds(0x1A1, 4000);
  const size_t kBufferSizes[] = {0, 1, 2, 3, 5, 260, 4096};
  for (uint32_t i = 0; i < rounds.Count(); ++i) {
    Rng rng = rounds.RngOf(i);
    std::string text = RandomIniText(rng);
    if (rng.OneIn(3)) {
      text = rng.Pick(SeedTexts());
      MutateSettingsText(text, rng);
    }
    const std::string section = rng.Pick(kQueryNames);
    const std::string key = rng.Pick(kQueryNames);
    const std::string whole =
        ReadProfileStringFromText(section.c_str(), key.c_str(), "DEFAULT", 1 << 20, text);
    // The value is a piece of the text (quotes and blanks taken off), or the default.
    ASSERT_TRUE(whole == "DEFAULT" || text.find(whole) != std::string::npos)
        << rounds.Describe(i) << ": \"" << whole << "\"";
    for (size_t bufferSize : kBufferSizes) {
      // A smaller buffer gives the same value cut to bufferSize - 1 characters.
      const std::string cut =
          ReadProfileStringFromText(section.c_str(), key.c_str(), "DEFAULT", bufferSize, text);
      ASSERT_EQ(cut, whole.substr(0, bufferSize ? bufferSize - 1 : 0))
          << rounds.Describe(i) << ", buffer " << bufferSize;
    }
    // Names match without regard to case and surrounding blanks.
    ASSERT_EQ(ReadProfileStringFromText((" " + Upper(section) + "\t").c_str(), Upper(key).c_str(),
                                        "DEFAULT", 1 << 20, text),
              whole)
        << rounds.Describe(i);
    // A section added at the end changes nothing before it.
    ASSERT_EQ(ReadProfileStringFromText(section.c_str(), key.c_str(), "DEFAULT", 1 << 20,
                                        text + "\n[zz appended]\nkey=1\nw=2\n"),
              whole)
        << rounds.Describe(i);
    // A byte order mark in front changes nothing.
    if (text.compare(0, 3, "\xEF\xBB\xBF") != 0) {
      ASSERT_EQ(ReadProfileStringFromText(section.c_str(), key.c_str(), "DEFAULT", 1 << 20,
                                          "\xEF\xBB\xBF" + text),
                whole)
          << rounds.Describe(i);
    }
  }
}

TEST(IniRobustness, NullNamesAndDefaultsGiveTheDefault) {
  const std::string text = "[MAIN]\nw=1\n";
  EXPECT_EQ(ReadProfileStringFromText(nullptr, "w", "d ", 16, text), "d");
  EXPECT_EQ(ReadProfileStringFromText("MAIN", nullptr, "d", 16, text), "d");
  EXPECT_EQ(ReadProfileStringFromText("MAIN", "h", nullptr, 16, text), "");
  EXPECT_EQ(ReadProfileStringFromText(nullptr, nullptr, nullptr, 0, text), "");
}

TEST(IniRobustness, AFileReadsAsItsTextInMemory) {
  const zdrobust::SeededRounds rounds(0xF17E, 60);
  TempFolder folder;
  for (uint32_t i = 0; i < rounds.Count(); ++i) {
    Rng rng = rounds.RngOf(i);
    std::string text = rng.OneIn(2) ? RandomIniText(rng) : rng.Pick(SeedTexts());
    MutateSettingsText(text, rng);
    const std::string path = folder.Write("random.ini", text);
    for (int q = 0; q < 8; ++q) {
      const char* section = rng.Pick(kQueryNames);
      const char* key = rng.Pick(kQueryNames);
      ASSERT_EQ(ReadProfileStringPortable(section, key, "DEFAULT", 300, path),
                ReadProfileStringFromText(section, key, "DEFAULT", 300, text))
          << rounds.Describe(i);
    }
  }
}

}  // namespace
