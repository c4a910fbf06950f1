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
#include "pattern/mjpg_encoder.h"
#include "pattern/pixel_format.h"
#include "platform/module_path.h"
#include "platform/source_bitmap.h"
#include "stream/stream_settings.h"
#include "pattern/simulated_frame_host.h"
#include "tools/preview/frame_image.h"
#include "tools/preview/image_files.h"
#include "tools/common/jpeg_decode.h"
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
      "                  [--format png|raw|y4m|mjpg] [--out PATTERN] [--no-graph-clock]\n"
      "                  [--frame-code 0|1|2]\n"
      "       zd-preview --ini PATH --list\n"
      "\n"
      "  --ini PATH     settings file; its folder holds the bitmaps it names\n"
      "  --list         print the presets of the settings file and stop\n"
      "  --preset N     preset to render, 1 = the first in the table (default 1)\n"
      "  --frames N     frames to write (default 1)\n"
      "  --first N      number of the first frame written; the frames before it\n"
      "                 are made too, so that counters and scrolling match (default 0)\n"
      "  --format F     png: one picture per frame, the right way up (YUV frames\n"
      "                 converted back to RGB approximately);\n"
      "                 raw: the sample bytes exactly as delivered (RGB bottom-up,\n"
      "                 NV12 and I420 as their packed planes, MJPG the JPEG bytes);\n"
      "                 mjpg (MJPG presets): the JPEGs one after another, a\n"
      "                 stream FFmpeg reads (-f mjpeg); PNG pictures of MJPG are\n"
      "                 the JPEGs decoded (JFIF full range);\n"
      "                 y4m: one YUV4MPEG2 stream, 4:2:2 formats as C422, NV12 and\n"
      "                 I420 as C420jpeg, RGB formats converted to C444 (default png)\n"
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
      "  --frame-code 0|1|2  draw the frame code (1; 2: layout 2, with the settings'\n"
      "                 fingerprint) or not (0), whatever the settings\n"
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
    // A count of at least minimum in the next argument.
    auto count = [&](long minimum, long* out) {
      const char* v = nullptr;
      if (!value(&v))
        return false;
      if (!ParseCount(v, minimum, out)) {
        *error = arg + " wants a number from " + std::to_string(minimum) + ", not \"" + v + "\"";
        return false;
      }
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
      if (std::strcmp(v, "0") != 0 && std::strcmp(v, "1") != 0 && std::strcmp(v, "2") != 0) {
        *error = std::string("--frame-code is 0, 1 or 2, not \"") + v + "\"";
        return false;
      }
      o->frameCode = v[0] - '0';
    } else if (arg == "--ini") {
      if (!value(&v))
        return false;
      o->ini = v;
    } else if (arg == "--preset") {
      if (!count(1, &n))
        return false;
      o->preset = int(n);
    } else if (arg == "--frames") {
      if (!count(1, &o->frames))
        return false;
    } else if (arg == "--first") {
      if (!count(0, &o->first))
        return false;
    } else if (arg == "--out") {
      if (!value(&v))
        return false;
      o->out = v;
    } else if (arg == "--format") {
      if (!value(&v))
        return false;
      o->format = v;
      if (o->format != "png" && o->format != "raw" && o->format != "y4m" && o->format != "mjpg") {
        *error = "--format is png, raw, y4m or mjpg, not \"" + o->format + "\"";
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

template <size_t N>
std::string Text(const char (&field)[N]) {
  return std::string(field, strnlen(field, N));
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

bool AsksForHelp(int argc, char** argv) {
  return argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0);
}

// Reads the settings file; its folder stands in for the module's folder.
bool LoadPresets(const Options& opt, StreamSettings* settings, std::string* moduleDir) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(opt.ini, ec)) {
    Fail("settings file not found: " + opt.ini);
    return false;
  }
  *moduleDir = std::filesystem::absolute(opt.ini, ec).parent_path().lexically_normal().string();
  SetModuleDirectoryOverride(*moduleDir);
  if (!settings->LoadSettings(opt.ini) || settings->m_presetNum < 1 || !settings->m_presetTable) {
    Fail("could not read the presets of " + opt.ini + " (too many presets?)");
    return false;
  }
  if (opt.frameCode >= 0)
    settings->m_frameCode = opt.frameCode;
  return true;
}

