// Reading ZintuDobrel.ini into the stream-wide switches and the preset table.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "pattern/pixel_format.h"
#include "platform/module_path.h"
#include "platform/profile_reader.h"
#include "stream/stream_settings.h"

namespace {

// Every value but "fcc" counts with up to 259 characters.
constexpr size_t kValueChars = kPresetTextSize - 1;
// "fcc" counts with its first four characters only.
constexpr size_t kFourccChars = 4;
// Comes back when a text key is absent; an empty value is a value.
constexpr const char* kAbsentMarker = "\x01";

constexpr int64_t kDefaultFrameTime = 333667;
// "frame_time" values from here on are durations, below it frame rates.
constexpr int32_t kSmallestDuration = 1000;

bool IsScanBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

size_t SkipBlanks(const std::string& text) {
  size_t pos = 0;
  while (pos < text.size() && IsScanBlank(text[pos]))
    ++pos;
  return pos;
}

// A decimal integer as "%d" scans it: leading blanks, an optional sign and the
// digits; the rest is ignored. False when there are no digits. Values beyond
// the 32-bit range are held at its ends.
bool ScanInt(const std::string& text, int32_t* value) {
  size_t pos = SkipBlanks(text);
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  if (pos >= text.size() || text[pos] < '0' || text[pos] > '9')
    return false;
  int64_t magnitude = 0;
  for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
    if (magnitude <= INT32_MAX)
      magnitude = magnitude * 10 + (text[pos] - '0');
  }
  const int64_t signedValue = negative ? -magnitude : magnitude;
  *value = signedValue > INT32_MAX   ? INT32_MAX
           : signedValue < INT32_MIN ? INT32_MIN
                                     : int32_t(signedValue);
  return true;
}

// A single-precision number as "%f" scans it (decimal or exponent form, also
// "inf" and "nan"). False when no number is found. Numbers beyond the float
// range give false as well: as rates they would come to 0 or overflow anyway.
bool ScanFloat(const std::string& text, float* value) {
  size_t pos = SkipBlanks(text);
  if (pos < text.size() && text[pos] == '+') {
    ++pos;
    if (pos < text.size() && text[pos] == '-')
      return false;
  }
  const char* first = text.data() + pos;
  const char* last = text.data() + text.size();
  float parsed = 0.0f;
  const std::from_chars_result result = std::from_chars(first, last, parsed);
  if (result.ec != std::errc() || result.ptr == first)
    return false;
  *value = parsed;
  return true;
}

bool SameFourcc(const std::string& text, const char* name) {
  if (text.size() != std::strlen(name))
    return false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c >= 'a' && c <= 'z')
      c = char(c - 'a' + 'A');
    if (c != name[i])
      return false;
  }
  return true;
}

template <size_t N>
void CopyText(const std::string& text, char (&target)[N]) {
  const size_t length = text.size() < N - 1 ? text.size() : N - 1;
  std::memset(target, 0, sizeof target);
  std::memcpy(target, text.data(), length);
}

// Reads the keys of one file: file names through the name reader, everything
// else through the text reader.
class SettingsReader {
 public:
  SettingsReader(const std::string& path, ProfileReaderFn reader, ProfileReaderFn nameReader)
      : m_path(path), m_reader(reader), m_nameReader(nameReader) {}

  // An absent, empty or digit-less value keeps the target.
  void ReadInt(const char* section, const char* key, int32_t* target) const {
    const std::string text = Read(section, key, "", kValueChars);
    int32_t value = 0;
    if (!text.empty() && ScanInt(text, &value))
      *target = value;
  }

  // An absent key keeps the target; any value, the empty one included, replaces it.
  void ReadText(const char* section, const char* key, char (&target)[kPresetTextSize]) const {
    const std::string text = Read(section, key, kAbsentMarker, kValueChars);
    if (text != kAbsentMarker)
      CopyText(text, target);
  }

  // A file name: as a text key, but in the form of paths (UTF-8) and cut to
  // 259 characters as the platform counts them.
  void ReadName(const char* section, const char* key, char (&target)[kPresetNameSize]) const {
    std::string name = m_nameReader(section, key, kAbsentMarker, kValueChars + 2, m_path);
    if (name == kAbsentMarker)
      return;
    CutPathName(&name, kValueChars);
    CopyText(name, target);
  }

