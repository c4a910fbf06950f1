#pragma once
// Command line of zd-capture.
#include <string>
#include <vector>

#include "resources/product_names.h"

namespace zdcap {

constexpr const char* kDefaultDevice = kFriendlyName;
constexpr double kDefaultSeconds = 3.0;

struct CaptureOptions {
  bool help = false;
  bool version = false;
  bool list_devices = false;
  bool list_caps = false;
  bool json = false;
  // Run the graph without a reference clock (IMediaFilter::SetSyncSource
  // with none), as hosts that want frames as soon as they are made do; the
  // renderer then holds no sample back until its time stamp is due.
  bool no_clock = false;
  // Read every sample's frame code and check the run by the codes.
  bool verify = false;
  // When the device is removed (EC_DEVICE_LOST, 0), wait for its return
  // (EC_DEVICE_LOST, 1), build the graph anew with a new filter and go on
  // counting frames.
  bool reconnect = false;
  // Read the frames through Media Foundation's source reader from the
  // module's media source, created by class id through the module's own
  // DllGetClassObject (no registration needed).
  bool mf = false;
  // The module file for --mf; empty: the 64-bit module beside zd-capture.
  std::string module;
  // --mf-device: a Media Foundation camera opened by its name through
  // MFEnumDeviceSources instead of the module's source (implies --mf).
  std::string mf_device;
  std::string device = kDefaultDevice;
  // Capability selection: an index, or a size/format/rate to match. Unset
  // values (-1, 0, empty) leave the device's current format.
  int cap = -1;
  int width = 0;
  int height = 0;
  std::string format;
  double fps = 0.0;
  // Run length: a frame count, a duration, or both (whichever comes first).
  // Neither gives kDefaultSeconds.
  int frames = 0;
  double seconds = 0.0;
  std::string snapshot;
  int snapshot_frame = -1;  // -1: the last frame received
  std::string dump_dir;
  std::string raw_path;
};

// Parses the arguments after the program name. On failure returns false with
// a message naming the offending argument.
bool ParseCaptureOptions(const std::vector<std::string>& args, CaptureOptions* options,
                         std::string* error);

const char* CaptureUsage();

}  // namespace zdcap
