#include "tools/capture/mf_capture.h"

#include <windows.h>
#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "baseclasses/com_ptr.h"
#include "tools/capture/capture_session.h"
#include "tools/capture/com_util.h"
#include "tools/capture/utf8_files.h"
#include "tools/vcam/vcam_parameters.h"

namespace zdcap {
namespace {

// The media source's class id (server/guids.cpp).
const CLSID kMediaSourceClass = {
    0x2f270e13, 0x5c19, 0x4715, {0xaa, 0xc6, 0x34, 0xef, 0x95, 0x57, 0xd3, 0xcb}};

// The media source's own type attribute: the preset its frames' code names
// (mediasource/mf_media_types.h, kZdCodePresetAttribute).
const GUID kCodePresetAttribute = {
    0x26d60840, 0x9026, 0x49d9, {0xb7, 0xe7, 0xfd, 0x85, 0xc6, 0xa3, 0xdd, 0x8f}};

// Media Foundation's functions, loaded at run time.
struct MfFunctions {
  decltype(&::MFStartup) Startup = nullptr;
  decltype(&::MFShutdown) Shutdown = nullptr;
  decltype(&::MFCreateAttributes) CreateAttributes = nullptr;
  decltype(&::MFCreateSourceReaderFromMediaSource) CreateReader = nullptr;
  decltype(&::MFEnumDeviceSources) EnumDeviceSources = nullptr;  // mf.dll, for --mf-device
};

template <class Fn>
bool Resolve(HMODULE library, const char* name, Fn* out) {
  *out = library ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name)))
                 : nullptr;
  return *out != nullptr;
}

bool LoadMf(MfFunctions* mf) {
  const HMODULE plat = LoadLibraryW(L"mfplat.dll");
  const HMODULE readwrite = LoadLibraryW(L"mfreadwrite.dll");
  return Resolve(plat, "MFStartup", &mf->Startup) && Resolve(plat, "MFShutdown", &mf->Shutdown) &&
         Resolve(plat, "MFCreateAttributes", &mf->CreateAttributes) &&
         Resolve(readwrite, "MFCreateSourceReaderFromMediaSource", &mf->CreateReader);
}

// The activation objects MFEnumDeviceSources hands out, released at the end.
class DeviceActivates {
 public:
  ~DeviceActivates() {
    for (UINT32 i = 0; i < m_count; ++i)
      m_items[i]->Release();
    CoTaskMemFree(m_items);
  }
  IMFActivate*** Put() { return &m_items; }
  UINT32* PutCount() { return &m_count; }
  UINT32 Count() const { return m_count; }
  IMFActivate* At(UINT32 i) const { return m_items[i]; }

 private:
  IMFActivate** m_items = nullptr;
  UINT32 m_count = 0;
};

std::string FriendlyNameOf(IMFActivate* activate) {
  wchar_t* name = nullptr;
  UINT32 length = 0;
  if (FAILED(activate->GetAllocatedString(MF_DEVSOURCE_ATTRIBUTE_FRIENDLY_NAME, &name, &length)))
    return {};
  const std::string text = Utf8FromWide(name);
  CoTaskMemFree(name);
  return text;
}

