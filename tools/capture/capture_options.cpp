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

// An option without a value: it sets one switch.
struct Flag {
  const char* name;
  bool CaptureOptions::*field;
};

constexpr Flag kFlags[] = {
    {"-h", &CaptureOptions::help},
    {"--help", &CaptureOptions::help},
    {"--version", &CaptureOptions::version},
    {"--list-devices", &CaptureOptions::list_devices},
    {"--list-caps", &CaptureOptions::list_caps},
    {"--json", &CaptureOptions::json},
    {"--no-clock", &CaptureOptions::no_clock},
    {"--verify", &CaptureOptions::verify},
    {"--reconnect", &CaptureOptions::reconnect},
    {"--mf", &CaptureOptions::mf},
};

// An option with a value in the next argument; false when the value is invalid.
struct ValueOption {
  const char* name;
  bool (*store)(const std::string& text, CaptureOptions* o);
};

bool StoreText(const std::string& text, std::string* field) {
  *field = text;
  return !text.empty();
}

const ValueOption kValueOptions[] = {
    {"--device", [](const std::string& t, CaptureOptions* o) { return StoreText(t, &o->device); }},
    {"--cap", [](const std::string& t, CaptureOptions* o) { return ParseInt(t, 0, &o->cap); }},
    {"--size",
     [](const std::string& t, CaptureOptions* o) { return ParseSize(t, &o->width, &o->height); }},
    {"--format", [](const std::string& t, CaptureOptions* o) { return StoreText(t, &o->format); }},
    {"--fps",
     [](const std::string& t, CaptureOptions* o) { return ParsePositiveDouble(t, &o->fps); }},
    {"--frames",
     [](const std::string& t, CaptureOptions* o) { return ParseInt(t, 1, &o->frames); }},
    {"--seconds",
     [](const std::string& t, CaptureOptions* o) { return ParsePositiveDouble(t, &o->seconds); }},
    {"--snapshot",
     [](const std::string& t, CaptureOptions* o) { return StoreText(t, &o->snapshot); }},
    {"--snapshot-frame",
     [](const std::string& t, CaptureOptions* o) { return ParseInt(t, 0, &o->snapshot_frame); }},
    {"--dump-frames",
     [](const std::string& t, CaptureOptions* o) { return StoreText(t, &o->dump_dir); }},
    {"--raw", [](const std::string& t, CaptureOptions* o) { return StoreText(t, &o->raw_path); }},
    {"--module", [](const std::string& t, CaptureOptions* o) { return StoreText(t, &o->module); }},
    {"--mf-device",
     [](const std::string& t, CaptureOptions* o) { return StoreText(t, &o->mf_device); }},
};

// The table row of the option named arg, or null.
template <class Row, size_t N>
const Row* FindOption(const Row (&table)[N], const std::string& arg) {
  for (const Row& row : table)
    if (arg == row.name)
      return &row;
  return nullptr;
}

// Options that exclude or need each other.
bool CheckCombinations(const CaptureOptions& o, std::string* error) {
  if (o.cap >= 0 && (o.width > 0 || !o.format.empty() || o.fps > 0.0)) {
    *error = "--cap cannot be combined with --size, --format or --fps";
    return false;
  }
  if (!o.mf_device.empty() && !o.module.empty()) {
    *error = "--mf-device cannot be combined with --module";
    return false;
  }
  if (!o.mf_device.empty() && (o.list_devices || o.no_clock || o.device != kDefaultDevice)) {
    *error = "--mf-device cannot be combined with --list-devices, --no-clock or --device";
    return false;
  }
  if (!o.module.empty() && !o.mf) {
    *error = "--module needs --mf";
    return false;
  }
  if (o.mf && (o.list_devices || o.no_clock || o.device != kDefaultDevice)) {
    *error = "--mf cannot be combined with --list-devices, --no-clock or --device";
    return false;
  }
  if (o.reconnect && (o.mf || !o.mf_device.empty())) {
    *error = "--reconnect cannot be combined with --mf or --mf-device";
    return false;
  }
  if (o.snapshot_frame >= 0 && o.snapshot.empty()) {
    *error = "--snapshot-frame needs --snapshot";
    return false;
  }
  return true;
}

}  // namespace

bool ParseCaptureOptions(const std::vector<std::string>& args, CaptureOptions* options,
                         std::string* error) {
  CaptureOptions result;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (const Flag* flag = FindOption(kFlags, arg)) {
      result.*(flag->field) = true;
      continue;
    }
    const ValueOption* option = FindOption(kValueOptions, arg);
    if (!option) {
      *error = "unknown argument '" + arg + "' (see --help)";
      return false;
    }
    if (i + 1 >= args.size()) {
      *error = arg + " needs a value";
      return false;
    }
    const std::string& text = args[++i];
    if (!option->store(text, &result)) {
      *error = "invalid value for " + arg + ": '" + text + "'";
      return false;
    }
  }
  if (!CheckCombinations(result, error))
    return false;
  if (!result.mf_device.empty())
    result.mf = true;
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
         "                          (F: RGB24, RGB32, YUY2, YVYU, UYVY, HDYC, NV12, I420)\n"
         "  --no-clock              run the graph without a reference clock\n"
         "  --frames N              stop after N frames\n"
         "  --seconds S             stop after S seconds (default 3 when no --frames)\n"
         "  --snapshot PATH         save one frame as a 24-bit BMP\n"
         "  --snapshot-frame K      the frame to save (default: the last one)\n"
         "  --dump-frames DIR       write every frame, as delivered, to DIR/frame_NNNNN.raw\n"
         "  --raw PATH              write every frame, as delivered, into one file\n"
         "  --verify                read every sample's frame code (the source's\n"
         "                          frame_code=1) and report frames missing, repeated,\n"
         "                          out of order and codes that cannot be read\n"
         "  --reconnect             when the device is removed, wait for it to return\n"
         "                          (EC_DEVICE_LOST), build the graph anew and go on\n"
         "  --mf                    read the frames through Media Foundation's source\n"
         "                          reader from the module's media source (no\n"
         "                          registration needed; --list-caps lists its types)\n"
         "  --module PATH           the module for --mf (default: ZintuDobrel64.ax\n"
         "                          beside zd-capture)\n"
         "  --mf-device NAME        read a camera Media Foundation lists, by its name\n"
         "                          (the Windows 11 virtual camera: \"" ZD_FRIENDLY_NAME
         "\")\n"
         "  --json                  print the report as JSON\n"
         "  --version               print the version and exit\n"
         "exit codes: 0 ok, 1 usage, 2 device not found, 3 format selection failed,\n"
         "  4 graph building failed, 5 streaming failed, 6 output file failed,\n"
         "  7 stream check failed (time stamps, sample sizes or frame count),\n"
         "  8 frame code check failed (--verify; the stream check passed),\n"
         "  9 the device was removed and had not come back when the run ended\n";
}

}  // namespace zdcap
