// zd-preview: renders frames of a preset the way the filter would stream them,
// into PNG pictures, a Y4M stream or raw sample bytes, without Windows or the
// media framework. The settings file's folder stands in for the module's
// folder, so the bitmaps are found beside it as the filter finds them. The
// clock is simulated and runs at exactly the preset's frame rate: every frame
// is on time, none is dropped, and the status line shows the times a
// capturing application would see. The simulated graph has a reference clock
// unless --no-graph-clock says otherwise, so that with "auto_clock" set the
// information line names the clock a real host's frames show.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "pattern/frame_producer.h"
#include "pattern/pixel_format.h"
#include "platform/module_path.h"
#include "platform/source_bitmap.h"
#include "stream/stream_settings.h"
#include "pattern/simulated_frame_host.h"
#include "tools/preview/frame_image.h"
#include "tools/preview/image_files.h"
#include "tools/preview/preview_stream.h"

namespace {

using zdpreview::FrameView;

constexpr int32_t kMaxSide = 16384;

struct Options {
  std::string ini;
  int preset = 1;
  long frames = 1;
  long first = 0;
  std::string out;
  std::string format = "png";
  bool list = false;
  bool graphClock = true;
  int frameCode = -1;  // -1: as the settings file says
};

void Usage(std::FILE* to) {
  std::fputs(
      "usage: zd-preview --ini PATH [--preset N] [--frames N] [--first N]\n"
      "                  [--format png|raw|y4m] [--out PATTERN] [--no-graph-clock]\n"
      "                  [--frame-code 0|1]\n"
      "       zd-preview --ini PATH --list\n"
      "\n"
      "  --ini PATH     settings file; its folder holds the bitmaps it names\n"
      "  --list         print the presets of the settings file and stop\n"
      "  --preset N     preset to render, 1 = the first in the table (default 1)\n"
      "  --frames N     frames to write (default 1)\n"
      "  --first N      number of the first frame written; the frames before it\n"
      "                 are made too, so that counters and scrolling match (default 0)\n"
      "  --format F     png: one picture per frame, the right way up (4:2:2 frames\n"
      "                 converted back to RGB approximately);\n"
      "                 raw: the sample bytes exactly as delivered (RGB bottom-up);\n"
      "                 y4m: one YUV4MPEG2 stream, 4:2:2 formats as C422, RGB\n"
      "                 formats converted to C444 (default png)\n"
      "  --out PATTERN  output file; \"%d\" or \"%04d\" is replaced by the frame\n"
      "                 number (default frame%04d.png, frames.raw, frames.y4m).\n"
      "                 Several PNG frames need a number in the name; raw frames\n"
      "                 without one are written one after another into one file.\n"
      "  --no-graph-clock  stream as in a graph without a reference clock (a host\n"
      "                 that runs its graph unclocked, like zd-capture --no-clock):\n"
      "                 frames are paced by the performance counter (\"CPU Clock\")\n"
      "                 even with auto_clock set. By default the graph has a clock,\n"
      "                 and with auto_clock set its stream time paces the frames\n"
      "                 (\"Stream Time\"); with auto_clock=0 it makes no difference.\n"
      "  --frame-code 0|1  draw the frame code (1) or not (0), whatever the settings\n"
      "                 file's frame_code says (default: as the file says)\n",
      to);
}

bool ParseCount(const char* text, long minimum, long* out) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (!*text || *end || v < minimum || v > 100000000L)
    return false;
  *out = v;
  return true;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "zd-preview: %s\n", message.c_str());
  return 1;
}