  // One of the format names (the six packed, NV12, I420) sets compression
  // and bit count; anything
  // else keeps the inherited format.
  void ReadFourcc(const char* section, PresetInfo* preset) const {
    const std::string text = Read(section, "fcc", kAbsentMarker, kFourccChars);
    if (text == kAbsentMarker)
      return;
    for (const PixelFormatInfo& format : kPixelFormats) {
      if (SameFourcc(text, format.name)) {
        preset->compression = format.compression;
        preset->bit_count = format.bitCount;
        return;
      }
    }
  }

  // A duration in 100-ns units (1000 or more) or a frame rate. A rate that
  // gives no positive duration (0, negative, so large that the duration is
  // below one unit, not a number) keeps the inherited duration.
  void ReadFrameTime(const char* section, int64_t* frameTime) const {
    const std::string text = Read(section, "frame_time", "", kValueChars);
    if (text.empty())
      return;
    int32_t whole = 0;
    if (!ScanInt(text, &whole))
      whole = 0;
    if (whole >= kSmallestDuration) {
      *frameTime = whole;
      return;
    }
    float rate = 0.0f;
    if (!ScanFloat(text, &rate) || rate == 0.0f)
      return;
    const double duration = 10000000.0 / double(rate);
    if (!(duration >= 1.0) || duration >= 9.0e18)
      return;
    *frameTime = int64_t(duration);
  }

  // The keys that "PRESET_DEF" and the numbered sections share.
  void ReadPresetKeys(const char* section, PresetInfo* preset) const {
    ReadInt(section, "w", &preset->w);
    ReadInt(section, "h", &preset->h);
    ReadInt(section, "interlaced", &preset->interlaced);
    ReadName(section, "bmp", preset->bmp);
    ReadName(section, "font", preset->font);
    ReadInt(section, "scroll_x", &preset->scroll_x);
    ReadInt(section, "scroll_y", &preset->scroll_y);
    ReadInt(section, "jpeg_quality", &preset->jpeg_quality);
    ReadFaultKeys(section, &preset->faults);
  }

  void ReadFaultKeys(const char* section, FaultSettings* faults) const {
    ReadInt(section, "fault_loss_every", &faults->loss_every);
    ReadInt(section, "fault_repeat_every", &faults->repeat_every);
    ReadInt(section, "fault_reorder_every", &faults->reorder_every);
    ReadInt(section, "fault_jitter_ms", &faults->jitter_ms);
    ReadInt(section, "fault_jitter_seed", &faults->jitter_seed);
    ReadInt(section, "fault_stall_ms", &faults->stall_ms);
    ReadInt(section, "fault_stall_every", &faults->stall_every);
    ReadInt(section, "fault_no_time_every", &faults->no_time_every);
    ReadInt(section, "fault_freeze_frames", &faults->freeze_frames);
    ReadInt(section, "fault_freeze_every", &faults->freeze_every);
    ReadInt(section, "fault_jpeg_truncate_every", &faults->jpeg_truncate_every);
    ReadInt(section, "fault_jpeg_truncate_percent", &faults->jpeg_truncate_percent);
    ReadInt(section, "fault_jpeg_no_eoi_every", &faults->jpeg_no_eoi_every);
    ReadInt(section, "fault_jpeg_corrupt_every", &faults->jpeg_corrupt_every);
    ReadInt(section, "fault_jpeg_no_tables_every", &faults->jpeg_no_tables_every);
    ReadInt(section, "fault_jpeg_trailing_every", &faults->jpeg_trailing_every);
    ReadInt(section, "fault_empty_every", &faults->empty_every);
    ReadInt(section, "fault_short_every", &faults->short_every);
    ReadInt(section, "fault_short_percent", &faults->short_percent);
    ReadInt(section, "fault_unplug_after", &faults->unplug_after);
    ReadInt(section, "fault_replug_ms", &faults->replug_ms);
  }

 private:
  // At most keepChars characters of the value. The reader is given two more
  // than that: a system reader that drops the last character of a quoted value
  // filling its buffer exactly then still yields the first keepChars whole.
  std::string Read(const char* section, const char* key, const char* defaultValue,
                   size_t keepChars) const {
    std::string value = m_reader(section, key, defaultValue, keepChars + 2, m_path);
    if (value.size() > keepChars)
      value.resize(keepChars);
    return value;
  }

  const std::string& m_path;
  ProfileReaderFn m_reader;
  ProfileReaderFn m_nameReader;
};

