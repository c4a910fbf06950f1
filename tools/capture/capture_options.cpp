#include "tools/capture/capture_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace zdcap {
namespace {

bool ParseInt(const std::string& text, int min_value, int* out) {
  if (text.empty())
    return false;
  errno = 0;
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || value < min_value || value > 0x7fffffffL)
    return false;
  *out = static_cast<int>(value);
  return true;
}

bool ParsePositiveDouble(const std::string& text, double* out) {
  if (text.empty())
    return false;
  errno = 0;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (errno != 0 || *end != '\0' || !std::isfinite(value) || value <= 0.0)
    return false;
  *out = value;
  return true;
}

// "640x480" (either separator case).
bool ParseSize(const std::string& text, int* width, int* height) {
  const size_t x = text.find_first_of("xX");
  if (x == std::string::npos)
    return false;
  return ParseInt(text.substr(0, x), 1, width) && ParseInt(text.substr(x + 1), 1, height);
}

}  // namespace

bool ParseCaptureOptions(const std::vector<std::string>& args, CaptureOptions* options,
                         std::string* error) {
  CaptureOptions result;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    // Options that take a value read it from the next argument.
    auto value = [&](std::string* out) {
      if (i + 1 >= args.size()) {
        *error = arg + " needs a value";
        return false;
      }
      *out = args[++i];
      return true;
    };
    auto bad = [&](const std::string& text) {
      *error = "invalid value for " + arg + ": '" + text + "'";
      return false;
    };
    std::string text;
    if (arg == "-h" || arg == "--help") {
      result.help = true;
    } else if (arg == "--version") {
      result.version = true;
    } else if (arg == "--list-devices") {
      result.list_devices = true;
    } else if (arg == "--list-caps") {
      result.list_caps = true;
    } else if (arg == "--json") {
      result.json = true;
    } else if (arg == "--no-clock") {
      result.no_clock = true;
    } else if (arg == "--device") {
      if (!value(&result.device))
        return false;
      if (result.device.empty())
        return bad(result.device);
    } else if (arg == "--cap") {
      if (!value(&text))
        return false;
      if (!ParseInt(text, 0, &result.cap))
        return bad(text);
    } else if (arg == "--size") {
      if (!value(&text))
        return false;
      if (!ParseSize(text, &result.width, &result.height))
        return bad(text);
    } else if (arg == "--format") {
      if (!value(&result.format))
        return false;
      if (result.format.empty())
        return bad(result.format);
    } else if (arg == "--fps") {
      if (!value(&text))
        return false;
      if (!ParsePositiveDouble(text, &result.fps))
        return bad(text);
    } else if (arg == "--frames") {
      if (!value(&text))
        return false;
      if (!ParseInt(text, 1, &result.frames))
        return bad(text);
    } else if (arg == "--seconds") {
      if (!value(&text))
        return false;
      if (!ParsePositiveDouble(text, &result.seconds))
        return bad(text);
    } else if (arg == "--snapshot") {
      if (!value(&result.snapshot))
        return false;
      if (result.snapshot.empty())
        return bad(result.snapshot);
    } else if (arg == "--snapshot-frame") {
      if (!value(&text))
        return false;
      if (!ParseInt(text, 0, &result.snapshot_frame))
        return bad(text);
    } else if (arg == "--dump-frames") {
      if (!value(&result.dump_dir))
        return false;
      if (result.dump_dir.empty())
        return bad(result.dump_dir);
    } else if (arg == "--raw") {
      if (!value(&result.raw_path))
        return false;
      if (result.raw_path.empty())
        return bad(result.raw_path);
    } else {
      *error = "unknown argument '" + arg + "' (see --help)";
      return false;
    }
  }
  if (result.cap >= 0 && (result.width > 0 || !result.format.empty() || result.fps > 0.0)) {
    *error = "--cap cannot be combined with --size, --format or --fps";
    return false;
  }
  if (result.snapshot_frame >= 0 && result.snapshot.empty()) {
    *error = "--snapshot-frame needs --snapshot";
    return false;
  }
  if (result.frames == 0 && result.seconds == 0.0)
    result.seconds = kDefaultSeconds;
  *options = result;
  return true;
}

const char* CaptureUsage() {
  return "usage: zd-capture [options]\n"
         "  --list-devices          list the video capture devices and exit\n"
         "  --device NAME           device to open (default \"" ZD_FRIENDLY_NAME
         "\")\n"
         "  --list-caps             list the device's capabilities and exit\n"
         "  --cap N                 select capability N before connecting\n"
         "  --size WxH --format F --fps R\n"
         "                          select the first capability that matches them\n"
         "                          (F: RGB24, RGB32, YUY2, YVYU, UYVY, HDYC)\n"
         "  --no-clock              run the graph without a reference clock\n"
         "  --frames N              stop after N frames\n"
         "  --seconds S             stop after S seconds (default 3 when no --frames)\n"
         "  --snapshot PATH         save one frame as a 24-bit BMP\n"
         "  --snapshot-frame K      the frame to save (default: the last one)\n"
         "  --dump-frames DIR       write every frame, as delivered, to DIR/frame_NNNNN.raw\n"
         "  --raw PATH              write every frame, as delivered, into one file\n"
         "  --json                  print the report as JSON\n"
         "  --version               print the version and exit\n"
         "exit codes: 0 ok, 1 usage, 2 device not found, 3 format selection failed,\n"
         "  4 graph building failed, 5 streaming failed, 6 output file failed,\n"
         "  7 stream check failed (time stamps, sample sizes or frame count)\n";
}

}  // namespace zdcap