// --mf-device: the video capture device Media Foundation lists under the
// name (or the name with a suffix Windows adds), activated as a media source.
int CreateNamedDeviceSource(MfFunctions* mf, const std::string& wanted,
                            ComPtr<IMFMediaSource>* source, std::string* error) {
  const HMODULE mf_dll = LoadLibraryW(L"mf.dll");
  if (!Resolve(mf_dll, "MFEnumDeviceSources", &mf->EnumDeviceSources)) {
    *error = "Media Foundation cannot list cameras here (mf.dll has no MFEnumDeviceSources)";
    return kExitGraph;
  }
  ComPtr<IMFAttributes> attributes;
  HRESULT hr = mf->CreateAttributes(attributes.Put(), 1);
  if (SUCCEEDED(hr))
    hr = attributes->SetGUID(MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE,
                             MF_DEVSOURCE_ATTRIBUTE_SOURCE_TYPE_VIDCAP_GUID);
  DeviceActivates devices;
  if (SUCCEEDED(hr))
    hr = mf->EnumDeviceSources(attributes.Get(), devices.Put(), devices.PutCount());
  if (FAILED(hr)) {
    *error = "cannot list the Media Foundation cameras (" + HresultText(hr) + ")";
    return kExitNoDevice;
  }
  std::string listed;
  for (UINT32 i = 0; i < devices.Count(); ++i) {
    const std::string name = FriendlyNameOf(devices.At(i));
    if (zdvcam::CameraNameMatches(wanted, name)) {
      hr = devices.At(i)->ActivateObject(IID_IMFMediaSource, source->PutVoid());
      if (FAILED(hr)) {
        *error = "cannot open the Media Foundation camera '" + name + "' (" + HresultText(hr) + ")";
        return kExitNoDevice;
      }
      return kExitOk;
    }
    listed += "\n    " + name;
  }
  *error = "no Media Foundation camera named '" + wanted + "'" +
           (listed.empty() ? std::string("; Media Foundation lists no cameras here")
                           : "; Media Foundation lists:" + listed) +
           "\n  (the Windows 11 virtual camera appears after zd-vcam --install; see "
           "README-windows.txt, \"The Windows 11 camera\")";
  return kExitNoDevice;
}

// Media Foundation started for the guard's lifetime.
class MfSession {
 public:
  explicit MfSession(const MfFunctions& mf) : m_mf(mf) {
    m_result = mf.Startup(MF_VERSION, MFSTARTUP_LITE);
  }
  ~MfSession() {
    if (SUCCEEDED(m_result))
      m_mf.Shutdown();
  }
  MfSession(const MfSession&) = delete;
  MfSession& operator=(const MfSession&) = delete;
  HRESULT Result() const { return m_result; }

 private:
  const MfFunctions& m_mf;
  HRESULT m_result;
};

std::wstring WideOf(const std::string& utf8) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
  std::wstring wide(n > 0 ? size_t(n) : 1, L'\0');
  if (n > 0)
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, &wide[0], n);
  wide.resize(wcslen(wide.c_str()));
  return wide;
}

// The module asked for, or the 64-bit module beside zd-capture.
std::wstring ModulePath(const CaptureOptions& options) {
  if (!options.module.empty())
    return WideOf(options.module);
  wchar_t path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, n < MAX_PATH ? n : 0);
  const size_t slash = folder.find_last_of(L"\\/");
  folder = slash == std::wstring::npos ? L"." : folder.substr(0, slash);
  return folder + L"\\ZintuDobrel64.ax";
}

// What the report names: the camera asked for, or the module.
std::string SourceLabel(const CaptureOptions& options) {
  return "Media Foundation: " + (options.mf_device.empty()
                                     ? Utf8FromWide(ModulePath(options).c_str())
                                     : options.mf_device);
}

// The source, created through the module's DllGetClassObject. The module
// stays loaded for the rest of the process.
HRESULT CreateModuleSource(const std::wstring& path, ComPtr<IMFMediaSource>* source) {
  const HMODULE module = LoadLibraryW(path.c_str());
  if (!module)
    return HRESULT_FROM_WIN32(GetLastError());
  using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  GetClassObjectFn getClassObject = nullptr;
  if (!Resolve(module, "DllGetClassObject", &getClassObject))
    return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
  ComPtr<IClassFactory> factory;
  HRESULT hr = getClassObject(kMediaSourceClass, IID_IClassFactory, factory.PutVoid());
  if (SUCCEEDED(hr))
    hr = factory->CreateInstance(nullptr, IID_IMFMediaSource, source->PutVoid());
  return hr;
}

