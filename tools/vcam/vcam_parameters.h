// What zd-vcam registers, as text: the camera's name, the media source's
// class id and its registry keys, the folder check's rules (which access
// entries let the Frame Server's LocalService account read the module) and
// the mark of the web. Portable: no Windows header, tested natively.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zdvcam {

struct ClassId {
  uint32_t data1;
  uint16_t data2;
  uint16_t data3;
  uint8_t data4[8];
};

// The module's media source (CLSID_ZintuDobrelMediaSource).
// {2F270E13-5C19-4715-AAC6-34EF9557D3CB}
constexpr ClassId kMediaSourceClassId = {
    0x2f270e13, 0x5c19, 0x4715, {0xaa, 0xc6, 0x34, 0xef, 0x95, 0x57, 0xd3, 0xcb}};

// The name the camera is registered under (Windows appends its own suffix).
constexpr const char* kCameraName = "Zintu Dobrel x64";
// The module the camera runs, beside zd-vcam.exe.
constexpr const char* kModuleFileName = "ZintuDobrel64.ax";
constexpr const char* kThreadingModel = "Both";

// "{2F270E13-5C19-4715-AAC6-34EF9557D3CB}": upper-case hex in braces, the
// form MFCreateVirtualCamera takes as the source id and the registry uses.
std::string ClassIdString(const ClassId& id);
// Below HKEY_LOCAL_MACHINE: "SOFTWARE\Classes\CLSID\{...}".
std::string ClassKeyPath(const ClassId& id);
// "SOFTWARE\Classes\CLSID\{...}\InprocServer32".
std::string InprocServerKeyPath(const ClassId& id);

// Whether a camera listed by Media Foundation is the one asked for: the same
// name, or the name followed by a space and a suffix (Windows adds "Windows
// Virtual Camera" to a virtual camera's name). Letter case counts.
bool CameraNameMatches(const std::string& wanted, const std::string& listed);

// The mark of the web: the ZoneId of a Zone.Identifier stream's text
// ("[ZoneTransfer]\r\nZoneId=3\r\n..."), or -1 when it names none. Zone 3 is
// the Internet, 4 restricted sites.
int ZoneIdOf(const std::string& text);
bool IsFromTheInternet(int zone_id);

// One entry of a folder's access list, as the folder check reads it.
struct AccessEntry {
  bool allow = true;          // false: an access-denied entry
  std::string sid;            // "S-1-5-32-545"
  uint32_t mask = 0;          // access rights, generic ones included
  bool inherit_only = false;  // applies to children only, not to this object
};

// FILE_GENERIC_READ | FILE_EXECUTE: what the Frame Server needs on the
// module's folder and files ("Read & execute").
constexpr uint32_t kReadAndExecute = 0x001200a9;

// The security identifiers a LocalService process holds: LOCAL SERVICE,
// Everyone, Users, Authenticated Users, SERVICE, This Organization, LOCAL.
const std::vector<std::string>& LocalServiceSids();

// Whether the entries, in their order, grant LocalService every right of
// `needed`: the first entry that names a right decides it, as Windows
// evaluates an access list; generic rights count as the file rights they
// stand for. A missing list (no DACL) grants everything.
bool LocalServiceMayAccess(const std::vector<AccessEntry>& entries, bool has_dacl, uint32_t needed);

// The command line of zd-vcam.
enum class Command { kNone, kInstall, kRemove, kStatus, kHelp, kVersion };
// Exactly one of --install, --remove, --status, --help, --version.
bool ParseCommand(const std::vector<std::string>& args, Command* command, std::string* error);
const char* Usage();

// zd-vcam's exit codes.
enum ExitCode {
  kExitOk = 0,
  kExitUsage = 1,
  kExitNotAdministrator = 2,
  kExitUnavailable = 3,  // no virtual cameras on this Windows: nothing changed
  kExitFolder = 4,       // the module is missing or LocalService cannot read it
  kExitFailed = 5,       // the registry or Media Foundation refused
};

}  // namespace zdvcam