// Made even (odd values grow by one), at least the minimum when compared
// unsigned; then held within minimum..kMaxFrameSide, so that a negative or
// absurd side never reaches a buffer size.
int32_t NormaliseSide(int32_t side, int32_t minimum) {
  uint32_t value = uint32_t(side);
  if (value & 1u)
    value += 1u;
  if (value < uint32_t(minimum))
    value = uint32_t(minimum);
  if (value > uint32_t(kMaxFrameSide))
    return side < 0 ? minimum : kMaxFrameSide;
  return int32_t(value);
}

// Made even away from zero, then held within -kMaxScrollStep..kMaxScrollStep.
int32_t NormaliseScroll(int32_t step) {
  int64_t value = step;
  if (value % 2 != 0)
    value += value > 0 ? 1 : -1;
  if (value > kMaxScrollStep)
    value = kMaxScrollStep;
  if (value < -kMaxScrollStep)
    value = -kMaxScrollStep;
  return int32_t(value);
}

void NormalisePreset(PresetInfo* preset) {
  preset->jpeg_quality = ClampJpegQuality(preset->jpeg_quality);
  preset->w = NormaliseSide(preset->w, kMinFrameWidth);
  preset->h = NormaliseSide(preset->h, kMinFrameHeight);
  preset->scroll_x = NormaliseScroll(preset->scroll_x);
  preset->scroll_y = NormaliseScroll(preset->scroll_y);
  if (uint32_t(preset->interlaced) > 2u)
    preset->interlaced = 0;
  // Interlaced 4:2:0 pairs the rows of each field for its chroma: each field
  // needs an even number of rows, the frame a multiple of 4 (rounded up, as
  // the even rule rounds; 16384 is a multiple of 4).
  if (IsPlanarFormat(preset->compression) && preset->interlaced != 0 && preset->h % 4 != 0)
    preset->h += 2;
  NormaliseFaults(&preset->faults);
}

int32_t AtLeastZero(int32_t value) {
  return value > 0 ? value : 0;
}

int32_t AtMost(int32_t value, int32_t limit) {
  return value < limit ? value : limit;
}

int32_t KeepPercent(int32_t value) {
  if (value == 0)
    return kSampleKeepPercentDefault;
  return value < kSampleKeepPercentMin   ? kSampleKeepPercentMin
         : value > kSampleKeepPercentMax ? kSampleKeepPercentMax
                                         : value;
}

}  // namespace

void NormaliseFaults(FaultSettings* f) {
  f->loss_every = AtLeastZero(f->loss_every);
  f->repeat_every = AtLeastZero(f->repeat_every);
  // A frame is swapped with the next one: the next one is never swapped itself.
  f->reorder_every = f->reorder_every == 1 ? 2 : AtLeastZero(f->reorder_every);
  f->jitter_ms = AtMost(AtLeastZero(f->jitter_ms), kMaxJitterMs);
  f->stall_ms = AtMost(AtLeastZero(f->stall_ms), kMaxStallMs);
  f->stall_every = AtLeastZero(f->stall_every);
  if (f->stall_ms == 0 || f->stall_every == 0)
    f->stall_ms = f->stall_every = 0;
  f->no_time_every = AtLeastZero(f->no_time_every);
  // At least one frame between two freezes advances the time stamps again.
  f->freeze_every = f->freeze_every == 1 ? 2 : AtLeastZero(f->freeze_every);
  f->freeze_frames = AtLeastZero(f->freeze_frames);
  if (f->freeze_frames >= f->freeze_every)
    f->freeze_frames = f->freeze_every - 1;
  if (f->freeze_frames == 0 || f->freeze_every == 0)
    f->freeze_frames = f->freeze_every = 0;
  f->jpeg_truncate_every = AtLeastZero(f->jpeg_truncate_every);
  f->jpeg_truncate_percent = KeepPercent(f->jpeg_truncate_percent);
  f->jpeg_no_eoi_every = AtLeastZero(f->jpeg_no_eoi_every);
  f->jpeg_corrupt_every = AtLeastZero(f->jpeg_corrupt_every);
  f->jpeg_no_tables_every = AtLeastZero(f->jpeg_no_tables_every);
  f->jpeg_trailing_every = AtLeastZero(f->jpeg_trailing_every);
  f->empty_every = AtLeastZero(f->empty_every);
  f->short_every = AtLeastZero(f->short_every);
  f->short_percent = KeepPercent(f->short_percent);
  f->unplug_after = AtLeastZero(f->unplug_after);
  f->replug_ms = f->unplug_after ? AtMost(AtLeastZero(f->replug_ms), kMaxReplugMs) : 0;
}