// The preset asked for, when it exists and has a size and format the
// preview can render.
bool ChoosePreset(const Options& opt, const StreamSettings& settings, PresetInfo* preset) {
  if (opt.preset > settings.m_presetNum) {
    Fail("preset " + std::to_string(opt.preset) + " does not exist: " + opt.ini + " has " +
         std::to_string(settings.m_presetNum) + " (see --list)");
    return false;
  }
  *preset = settings.m_presetTable[size_t(opt.preset - 1)];
  if (preset->w <= 0 || preset->h <= 0 || preset->w > kMaxSide || preset->h > kMaxSide) {
    Fail("preset " + std::to_string(opt.preset) + " has an unusable size " +
         std::to_string(preset->w) + "x" + std::to_string(preset->h));
    return false;
  }
  if (!IsSupportedFormat(preset->compression, preset->bit_count)) {
    Fail("preset " + std::to_string(opt.preset) + " has an unsupported pixel format");
    return false;
  }
  // JPEG streams and raw pictures do not mix.
  const bool mjpg = IsMjpgFormat(preset->compression);
  if (mjpg && opt.format == "y4m") {
    Fail("preset " + std::to_string(opt.preset) + " is MJPG: --format mjpg, png or raw, not y4m");
    return false;
  }
  if (!mjpg && opt.format == "mjpg") {
    Fail("--format mjpg is for MJPG presets; preset " + std::to_string(opt.preset) + " is " +
         FormatName(preset->compression, preset->bit_count));
    return false;
  }
  return true;
}