// A native type as a capability: the subtype's FOURCC (any the pixel-format
// table knows, planar and MJPG included) or RGB, the size, the frame
// duration of the rate, and the interlace mode as VIDEOINFOHEADER2's flags
// would give it.
Capability CapabilityOf(IMFMediaType* type, int index) {
  Capability cap;
  cap.index = index;
  GUID subtype = GUID_NULL;
  type->GetGUID(MF_MT_SUBTYPE, &subtype);
  UINT32 w = 0, h = 0, num = 0, den = 0;
  MFGetAttributeSize(type, MF_MT_FRAME_SIZE, &w, &h);
  cap.width = int(w);
  cap.height = int(h);
  if (IsEqualGUID(subtype, MFVideoFormat_RGB32))
    cap.format = PixelFormat::kRgb32;
  else if (IsEqualGUID(subtype, MFVideoFormat_RGB24))
    cap.format = PixelFormat::kRgb24;
  else
    cap.format = PixelFormatFromFourcc(subtype.Data1);
  cap.subtype = PixelFormatName(cap.format);
  if (SUCCEEDED(MFGetAttributeRatio(type, MF_MT_FRAME_RATE, &num, &den)) && num > 0)
    cap.frame_time = int64_t(std::llround(1e7 * double(den) / double(num)));
  const UINT32 mode = MFGetAttributeUINT32(type, MF_MT_INTERLACE_MODE, MFVideoInterlace_Unknown);
  constexpr int kInterlaced = 0x1, kField1First = 0x4;
  cap.interlace_flags = mode == MFVideoInterlace_Progressive ? 0
                        : mode == MFVideoInterlace_FieldInterleavedUpperFirst
                            ? kInterlaced | kField1First
                        : mode == MFVideoInterlace_FieldInterleavedLowerFirst ? kInterlaced
                                                                              : -1;
  return cap;
}

struct Reader {
  MfFunctions mf;
  std::unique_ptr<MfSession> session;
  ComPtr<IMFMediaSource> source;
  ComPtr<IMFSourceReader> reader;
  std::vector<ComPtr<IMFMediaType>> types;
  std::vector<Capability> caps;

  ~Reader() {
    reader.Reset();
    if (source)
      source->Shutdown();  // the reader leaves the source to us
    source.Reset();
  }
};

// Media Foundation, the source, the reader and the native types.
int OpenReader(const CaptureOptions& options, Reader* r, std::string* error) {
  if (!LoadMf(&r->mf)) {
    *error = "Media Foundation is not installed (mfplat.dll, mfreadwrite.dll)";
    return kExitGraph;
  }
  r->session.reset(new MfSession(r->mf));
  if (FAILED(r->session->Result())) {
    *error = "MFStartup failed (" + HresultText(r->session->Result()) + ")";
    return kExitGraph;
  }
  HRESULT hr = S_OK;
  if (!options.mf_device.empty()) {
    const int code = CreateNamedDeviceSource(&r->mf, options.mf_device, &r->source, error);
    if (code != kExitOk)
      return code;
  } else if (FAILED(hr = CreateModuleSource(ModulePath(options), &r->source))) {
    *error = "cannot create the media source of " + Utf8FromWide(ModulePath(options).c_str()) +
             " (" + HresultText(hr) + ")";
    return kExitNoDevice;
  }
  ComPtr<IMFAttributes> attributes;
  hr = r->mf.CreateAttributes(attributes.Put(), 1);
  if (SUCCEEDED(hr))
    hr = attributes->SetUINT32(MF_SOURCE_READER_DISCONNECT_MEDIASOURCE_ON_SHUTDOWN, TRUE);
  if (SUCCEEDED(hr))
    hr = r->mf.CreateReader(r->source.Get(), attributes.Get(), r->reader.Put());
  if (FAILED(hr)) {
    *error = "cannot create a source reader (" + HresultText(hr) + ")";
    return kExitGraph;
  }
  for (DWORD i = 0;; ++i) {
    ComPtr<IMFMediaType> type;
    if (FAILED(r->reader->GetNativeMediaType(0, i, type.Put())))
      break;
    r->caps.push_back(CapabilityOf(type.Get(), int(i)));
    r->types.push_back(type);
  }
  if (r->types.empty()) {
    *error = "the media source offers no media type";
    return kExitFormat;
  }
  return kExitOk;
}