PresetInfo DefaultPreset() {
  PresetInfo preset = {};
  preset.w = 320;
  preset.h = 240;
  preset.compression = 0;
  preset.bit_count = 32;
  preset.frame_time = kDefaultFrameTime;
  return preset;
}

bool StreamSettings::LoadSettings(const std::string& iniPath) {
  return LoadSettings(iniPath, &ReadProfileString, &ReadProfileName);
}

bool StreamSettings::LoadSettings(const std::string& iniPath, ProfileReaderFn reader,
                                  ProfileReaderFn nameReader) {
  m_buffNum = 2;
  m_presetNum = 1;
  m_useVideoInfoHeader2 = 0;
  m_autoClock = 0;
  m_mouseCursol = 0;
  m_frameCode = 0;
  m_exclusive = 0;
  std::memset(m_latencyLog, 0, sizeof m_latencyLog);
  std::memset(m_faultLog, 0, sizeof m_faultLog);
  m_presetTable.reset();
  if (!reader) {
    reader = &ReadProfileString;
    nameReader = &ReadProfileName;
  }
  const SettingsReader settings(iniPath, reader, nameReader ? nameReader : reader);

  settings.ReadInt("MAIN", "buff_num", &m_buffNum);
  // The trailing blank is the key's historical spelling; the reader ignores it.
  settings.ReadInt("MAIN", "preset_num ", &m_presetNum);
  settings.ReadInt("MAIN", "use_video_info_header2", &m_useVideoInfoHeader2);
  settings.ReadInt("MAIN", "auto_clock", &m_autoClock);
  settings.ReadInt("MAIN", "mouse_cursol", &m_mouseCursol);
  settings.ReadInt("MAIN", "frame_code", &m_frameCode);
  settings.ReadInt("MAIN", "exclusive", &m_exclusive);
  settings.ReadName("MAIN", "latency_log", m_latencyLog);
  settings.ReadName("MAIN", "fault_log", m_faultLog);
  if (m_buffNum < 1)
    m_buffNum = 1;
  if (m_presetNum < 1)
    m_presetNum = 1;
  if (m_presetNum > kMaxPresetNum)
    m_presetNum = kMaxPresetNum;

  PresetInfo defaults = DefaultPreset();
  settings.ReadPresetKeys("PRESET_DEF", &defaults);
  settings.ReadFourcc("PRESET_DEF", &defaults);
  settings.ReadFrameTime("PRESET_DEF", &defaults.frame_time);

  const int32_t sectionCount = m_presetNum;
  m_presetTable.reset(new (std::nothrow) PresetInfo[size_t(sectionCount)]());
  if (!m_presetTable) {
    m_presetNum = 0;
    return false;
  }

  int32_t filled = 0;
  for (int32_t n = 1; n <= sectionCount; ++n) {
    char section[24];  // "PRESET_" and up to 11 characters of number
    std::snprintf(section, sizeof section, "PRESET_%02d", int(n));
    int32_t enable = 0;
    settings.ReadInt(section, "enable", &enable);
    if (enable != 1)
      continue;
    PresetInfo& preset = m_presetTable[size_t(filled++)];
    preset = defaults;
    preset.enable = 1;
    settings.ReadPresetKeys(section, &preset);
    settings.ReadText(section, "comment", preset.comment);
    settings.ReadFourcc(section, &preset);
    settings.ReadFrameTime(section, &preset.frame_time);
  }

  if (filled == 0) {
    m_presetTable[0] = defaults;
    m_presetTable[0].enable = 0;
    filled = 1;
  }
  m_presetNum = filled;
  for (int32_t i = 0; i < m_presetNum; ++i)
    NormalisePreset(&m_presetTable[size_t(i)]);
  return true;
}

PresetInfo StreamSettings::FirstPreset() const {
  if (!m_presetTable || m_presetNum < 1)
    return DefaultPreset();
  return m_presetTable[0];
}

std::string SettingsFilePath() {
  // Without a known module folder there is no settings file to read: the
  // loader then takes every default.
  const std::string directory = ModuleDirectory();
  if (directory.empty())
    return std::string();
  return JoinModulePath(directory, kSettingsFileName);
}
