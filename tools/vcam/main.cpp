// zd-vcam: registers the module's media source as a Windows 11 virtual
// camera (MFCreateVirtualCamera, run by the Frame Server service), removes
// it, or says what is registered. Every step that could change the system
// comes after the checks that can refuse: administrator rights, the virtual
// camera functions of this Windows, the module's folder.
#include <windows.h>
#include <mfapi.h>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "baseclasses/com_ptr.h"
#include "resources/product_names.h"
#include "tools/capture/utf8_files.h"
#include "tools/vcam/vcam_parameters.h"
#include "tools/vcam/vcam_system.h"

using namespace zdvcam;

namespace {

void Say(const std::string& text) {
  std::fputs(text.c_str(), stdout);
}

void Fail(const std::string& text) {
  std::fflush(stdout);
  std::fputs(("zd-vcam: " + text).c_str(), stderr);
}

std::string Quoted(const std::wstring& text) {
  return "\"" + Utf8(text) + "\"";
}

// Media Foundation and COM started for the guard's lifetime (mfplat.dll from
// the system folder, as mfsensorgroup.dll).
class MfStarted {
 public:
  MfStarted() : m_com(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {
    const HMODULE plat = LoadLibraryExW(L"mfplat.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    m_startup = plat ? reinterpret_cast<decltype(&::MFStartup)>(
                           reinterpret_cast<void*>(GetProcAddress(plat, "MFStartup")))
                     : nullptr;
    m_shutdown = plat ? reinterpret_cast<decltype(&::MFShutdown)>(
                            reinterpret_cast<void*>(GetProcAddress(plat, "MFShutdown")))
                      : nullptr;
    m_result = m_startup && m_shutdown ? m_startup(MF_VERSION, MFSTARTUP_LITE)
                                       : HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
  }
  ~MfStarted() {
    if (SUCCEEDED(m_result))
      m_shutdown();
    if (SUCCEEDED(m_com))
      CoUninitialize();
  }
  MfStarted(const MfStarted&) = delete;
  MfStarted& operator=(const MfStarted&) = delete;
  HRESULT Result() const { return FAILED(m_com) ? m_com : m_result; }

 private:
  HRESULT m_com;
  HRESULT m_result = E_FAIL;
  decltype(&::MFStartup) m_startup = nullptr;
  decltype(&::MFShutdown) m_shutdown = nullptr;
};

// The camera object for our parameters: MFCreateVirtualCamera gives the
// registered camera back when one with the same parameters exists.
HRESULT OpenCamera(const VirtualCameraApi& api, ComPtr<IMfVirtualCamera>* camera) {
  return api.Create(kMfVirtualCameraTypeSoftwareCameraSource, kMfVirtualCameraLifetimeSystem,
                    kMfVirtualCameraAccessAllUsers, Wide(kCameraName).c_str(),
                    Wide(ClassIdString(kMediaSourceClassId)).c_str(), nullptr, 0, camera->Put());
}

std::string NotAvailableText(const std::string& why) {
  return "this Windows has no virtual cameras: " + why + ".\n" +
         "They come with Windows 11 (build 22000 and later); this is build " +
         std::to_string(WindowsBuild()) +
         ". Nothing was changed. The DirectShow camera \"" ZD_FRIENDLY_NAME "\" works as before.\n";
}

// Administrator rights and the virtual camera functions, before anything changes.
int CheckCanChange(const char* what, VirtualCameraApi* api) {
  if (!IsAdministrator()) {
    Fail(std::string(what) +
         " needs an administrator prompt: open a Command Prompt with \"Run as "
         "administrator\" and run zd-vcam again. Nothing was changed.\n");
    return kExitNotAdministrator;
  }
  std::string why;
  if (!LoadVirtualCameraApi(api, &why)) {
    Fail(NotAvailableText(why));
    return kExitUnavailable;
  }
  return kExitOk;
}

std::string AccessText(FolderAccess access) {
  return access == FolderAccess::kReadable      ? "yes"
         : access == FolderAccess::kNotReadable ? "no"
                                                : "unknown (its access list could not be read)";
}

// Media Foundation started; nothing is changed before it has.
int CheckStarted(const MfStarted& mf) {
  if (SUCCEEDED(mf.Result()))
    return kExitOk;
  Fail("Media Foundation did not start (" + ResultText(mf.Result()) + "). Nothing was changed.\n");
  return kExitFailed;
}

// The module exists and the Frame Server's LocalService account can read it.
int CheckModule(const std::wstring& module) {
  if (GetFileAttributesW(module.c_str()) == INVALID_FILE_ATTRIBUTES) {
    Fail("the module " + Quoted(module) +
         " is missing: zd-vcam.exe registers the ZintuDobrel64.ax beside it. Run "
         "install.cmd /vcam, or zd-vcam --install from the installation folder. Nothing was "
         "changed.\n");
    return kExitFolder;
  }
  const FolderCheck check = CheckModuleFolder(module);
  if (check.folder == FolderAccess::kNotReadable || check.module == FolderAccess::kNotReadable) {
    Fail("the camera service (LocalService) cannot read " + Quoted(module) +
         (check.under_profile ? ", which lies in a user's own folder" : "") +
         ". Install with install.cmd /vcam, which puts the module under Program Files, and run "
         "the zd-vcam.exe there. Nothing was changed.\n");
    return kExitFolder;
  }
  if (check.under_profile)
    Say("warning: " + Quoted(module) +
        " lies in a user's own folder; the camera service may not read it. install.cmd /vcam "
        "installs under Program Files.\n");
  if (IsFromTheInternet(check.zone_id))
    Say("warning: " + Quoted(module) +
        " carries the mark of the web (ZoneId=" + std::to_string(check.zone_id) +
        "). If the camera shows no picture: right-click the downloaded zip, Properties, tick "
        "\"Unblock\", unpack it again and run install.cmd /vcam.\n");
  return kExitOk;
}

int Install() {
  VirtualCameraApi api;
  int code = CheckCanChange("--install", &api);
  if (code != kExitOk)
    return code;
  const std::wstring module = ModuleBesideTool();
  code = CheckModule(module);
  if (code != kExitOk)
    return code;
  MfStarted mf;
  code = CheckStarted(mf);
  if (code != kExitOk)
    return code;
  const ClassRegistration before = ReadClassRegistration();
  const LSTATUS status = WriteClassRegistration(module);
  if (status != ERROR_SUCCESS) {
    Fail("cannot register the media source's class (" + ResultText(HRESULT_FROM_WIN32(status)) +
         ").\n");
    if (!before.present)
      DeleteClassRegistration();
    return kExitFailed;
  }
  ComPtr<IMfVirtualCamera> camera;
  HRESULT hr = OpenCamera(api, &camera);
  if (SUCCEEDED(hr))
    hr = camera->Start(nullptr);
  if (FAILED(hr)) {
    Fail("the virtual camera could not be " + std::string(camera ? "started" : "created") + " (" +
         ResultText(hr) + ").\n");
    if (camera)
      camera->Shutdown();
    if (!before.present)
      DeleteClassRegistration();
    return kExitFailed;
  }
  camera->Shutdown();  // a System camera lives on without this object
  Say("Registered the media source " + ClassIdString(kMediaSourceClassId) + " of " +
      Quoted(module) + " and the camera \"" + kCameraName +
      "\" for all users.\nApplications that list cameras through Media Foundation show it "
      "(Windows adds \"Windows Virtual Camera\" to its name). Check with:\n  zd-capture "
      "--mf-device \"" +
      kCameraName + "\" --frames 30 --verify\n");
  return kExitOk;
}

int Remove() {
  VirtualCameraApi api;
  int code = CheckCanChange("--remove", &api);
  if (code != kExitOk)
    return code;
  MfStarted mf;
  code = CheckStarted(mf);
  if (code != kExitOk)
    return code;
  const ClassRegistration before = ReadClassRegistration();
  ComPtr<IMfVirtualCamera> camera;
  HRESULT hr = OpenCamera(api, &camera);
  if (SUCCEEDED(hr))
    hr = camera->Remove();
  if (camera)
    camera->Shutdown();
  if (FAILED(hr) && before.present) {
    Fail("the virtual camera could not be removed (" + ResultText(hr) +
         "); the media source stays registered.\n");
    return kExitFailed;
  }
  const LSTATUS status = DeleteClassRegistration();
  if (status != ERROR_SUCCESS) {
    Fail("cannot unregister the media source's class (" + ResultText(HRESULT_FROM_WIN32(status)) +
         ").\n");
    return kExitFailed;
  }
  Say(before.present || SUCCEEDED(hr)
          ? "Removed the camera \"" + std::string(kCameraName) + "\" and the media source " +
                ClassIdString(kMediaSourceClassId) + ".\n"
          : "No virtual camera \"" + std::string(kCameraName) + "\" was registered.\n");
  return kExitOk;
}

int Status() {
  VirtualCameraApi api;
  std::string why;
  const bool available = LoadVirtualCameraApi(&api, &why);
  Say("Virtual cameras: " +
      (available ? "available (Windows build " + std::to_string(WindowsBuild()) + ")\n"
                 : "not available here: " + why +
                       "; they need Windows 11 (build 22000 and "
                       "later), this is build " +
                       std::to_string(WindowsBuild()) + "\n"));
  const std::wstring module = ModuleBesideTool();
  const bool present = GetFileAttributesW(module.c_str()) != INVALID_FILE_ATTRIBUTES;
  Say("Module: " + Quoted(module) + (present ? "\n" : " (missing)\n"));
  if (present) {
    const FolderCheck check = CheckModuleFolder(module);
    Say("Readable by the camera service (LocalService): folder " + AccessText(check.folder) +
        ", module " + AccessText(check.module) + "\n");
    Say("Mark of the web: " +
        (check.zone_id < 0 ? std::string("none")
                           : "ZoneId=" + std::to_string(check.zone_id) +
                                 (IsFromTheInternet(check.zone_id) ? " (from the Internet)" : "")) +
        "\n");
  }
  const ClassRegistration reg = ReadClassRegistration();
  if (!reg.present) {
    Say("Media source " + ClassIdString(kMediaSourceClassId) + ": not registered\n");
  } else {
    Say("Media source " + ClassIdString(kMediaSourceClassId) + ": registered, InprocServer32 " +
        Quoted(reg.server) + ", ThreadingModel " + Quoted(reg.threading) + "\n");
    if (CompareStringOrdinal(reg.server.c_str(), -1, module.c_str(), -1, TRUE) != CSTR_EQUAL)
      Say("  (another module than the one beside zd-vcam.exe)\n");
  }
  Say(std::string("Whether Windows lists the camera: zd-capture --mf-device \"") + kCameraName +
      "\" --list-caps\n");
  return available ? kExitOk : kExitUnavailable;
}

int Run(const std::vector<std::string>& args) {
  Command command = Command::kNone;
  std::string error;
  if (!ParseCommand(args, &command, &error)) {
    Fail(error + "\n" + Usage());
    return kExitUsage;
  }
  switch (command) {
    case Command::kHelp:
      Say(Usage());
      return kExitOk;
    case Command::kVersion:
      Say("zd-vcam " ZD_VERSION_TEXT " (" ZD_ARCHITECTURE ")\n");
      return kExitOk;
    case Command::kInstall:
      return Install();
    case Command::kRemove:
      return Remove();
    case Command::kStatus:
      return Status();
    case Command::kNone:
      break;
  }
  return kExitUsage;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  try {
    const zdcap::Utf8Console console;
    return Run(zdcap::Utf8Arguments(argc, argv));
  } catch (const std::exception& e) {
    Fail(std::string(e.what()) + "\n");
    return kExitFailed;
  }
}
