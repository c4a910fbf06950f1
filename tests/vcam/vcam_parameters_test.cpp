// zd-vcam's parameters against values written out by hand: the class id as
// docs/media-foundation.md gives it, the registry paths, the camera names
// Media Foundation may list, the mark of the web and the folder check's rules
// over access lists as Windows shows them (icacls).
#include "tools/vcam/vcam_parameters.h"

#include <gtest/gtest.h>

#include <vector>

namespace zdvcam {
namespace {

TEST(VcamParameters, NamesAndRegistryPathsAreTheDocumentedOnes) {
  EXPECT_EQ(ClassIdString(kMediaSourceClassId), "{2F270E13-5C19-4715-AAC6-34EF9557D3CB}");
  EXPECT_EQ(ClassKeyPath(kMediaSourceClassId),
            "SOFTWARE\\Classes\\CLSID\\{2F270E13-5C19-4715-AAC6-34EF9557D3CB}");
  EXPECT_EQ(InprocServerKeyPath(kMediaSourceClassId),
            "SOFTWARE\\Classes\\CLSID\\{2F270E13-5C19-4715-AAC6-34EF9557D3CB}\\InprocServer32");
  // Leading zeros kept in every group.
  const ClassId small = {0x1, 0x2, 0x3, {0, 1, 2, 3, 4, 5, 6, 0xab}};
  EXPECT_EQ(ClassIdString(small), "{00000001-0002-0003-0001-0203040506AB}");
  EXPECT_STREQ(kCameraName, "Zintu Dobrel x64");
  EXPECT_STREQ(kThreadingModel, "Both");
}

TEST(VcamParameters, CameraNamesMatchExactlyOrWithASuffix) {
  const struct {
    const char* wanted;
    const char* listed;
    bool match;
  } kCases[] = {
      {"Zintu Dobrel x64", "Zintu Dobrel x64", true},
      {"Zintu Dobrel x64", "Zintu Dobrel x64 (Windows Virtual Camera)", true},
      {"Zintu Dobrel x64", "Zintu Dobrel x64 Windows Virtual Camera", true},
      {"Zintu Dobrel x64", "Zintu Dobrel x640", false},
      {"Zintu Dobrel x64", "zintu dobrel x64", false},
      {"Zintu Dobrel x64", "Zintu Dobrel x6", false},
      {"Zintu Dobrel x64", "Zintu Dobrel x64 ", false},
      {"", "", false},
  };
  for (const auto& c : kCases)
    EXPECT_EQ(CameraNameMatches(c.wanted, c.listed), c.match) << c.listed;
}

TEST(VcamParameters, MarkOfTheWebIsTheZoneIdLine) {
  const struct {
    const char* text;
    int zone;
    bool internet;
  } kCases[] = {
      {"[ZoneTransfer]\r\nZoneId=3\r\nReferrerUrl=https://example.org/\r\n", 3, true},
      {"[ZoneTransfer]\nZoneId=4\n", 4, true},
      {"[ZoneTransfer]\r\nZoneId=2\r\n", 2, false},
      {"[ZoneTransfer]\r\nZoneId=0", 0, false},
      {"[ZoneTransfer]\r\nZoneId=\r\n", -1, false},
      {"[ZoneTransfer]\r\nZoneId=3x\r\n", -1, false},
      {"HostUrl=about:internet\r\n", -1, false},
      {"", -1, false},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(ZoneIdOf(c.text), c.zone) << c.text;
    EXPECT_EQ(IsFromTheInternet(ZoneIdOf(c.text)), c.internet) << c.text;
  }
}

TEST(VcamParameters, LocalServiceReadsProgramFilesButNotAUsersDownloads) {
  // Masks as Windows stores them: (RX) 0x1200A9, (F) 0x1F01FF, (M) 0x1301BF,
  // GENERIC_READ|GENERIC_EXECUTE 0xA0000000 on inherit-only entries.
  const std::vector<AccessEntry> program_files = {
      {true, "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", 0x1f01ff, false},
      {true, "S-1-5-18", 0x1f01ff, false},
      {true, "S-1-5-32-544", 0x1f01ff, false},
      {true, "S-1-5-32-545", 0x1200a9, false},
      {true, "S-1-3-0", 0x10000000, true},
  };
  const std::vector<AccessEntry> downloads = {
      {true, "S-1-5-18", 0x1f01ff, false},
      {true, "S-1-5-32-544", 0x1f01ff, false},
      {true, "S-1-5-21-1004336348-1177238915-682003330-1001", 0x1f01ff, false},
  };
  const std::vector<AccessEntry> users_inherit_only = {{true, "S-1-5-32-545", 0xa0000000, true}};
  const std::vector<AccessEntry> everyone_generic = {{true, "S-1-1-0", 0xa0000000, false}};
  const std::vector<AccessEntry> denied_first = {{false, "S-1-5-19", 0x1, false},
                                                 {true, "S-1-1-0", 0x1f01ff, false}};
  const std::vector<AccessEntry> denied_after = {{true, "S-1-1-0", 0x1f01ff, false},
                                                 {false, "S-1-5-19", 0x1, false}};
  const std::vector<AccessEntry> split = {{true, "S-1-5-11", 0x120089, false},
                                          {true, "S-1-5-6", 0x20, false}};
  const std::vector<AccessEntry> read_only = {{true, "S-1-5-11", 0x120089, false}};
  const struct {
    const char* name;
    const std::vector<AccessEntry>* entries;
    bool has_dacl;
    bool readable;
  } kCases[] = {
      {"Program Files", &program_files, true, true},
      {"Downloads", &downloads, true, false},
      {"inherit-only Users entry", &users_inherit_only, true, false},
      {"Everyone with generic rights", &everyone_generic, true, true},
      {"LocalService denied before Everyone allowed", &denied_first, true, false},
      {"LocalService denied after Everyone allowed", &denied_after, true, true},
      {"rights from two groups", &split, true, true},
      {"read without traverse", &read_only, true, false},
      {"no DACL", &downloads, false, true},
      {"empty DACL", nullptr, true, false},
  };
  const std::vector<AccessEntry> empty;
  for (const auto& c : kCases)
    EXPECT_EQ(LocalServiceMayAccess(c.entries ? *c.entries : empty, c.has_dacl, kReadAndExecute),
              c.readable)
        << c.name;
}

TEST(VcamParameters, CommandLineTakesExactlyOneCommand) {
  const struct {
    std::vector<std::string> args;
    bool ok;
    Command command;
  } kCases[] = {
      {{"--install"}, true, Command::kInstall},
      {{"--remove"}, true, Command::kRemove},
      {{"--status"}, true, Command::kStatus},
      {{"--install", "--install"}, true, Command::kInstall},
      {{"--help"}, true, Command::kHelp},
      {{}, false, Command::kNone},
      {{"--install", "--remove"}, false, Command::kNone},
      {{"install"}, false, Command::kNone},
  };
  for (const auto& c : kCases) {
    Command command = Command::kNone;
    std::string error;
    EXPECT_EQ(ParseCommand(c.args, &command, &error), c.ok) << error;
    if (c.ok)
      EXPECT_EQ(command, c.command);
    else
      EXPECT_FALSE(error.empty());
  }
}

}  // namespace
}  // namespace zdvcam