// The bytes of a sample, contiguous, rows as the filter's: RGB bottom-up.
bool SampleBytes(IMFSample* sample, const Capability& format, std::vector<uint8_t>* bytes) {
  ComPtr<IMFMediaBuffer> buffer;
  if (FAILED(sample->ConvertToContiguousBuffer(buffer.Put())))
    return false;
  BYTE* data = nullptr;
  DWORD length = 0;
  if (FAILED(buffer->Lock(&data, nullptr, &length)))
    return false;
  // The current length as the buffer holds it: a 2-D buffer may lock with
  // its whole contiguous length whatever its current length says.
  DWORD current = 0;
  if (SUCCEEDED(buffer->GetCurrentLength(&current)) && current < length)
    length = current;
  bytes->assign(data, data + length);
  buffer->Unlock();
  const bool rgb = format.format == PixelFormat::kRgb24 || format.format == PixelFormat::kRgb32;
  if (rgb && format.height > 1) {
    const size_t pitch = bytes->size() / size_t(format.height);
    std::vector<uint8_t> row(pitch);
    for (size_t top = 0, bottom = size_t(format.height) - 1; top < bottom; ++top, --bottom) {
      uint8_t* a = bytes->data() + top * pitch;
      uint8_t* b = bytes->data() + bottom * pitch;
      std::copy(a, a + pitch, row.data());
      std::copy(b, b + pitch, a);
      std::copy(row.data(), row.data() + pitch, b);
    }
  }
  return true;
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

int ListMfCapabilities(const CaptureOptions& options) {
  Reader r;
  std::string error;
  const int code = OpenReader(options, &r, &error);
  if (code != kExitOk) {
    std::fprintf(stderr, "zd-capture: %s\n", error.c_str());
    return code;
  }
  const std::string device = SourceLabel(options);
  const std::string text =
      options.json ? FormatCapabilitiesJson(device, r.caps) : FormatCapabilitiesText(r.caps);
  std::fputs(text.c_str(), stdout);
  return kExitOk;
}

int RunMfCapture(const CaptureOptions& options, CaptureReport* report, std::string* error) {
  report->device = SourceLabel(options);
  report->requested_frames = options.frames;
  report->graph_clock = false;
  report->media_foundation = true;
  Reader r;
  int code = OpenReader(options, &r, error);
  if (code != kExitOk)
    return code;
  int index = options.cap;
  if (index >= int(r.caps.size())) {
    *error = "there is no capability " + std::to_string(index) + ": the source has " +
             std::to_string(r.caps.size()) + " (see --list-caps)";
    return kExitFormat;
  }
  if (index < 0 && (options.width > 0 || !options.format.empty() || options.fps > 0.0)) {
    index = MatchCapability(r.caps, options.width, options.height, options.format, options.fps);
    if (index < 0) {
      *error = "no capability matches the requested size, format and rate (see --list-caps)";
      return kExitFormat;
    }
  }
  const int selected = index;
  if (index < 0)
    index = 0;  // the first native type, as the filter's first preset
  HRESULT hr = r.reader->SetCurrentMediaType(0, nullptr, r.types[size_t(index)].Get());
  if (FAILED(hr)) {
    *error = "cannot select native type " + std::to_string(index) + " (" + HresultText(hr) + ")";
    return kExitFormat;
  }
  report->format = r.caps[size_t(index)];
  IMFMediaType* type = r.types[size_t(index)].Get();
  const SampleSize size =
      MfSampleSize(report->format, int32_t(MFGetAttributeUINT32(type, MF_MT_DEFAULT_STRIDE, 0)));
  report->sample_bytes = size.bytes;
  report->variable_size = size.variable;
  // The capability the frame code is to name: the preset the source says
  // its frames name (a twin names the preset it was made from), else the
  // type's position.
  const int expected =
      selected < 0 ? -1 : int(MFGetAttributeUINT32(type, kCodePresetAttribute, UINT32(selected)));

  std::unique_ptr<std::FILE, FileCloser> raw;
  if (!options.raw_path.empty()) {
    raw.reset(OpenFileUtf8(options.raw_path, "wb"));
    if (!raw) {
      *error = "cannot create " + options.raw_path;
      return kExitOutput;
    }
  }
  if (!options.dump_dir.empty() && !CreateFolderUtf8(options.dump_dir)) {
    *error = "cannot create the folder " + options.dump_dir;
    return kExitOutput;
  }

  // A frame count without a time gets a generous limit: a stalled source
  // cannot keep the tool for ever (each read waits for one frame).
  const double frame_ms = double(report->format.frame_time) / 10000.0;
  const double limit_s = options.seconds > 0.0
                             ? options.seconds
                             : std::max(10.0, 3.0 * options.frames * frame_ms / 1000.0 + 10.0);
  std::vector<FrameRecord> frames;
  std::vector<SampleCode> codes;
  std::vector<uint8_t> snapshot;
  std::string write_error;
  bool have_base = false;
  LONGLONG base = 0;
  const double cpu_before = CaptureCpuSeconds();
  const double started = CaptureClockMs();
  while (CaptureClockMs() - started < limit_s * 1000.0 &&
         (options.frames <= 0 || int64_t(frames.size()) < options.frames)) {
    DWORD flags = 0;
    LONGLONG timestamp = 0;
    ComPtr<IMFSample> sample;
    hr = r.reader->ReadSample(0, 0, nullptr, &flags, &timestamp, sample.Put());
    const double arrival = CaptureClockMs();
    if (FAILED(hr) || (flags & MF_SOURCE_READERF_ERROR)) {
      report->stream_error = "ReadSample failed (" + HresultText(FAILED(hr) ? hr : E_FAIL) + ")";
      break;
    }
    if (flags & MF_SOURCE_READERF_ENDOFSTREAM) {
      report->ended_early = true;
      break;
    }
    if (!sample)
      continue;  // a stream tick
    FrameRecord record;
    record.arrival_ms = arrival;
    LONGLONG time = 0, duration = 0;
    record.has_start = SUCCEEDED(sample->GetSampleTime(&time));
    if (record.has_start && !have_base) {
      base = time;
      have_base = true;
    }
    record.start = time - base;
    record.has_stop = record.has_start && SUCCEEDED(sample->GetSampleDuration(&duration));
    record.stop = record.start + duration;
    std::vector<uint8_t> bytes;
    if (!SampleBytes(sample.Get(), report->format, &bytes))
      bytes.clear();
    record.length = int64_t(bytes.size());
    const int64_t number = int64_t(frames.size());
    frames.push_back(record);
    if (options.verify) {
      SampleCode sc =
          bytes.empty() ? SampleCode() : ReadSampleCode(bytes.data(), bytes.size(), report->format);
      sc.partial = sc.partial || bytes.empty();
      sc.has_start = record.has_start;
      sc.start = record.start;
      codes.push_back(sc);
    }
    if (bytes.empty())
      continue;
    if (!options.snapshot.empty() &&
        (options.snapshot_frame < 0 || options.snapshot_frame == number))
      snapshot = bytes;
    if (!options.dump_dir.empty()) {
      char name[32];
      std::snprintf(name, sizeof name, "/frame_%05lld.raw", static_cast<long long>(number));
      if (!WriteFileBytes(options.dump_dir + name, bytes.data(), bytes.size()) &&
          write_error.empty())
        write_error = "cannot write " + options.dump_dir + name;
    }
    if (raw && std::fwrite(bytes.data(), 1, bytes.size(), raw.get()) != bytes.size() &&
        write_error.empty())
      write_error = "cannot write the raw frame file";
  }
  report->wall_seconds = (CaptureClockMs() - started) / 1000.0;
  report->cpu_seconds = CaptureCpuSeconds() - cpu_before;
  SummariseFrames(frames, report);
  if (options.verify) {
    report->verify = true;
    const bool interlaced =
        report->format.interlace_flags >= 0 && (report->format.interlace_flags & 1) != 0;
    report->codes = CheckFrameCodes(codes, expected, report->format.frame_time, interlaced);
    report->findings = FindFrameFaults(CodedArrivalsOf(codes, frames), report->format.frame_time);
    // ReadSample returns a sample only once the source has handed it over:
    // none is on its way when the counts are read.
    report->counts = CheckSourceCounts(report->findings, report->source, report->frames, 0);
  }
  if (raw && std::fclose(raw.release()) != 0) {
    *error = "cannot write " + options.raw_path;
    return kExitOutput;
  }
  if (!write_error.empty()) {
    *error = write_error;
    return kExitOutput;
  }
  if (!options.snapshot.empty()) {
    code = WriteSnapshotFile(snapshot, options, report, error);
    if (code != kExitOk)
      return code;
  }
  if (!report->stream_ok())
    return kExitCheck;
  return report->ok() ? kExitOk : kExitVerify;
}

}  // namespace zdcap
