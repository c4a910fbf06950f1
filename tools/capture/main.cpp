// zd-capture: a command-line capture host. Lists the video capture devices
// and their capabilities, captures from one through the capture graph
// builder and reports what arrived: frame count, time-stamp order, arrival
// spacing and lateness, and the process's processor time.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "tools/capture/capture_options.h"
#include "tools/capture/capture_report.h"
#include "tools/capture/capture_session.h"
#include "tools/capture/com_util.h"
#include "tools/capture/devices.h"
#include "tools/capture/mf_capture.h"
#include "resources/product_names.h"
#include "tools/capture/utf8_files.h"

using namespace zdcap;

namespace {

int ListDevices(const CaptureOptions& options) {
  std::vector<DeviceEntry> devices;
  const HRESULT hr = ListVideoDevices(&devices);
  if (FAILED(hr)) {
    std::fprintf(stderr, "zd-capture: cannot enumerate the video capture devices (%s)\n",
                 HresultText(hr).c_str());
    return kExitNoDevice;
  }
  if (options.json) {
    std::string out = "{\n  \"devices\": [";
    for (size_t i = 0; i < devices.size(); ++i) {
      out += (i ? ",\n    " : "\n    ");
      out += "{\"name\": " + JsonString(devices[i].name) +
             ", \"clsid\": " + JsonString(devices[i].clsid) + "}";
    }
    out += devices.empty() ? "]\n}\n" : "\n  ]\n}\n";
    std::fputs(out.c_str(), stdout);
    return kExitOk;
  }
  if (devices.empty()) {
    std::puts("No video capture devices are registered.");
    return kExitOk;
  }
  for (const DeviceEntry& device : devices)
    std::printf("%s\n", device.name.c_str());
  return kExitOk;
}

void PrintKnownDevices() {
  std::vector<DeviceEntry> devices;
  if (FAILED(ListVideoDevices(&devices)) || devices.empty()) {
    std::fputs("  (no video capture devices are registered)\n", stderr);
    return;
  }
  std::fputs("  devices present:\n", stderr);
  for (const DeviceEntry& device : devices)
    std::fprintf(stderr, "    %s\n", device.name.c_str());
}

// --mf: the module's media source through Media Foundation's source reader.
int RunMf(const CaptureOptions& options) {
  if (options.list_caps)
    return ListMfCapabilities(options);
  CaptureReport report;
  std::string error;
  const int code = RunMfCapture(options, &report, &error);
  if (code != kExitOk && code != kExitCheck && code != kExitVerify) {
    std::fprintf(stderr, "zd-capture: %s\n", error.c_str());
    if (code != kExitStream && code != kExitOutput)
      return code;
  }
  const std::string text = options.json ? FormatReportJson(report) : FormatReportText(report);
  std::fputs(text.c_str(), stdout);
  std::fflush(stdout);  // before Media Foundation's threads wind down at exit
  return code;
}

}  // namespace

// Arguments (device names, file and folder paths) arrive wide and are kept as
// UTF-8; what is printed is UTF-8 too.
int Run(const std::vector<std::string>& args) {
  CaptureOptions options;
  std::string error;
  if (!ParseCaptureOptions(args, &options, &error)) {
    std::fprintf(stderr, "zd-capture: %s\n%s", error.c_str(), CaptureUsage());
    return kExitUsage;
  }
  if (options.help) {
    std::fputs(CaptureUsage(), stdout);
    return kExitOk;
  }
  if (options.version) {
    std::puts("zd-capture " ZD_VERSION_TEXT " (" ZD_ARCHITECTURE ")");
    return kExitOk;
  }
  // A single-threaded apartment, as user-interface capture applications use.
  ComApartment apartment(COINIT_APARTMENTTHREADED);
  if (FAILED(apartment.Result())) {
    std::fprintf(stderr, "zd-capture: COM initialisation failed (%s)\n",
                 HresultText(apartment.Result()).c_str());
    return kExitGraph;
  }
  if (options.list_devices)
    return ListDevices(options);
  if (options.mf)
    return RunMf(options);

  ComPtr<IBaseFilter> source;
  const HRESULT hr = OpenVideoDevice(options.device, &source);
  if (FAILED(hr)) {
    std::fprintf(stderr, "zd-capture: cannot open '%s' (%s)\n", options.device.c_str(),
                 HresultText(hr).c_str());
    return kExitNoDevice;
  }
  if (!source) {
    std::fprintf(stderr, "zd-capture: no video capture device named '%s'\n",
                 options.device.c_str());
    PrintKnownDevices();
    return kExitNoDevice;
  }
  if (options.list_caps)
    return ListSourceCapabilities(source.Get(), options);

  CaptureReport report;
  const int code = RunCaptureSession(source.Get(), options, &report, &error);
  if (code != kExitOk && code != kExitCheck && code != kExitVerify && code != kExitDeviceLost) {
    std::fprintf(stderr, "zd-capture: %s\n", error.c_str());
    if (code != kExitStream && code != kExitOutput)
      return code;
  }
  const std::string text = options.json ? FormatReportJson(report) : FormatReportText(report);
  std::fputs(text.c_str(), stdout);
  return code;
}

int wmain(int argc, wchar_t** argv) {
  try {
    const Utf8Console console;
    return Run(Utf8Arguments(argc, argv));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zd-capture: %s\n", e.what());
    return kExitStream;
  }
}