bool ParseOptions(int argc, char** argv, Options* o, std::string* error) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](const char** v) {
      if (i + 1 >= argc) {
        *error = arg + " needs a value";
        return false;
      }
      *v = argv[++i];
      return true;
    };
    const char* v = nullptr;
    long n = 0;
    if (arg == "--list") {
      o->list = true;
    } else if (arg == "--no-graph-clock") {
      o->graphClock = false;
    } else if (arg == "--frame-code") {
      if (!value(&v))
        return false;
      if (std::strcmp(v, "0") != 0 && std::strcmp(v, "1") != 0) {
        *error = std::string("--frame-code is 0 or 1, not \"") + v + "\"";
        return false;
      }
      o->frameCode = v[0] - '0';
    } else if (arg == "--ini") {
      if (!value(&v))
        return false;
      o->ini = v;
    } else if (arg == "--preset") {
      if (!value(&v))
        return false;
      if (!ParseCount(v, 1, &n)) {
        *error = std::string("--preset wants a number from 1, not \"") + v + "\"";
        return false;
      }
      o->preset = int(n);
    } else if (arg == "--frames") {
      if (!value(&v))
        return false;
      if (!ParseCount(v, 1, &o->frames)) {
        *error = std::string("--frames wants a number from 1, not \"") + v + "\"";
        return false;
      }
    } else if (arg == "--first") {
      if (!value(&v))
        return false;
      if (!ParseCount(v, 0, &o->first)) {
        *error = std::string("--first wants a number from 0, not \"") + v + "\"";
        return false;
      }
    } else if (arg == "--out") {
      if (!value(&v))
        return false;
      o->out = v;
    } else if (arg == "--format") {
      if (!value(&v))
        return false;
      o->format = v;
      if (o->format != "png" && o->format != "raw" && o->format != "y4m") {
        *error = "--format is png, raw or y4m, not \"" + o->format + "\"";
        return false;
      }
    } else {
      *error = "unknown option \"" + arg + "\"";
      return false;
    }
  }
  if (o->ini.empty()) {
    *error = "--ini PATH is required";
    return false;
  }
  return true;
}

std::string Text(const char (&field)[kPresetTextSize]) {
  return std::string(field, strnlen(field, kPresetTextSize));
}

