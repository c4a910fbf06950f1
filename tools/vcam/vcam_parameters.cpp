#include "tools/vcam/vcam_parameters.h"

#include <algorithm>
#include <cstdio>

namespace zdvcam {

std::string ClassIdString(const ClassId& id) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                unsigned(id.data1), unsigned(id.data2), unsigned(id.data3), id.data4[0],
                id.data4[1], id.data4[2], id.data4[3], id.data4[4], id.data4[5], id.data4[6],
                id.data4[7]);
  return text;
}

std::string ClassKeyPath(const ClassId& id) {
  return "SOFTWARE\\Classes\\CLSID\\" + ClassIdString(id);
}

std::string InprocServerKeyPath(const ClassId& id) {
  return ClassKeyPath(id) + "\\InprocServer32";
}

bool CameraNameMatches(const std::string& wanted, const std::string& listed) {
  if (wanted.empty())
    return false;
  if (listed == wanted)
    return true;
  return listed.size() > wanted.size() + 1 && listed.compare(0, wanted.size(), wanted) == 0 &&
         listed[wanted.size()] == ' ';
}

int ZoneIdOf(const std::string& text) {
  size_t line_start = 0;
  while (line_start < text.size()) {
    size_t line_end = text.find('\n', line_start);
    if (line_end == std::string::npos)
      line_end = text.size();
    std::string line = text.substr(line_start, line_end - line_start);
    line_start = line_end + 1;
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    if (line.compare(0, 7, "ZoneId=") != 0 || line.size() == 7 || line.size() > 9)
      continue;
    int zone = 0;
    for (size_t i = 7; i < line.size(); ++i) {
      if (line[i] < '0' || line[i] > '9')
        return -1;
      zone = zone * 10 + (line[i] - '0');
    }
    return zone;
  }
  return -1;
}

bool IsFromTheInternet(int zone_id) {
  return zone_id >= 3;
}

const std::vector<std::string>& LocalServiceSids() {
  static const std::vector<std::string> sids = {"S-1-5-19", "S-1-1-0",  "S-1-5-32-545", "S-1-5-11",
                                                "S-1-5-6",  "S-1-5-15", "S-1-2-0"};
  return sids;
}

namespace {

// Generic rights as the file rights they stand for (FILE_GENERIC_*).
uint32_t FileRightsOf(uint32_t mask) {
  constexpr uint32_t kGenericRead = 0x80000000, kGenericWrite = 0x40000000,
                     kGenericExecute = 0x20000000, kGenericAll = 0x10000000;
  uint32_t rights = mask & 0x0fffffff;
  if (mask & kGenericRead)
    rights |= 0x00120089;
  if (mask & kGenericWrite)
    rights |= 0x00120116;
  if (mask & kGenericExecute)
    rights |= 0x001200a0;
  if (mask & kGenericAll)
    rights |= 0x001f01ff;
  return rights;
}

}  // namespace

bool LocalServiceMayAccess(const std::vector<AccessEntry>& entries, bool has_dacl,
                           uint32_t needed) {
  if (!has_dacl)
    return true;
  const std::vector<std::string>& sids = LocalServiceSids();
  uint32_t undecided = needed;
  for (const AccessEntry& entry : entries) {
    if (entry.inherit_only || std::find(sids.begin(), sids.end(), entry.sid) == sids.end())
      continue;
    const uint32_t named = FileRightsOf(entry.mask) & undecided;
    if (!entry.allow && named)
      return false;
    undecided &= ~named;
    if (!undecided)
      return true;
  }
  return undecided == 0;
}

bool ParseCommand(const std::vector<std::string>& args, Command* command, std::string* error) {
  static const struct {
    const char* name;
    Command command;
  } kCommands[] = {{"--install", Command::kInstall}, {"--remove", Command::kRemove},
                   {"--status", Command::kStatus},   {"--help", Command::kHelp},
                   {"-h", Command::kHelp},           {"--version", Command::kVersion}};
  Command result = Command::kNone;
  for (const std::string& arg : args) {
    Command found = Command::kNone;
    for (const auto& row : kCommands)
      if (arg == row.name)
        found = row.command;
    if (found == Command::kNone) {
      *error = "unknown argument '" + arg + "' (see --help)";
      return false;
    }
    if (result != Command::kNone && result != found) {
      *error = "give one of --install, --remove, --status";
      return false;
    }
    result = found;
  }
  if (result == Command::kNone) {
    *error = "give one of --install, --remove, --status";
    return false;
  }
  *command = result;
  return true;
}

const char* Usage() {
  return "usage: zd-vcam --install | --remove | --status\n"
         "  --install   register the module's media source as the Windows 11 camera\n"
         "              \"Zintu Dobrel x64\" for all users (needs an administrator\n"
         "              prompt; safe to run again)\n"
         "  --remove    remove that camera and the media source's registration\n"
         "  --status    say what is registered, where the module is and whether this\n"
         "              Windows has virtual cameras\n"
         "  --version   print the version\n"
         "The module is ZintuDobrel64.ax beside zd-vcam.exe.\n"
         "exit codes: 0 ok, 1 usage, 2 not an administrator, 3 this Windows has no\n"
         "  virtual cameras (Windows 11, build 22000 or later; nothing was changed),\n"
         "  4 the module is missing or its folder cannot be read by the camera\n"
         "  service, 5 registration failed\n";
}

}  // namespace zdvcam