// Says why a stream would not start (no usable font sheet: false), or would
// show no background (a note or a warning only).
bool CheckBitmaps(const Options& opt, const PresetInfo& preset, const std::string& moduleDir) {
  SourceBitmap image;
  const std::string fontName = Text(preset.font);
  if (fontName.empty()) {
    Fail("preset " + std::to_string(opt.preset) +
         " names no font sheet (\"font\"): the filter would not start streaming");
    return false;
  }
  const std::string fontPath = JoinModulePath(moduleDir, fontName);
  if (!LoadSourceBitmap(fontPath, &image)) {
    Fail("font sheet \"" + fontName + "\" could not be loaded from " + fontPath +
         " (missing, unreadable, or not a 24- or 32-bit BMP): the filter would not start "
         "streaming");
    return false;
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
  return true;
}

// Prepares the stream as the filter does at its first pause. With
// "mouse_cursol" set, the marker shows at a fixed spot, as if the mouse
// rested at screen position (40, 30).
bool StartStream(zdpreview::PreviewStream* stream, const PresetInfo& preset,
                 const StreamSettings& settings, const std::string& moduleDir, int capIndex) {
  const HResultCode started = stream->Start(preset, settings, moduleDir, capIndex);
  if (started == kS_OK)
    return true;
  char hex[16];
  std::snprintf(hex, sizeof hex, "%08X", unsigned(started));
  Fail(std::string("the stream could not be prepared (result 0x") + hex +
       "): the bitmaps could not be converted");
  return false;
}

// Where the frames go: one file per frame (PNG, or raw with a number in the
// name), one raw file for all of them, or one Y4M stream.
struct Output {
  std::string pattern;
  std::string path;  // the current frame's file
  bool numbered = false;
  zdpreview::Y4mWriter y4m;
  std::FILE* raw = nullptr;  // all raw frames, when the name has no number

  Output() = default;
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;
  ~Output() {
    if (raw)
      std::fclose(raw);
  }
  // Closes the files; false when a write failed.
  bool Close() {
    bool ok = true;
    if (raw)
      ok = std::fclose(raw) == 0;
    raw = nullptr;
    return y4m.Close() && ok;
  }
};

std::string DefaultPattern(const std::string& format) {
  return format == "png"    ? "frame%04d.png"
         : format == "raw"  ? "frames.raw"
         : format == "mjpg" ? "frames.mjpg"
                            : "frames.y4m";
}

// Resolves the output name and opens the files that hold every frame.
bool OpenOutput(const Options& opt, const PresetInfo& preset, Output* out) {
  out->pattern = opt.out.empty() ? DefaultPattern(opt.format) : opt.out;
  if (!zdpreview::ExpandPattern(out->pattern, uint32_t(opt.first), &out->path, &out->numbered)) {
    Fail("--out \"" + out->pattern + "\": only one %d (like %04d) is allowed in the name");
    return false;
  }
  if (opt.format == "png" && opt.frames > 1 && !out->numbered) {
    Fail("--out \"" + out->pattern + "\" needs a frame number such as %04d to hold " +
         std::to_string(opt.frames) + " PNG pictures");
    return false;
  }
  if (opt.format == "y4m") {
    int64_t num = 0, den = 1;
    zdpreview::FrameRateOf(preset.frame_time, &num, &den);
    if (!out->y4m.Open(out->path, preset.w, preset.h, num, den, zdpreview::Y4mInterlace(preset),
                       zdpreview::Y4mChroma(preset.compression))) {
      Fail("cannot write " + out->path);
      return false;
    }
  } else if ((opt.format == "raw" || opt.format == "mjpg") && !out->numbered) {
    out->raw = std::fopen(out->path.c_str(), "wb");
    if (!out->raw) {
      Fail("cannot write " + out->path);
      return false;
    }
  }
  return true;
}

bool WriteRawFile(const std::string& path, const uint8_t* bytes, uint32_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  bool written = f && std::fwrite(bytes, 1, size, f) == size;
  if (f)
    written = (std::fclose(f) == 0) && written;
  return written;
}

// A sample that keeps its data length (an MJPG frame's JPEG length).
class LengthSample : public zd::SimulatedSample {
 public:
  using zd::SimulatedSample::SimulatedSample;
  void SetActualDataLength(uint32_t length) override { actualLength = length; }
  uint32_t actualLength = 0;
};

// Writes frame k in the chosen format; false when it could not be written.
bool WriteFrame(const Options& opt, const FrameView& view, uint32_t frameBytes, long k,
                Output* out) {
  if (out->numbered)
    zdpreview::ExpandPattern(out->pattern, uint32_t(k), &out->path, &out->numbered);
  if (opt.format == "png" && IsMjpgFormat(view.compression)) {
    zdtools::JpegPicture picture;
    std::string error;
    if (!zdtools::DecodeJpeg(view.data, frameBytes, true, &picture, &error)) {
      Fail("frame " + std::to_string(k) + ": " + error);
      return false;
    }
    std::vector<uint8_t> rgb(picture.bgr.size());
    for (size_t i = 0; i + 2 < rgb.size(); i += 3) {
      rgb[i] = picture.bgr[i + 2];
      rgb[i + 1] = picture.bgr[i + 1];
      rgb[i + 2] = picture.bgr[i];
    }
    return zdpreview::WritePng(out->path, picture.width, picture.height, rgb.data());
  }
  if (opt.format == "png") {
    const std::vector<uint8_t> rgb = zdpreview::ToRgb(view);
    return zdpreview::WritePng(out->path, view.w, view.h, rgb.data());
  }
  if (opt.format == "y4m")
    return out->y4m.WriteFrame(zdpreview::ToPlanar(view));
  if (out->raw)
    return std::fwrite(view.data, 1, frameBytes, out->raw) == frameBytes;
  return WriteRawFile(out->path, view.data, frameBytes);
}

// Makes frames 0 to first + frames - 1 and writes those from first on.
// 0, or 1 after saying what failed.
int RenderFrames(const Options& opt, const PresetInfo& preset, zdpreview::PreviewStream* stream,
                 Output* out) {
  // MJPG: a buffer of the encoder's worst case, of which each frame fills
  // its JPEG's length.
  const bool mjpg = IsMjpgFormat(preset.compression);
  const uint32_t sampleBytes = IsPlanarFormat(preset.compression)
                                   ? uint32_t(PlanarFrameBytes(preset.w, preset.h))
                               : mjpg ? uint32_t(MjpgWorstCaseBytes(preset.w, preset.h))
                                      : zd::FrameSizeBytes(preset.w, preset.h, preset.bit_count);
  LengthSample sample(sampleBytes);
  const FrameView view{sample.memory.data(),
                       sampleBytes / uint32_t(preset.h),
                       preset.w,
                       preset.h,
                       preset.compression,
                       preset.bit_count};
  const long last = opt.first + opt.frames;
  for (long k = 0; k < last; ++k) {
    if (stream->MakeFrame(&sample) != kS_OK || (mjpg && sample.actualLength == 0))
      return Fail("frame " + std::to_string(k) + " was not made");
    const uint32_t frameBytes = mjpg ? sample.actualLength : sampleBytes;
    if (k >= opt.first && !WriteFrame(opt, view, frameBytes, k, out))
      return Fail("cannot write " + out->path);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (AsksForHelp(argc, argv)) {
    Usage(stdout);
    return 0;
  }
  Options opt;
  std::string error;
  if (!ParseOptions(argc, argv, &opt, &error)) {
    std::fprintf(stderr, "zd-preview: %s\n\n", error.c_str());
    Usage(stderr);
    return 2;
  }
  StreamSettings settings;
  std::string moduleDir;
  if (!LoadPresets(opt, &settings, &moduleDir))
    return 1;
  if (opt.list) {
    ListPresets(settings);
    return 0;
  }
  PresetInfo preset{};
  if (!ChoosePreset(opt, settings, &preset) || !CheckBitmaps(opt, preset, moduleDir))
    return 1;
  zdpreview::PreviewStream stream(opt.graphClock);
  if (!StartStream(&stream, preset, settings, moduleDir, opt.preset - 1))
    return 1;
  Output out;
  if (!OpenOutput(opt, preset, &out))
    return 1;
  int status = RenderFrames(opt, preset, &stream, &out);
  stream.Stop();
  if (!out.Close() && status == 0)
    status = Fail("cannot write " + out.path);
  if (status == 0) {
    std::printf("%ld frame(s) of preset %d (%s) written\n", opt.frames, opt.preset,
                stream.Producer().m_infoLine);
  }
  return status;
}