void ListPresets(const StreamSettings& s) {
  for (int32_t i = 0; i < s.m_presetNum; ++i) {
    const PresetInfo& p = s.m_presetTable[size_t(i)];
    const double fps = p.frame_time > 0 ? 10000000.0 / double(p.frame_time) : 0.0;
    std::printf("%3d: %dx%d%s %s %.3f fps scroll %d,%d bmp \"%s\" font \"%s\" comment \"%s\"\n",
                int(i + 1), int(p.w), int(p.h), p.interlaced ? "i" : "p",
                FormatName(p.compression, p.bit_count), fps, int(p.scroll_x), int(p.scroll_y),
                Text(p.bmp).c_str(), Text(p.font).c_str(), Text(p.comment).c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  std::string error;
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    Usage(stdout);
    return 0;
  }
  if (!ParseOptions(argc, argv, &opt, &error)) {
    std::fprintf(stderr, "zd-preview: %s\n\n", error.c_str());
    Usage(stderr);
    return 2;
  }

  std::error_code ec;
  if (!std::filesystem::is_regular_file(opt.ini, ec)) {
    return Fail("settings file not found: " + opt.ini);
  }
  const std::string moduleDir =
      std::filesystem::absolute(opt.ini, ec).parent_path().lexically_normal().string();
  SetModuleDirectoryOverride(moduleDir);

  StreamSettings settings;
  if (!settings.LoadSettings(opt.ini) || settings.m_presetNum < 1 || !settings.m_presetTable) {
    return Fail("could not read the presets of " + opt.ini + " (too many presets?)");
  }
  if (opt.frameCode >= 0)
    settings.m_frameCode = opt.frameCode;
  if (opt.list) {
    ListPresets(settings);
    return 0;
  }
  if (opt.preset > settings.m_presetNum) {
    return Fail("preset " + std::to_string(opt.preset) + " does not exist: " + opt.ini + " has " +
                std::to_string(settings.m_presetNum) + " (see --list)");
  }
  const PresetInfo preset = settings.m_presetTable[size_t(opt.preset - 1)];
  if (preset.w <= 0 || preset.h <= 0 || preset.w > kMaxSide || preset.h > kMaxSide) {
    return Fail("preset " + std::to_string(opt.preset) + " has an unusable size " +
                std::to_string(preset.w) + "x" + std::to_string(preset.h));
  }
  if (!IsSupportedFormat(preset.compression, preset.bit_count)) {
    return Fail("preset " + std::to_string(opt.preset) + " has an unsupported pixel format");
  }

  // Say why a stream would not start, or would show no background.
  SourceBitmap image;
  const std::string fontName = Text(preset.font);
  if (fontName.empty()) {
    return Fail("preset " + std::to_string(opt.preset) +
                " names no font sheet (\"font\"): the filter would not start streaming");
  }
  const std::string fontPath = JoinModulePath(moduleDir, fontName);
  if (!LoadSourceBitmap(fontPath, &image)) {
    return Fail("font sheet \"" + fontName + "\" could not be loaded from " + fontPath +
                " (missing, unreadable, or not a 24- or 32-bit BMP): the filter would not start "
                "streaming");
  }
  const std::string bmpName = Text(preset.bmp);
  if (bmpName.empty()) {
    std::fprintf(
        stderr, "zd-preview: note: preset %d names no background bitmap; the background is blank\n",
        opt.preset);
  } else if (!LoadSourceBitmap(JoinModulePath(moduleDir, bmpName), &image)) {
    std::fprintf(stderr,
                 "zd-preview: warning: background \"%s\" could not be loaded from %s; the "
                 "background is blank, as the filter would show it\n",
                 bmpName.c_str(), JoinModulePath(moduleDir, bmpName).c_str());
  }
  image = SourceBitmap();

  // With "mouse_cursol" set, the marker shows at a fixed spot, as if the mouse
  // rested at screen position (40, 30).
  zdpreview::PreviewStream stream(opt.graphClock);
  const HResultCode started = stream.Start(preset, settings, moduleDir, opt.preset - 1);
  if (started != kS_OK) {
    return Fail("the stream could not be prepared (result 0x" + [&] {
      char hex[16];
      std::snprintf(hex, sizeof hex, "%08X", unsigned(started));
      return std::string(hex);
    }() + "): the bitmaps could not be converted");
  }

  std::string pattern = opt.out;
  if (pattern.empty()) {
    pattern = opt.format == "png"   ? "frame%04d.png"
              : opt.format == "raw" ? "frames.raw"
                                    : "frames.y4m";
  }
  std::string path;
  bool numbered = false;
  if (!zdpreview::ExpandPattern(pattern, uint32_t(opt.first), &path, &numbered)) {
    return Fail("--out \"" + pattern + "\": only one %d (like %04d) is allowed in the name");
  }
  if (opt.format == "png" && opt.frames > 1 && !numbered) {
    return Fail("--out \"" + pattern + "\" needs a frame number such as %04d to hold " +
                std::to_string(opt.frames) + " PNG pictures");
  }

  const uint32_t frameBytes = zdtest::FrameBytes(preset.w, preset.h, preset.bit_count);
  zdtest::FakeSample sample(frameBytes);
  const FrameView view{
      sample.memory.data(), frameBytes / uint32_t(preset.h), preset.w, preset.h, preset.compression,
      preset.bit_count};

  zdpreview::Y4mWriter y4m;
  std::FILE* raw = nullptr;
  if (opt.format == "y4m") {
    int64_t num = 0, den = 1;
    zdpreview::FrameRateOf(preset.frame_time, &num, &den);
    if (!y4m.Open(path, preset.w, preset.h, num, den, zdpreview::Y4mInterlace(preset),
                  !IsRgbFormat(preset.compression))) {
      return Fail("cannot write " + path);
    }
  } else if (opt.format == "raw" && !numbered) {
    raw = std::fopen(path.c_str(), "wb");
    if (!raw)
      return Fail("cannot write " + path);
  }

  const long last = opt.first + opt.frames;
  int status = 0;
  for (long k = 0; k < last && status == 0; ++k) {
    const HResultCode hr = stream.MakeFrame(&sample);
    if (hr != kS_OK) {
      status = Fail("frame " + std::to_string(k) + " was not made");
      break;
    }
    if (k < opt.first)
      continue;
    if (numbered)
      zdpreview::ExpandPattern(pattern, uint32_t(k), &path, &numbered);
    bool written = true;
    if (opt.format == "png") {
      const std::vector<uint8_t> rgb = zdpreview::ToRgb(view);
      written = zdpreview::WritePng(path, preset.w, preset.h, rgb.data());
    } else if (opt.format == "y4m") {
      written = y4m.WriteFrame(zdpreview::ToPlanar(view));
    } else if (raw) {
      written = std::fwrite(sample.memory.data(), 1, frameBytes, raw) == frameBytes;
    } else {
      std::FILE* f = std::fopen(path.c_str(), "wb");
      written = f && std::fwrite(sample.memory.data(), 1, frameBytes, f) == frameBytes;
      if (f)
        written = (std::fclose(f) == 0) && written;
    }
    if (!written)
      status = Fail("cannot write " + path);
  }
  stream.Stop();
  if (raw && std::fclose(raw) != 0 && status == 0)
    status = Fail("cannot write " + path);
  if (!y4m.Close() && status == 0)
    status = Fail("cannot write " + path);
  if (status == 0) {
    std::printf("%ld frame(s) of preset %d (%s) written\n", opt.frames, opt.preset,
                stream.Producer().m_infoLine);
  }
  return status;
}
