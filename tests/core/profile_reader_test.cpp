// Reading values from INI-form settings files, as the settings loader sees it.
// In the Windows build the same statements hold for the system's own reader.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/profile_reader.h"
#include "tests/core/data/temp_files.h"

namespace {

const std::string kLong300x(300, 'x');
const std::string kLong300y(300, 'y');

std::string AwkwardSettingsText() {
  return "; settings written by hand\r\n"
         "top=before any section\r\n"
         "[ Main ]\r\n"
         "  Buff_Num =  4  \r\n"
         "buff_num=9\r\n"
         "preset_num=3\r\n"
         "quoted=\"  spaced out  \"\r\n"
         "single='x'\r\n"
         "mismatched='x\"\r\n"
         "lonequote= \" \r\n"
         "emptyquotes=\"\"\r\n"
         "empty=\r\n"
         "noequals\r\n"
         "inline = a ; not a comment\r\n"
         ";commented=5\r\n"
         "equals = a=b\r\n"
         "tabbed\t=\tvalue\t\r\n"
         "long=" +
         kLong300x +
         "\r\n"
         "longquoted=\"" +
         kLong300y +
         "\"\r\n"
         "\r\n"
         "[main]\r\n"
         "buff_num=99\r\n"
         "only_in_second=1\r\n"
         "[PRESET_01]\n"
         "w = 641\n"
         "[ preset_02 ]trailing text\n"
         "w=800\r"
         "h=600\r"
         "[unterminated\n"
         "orphan=belongs to PRESET_02\n"
         "[last]\n"
         "final=no newline at end";
}

struct Query {
  const char* section;
  const char* key;
  const char* defaultValue;
  size_t bufferSize;
  std::string expected;
};

TEST(ProfileReader, ValuesComeBackTrimmedUnquotedAndCutLikeTheSystemReaderGivesThem) {
  TempFolder folder;
  const std::string path = folder.Write("awkward.ini", AwkwardSettingsText());
  const std::vector<Query> queries = {
      // names match without regard to case and surrounding blanks
      {"MAIN", "buff_num", "", 260, "4"},
      {"  main ", " BUFF_NUM  ", "", 260, "4"},
      {"MAIN", "preset_num ", "", 260, "3"},
      // values lose surrounding blanks, and matching quotation marks
      {"MAIN", "quoted", "", 260, "  spaced out  "},
      {"MAIN", "single", "", 260, "x"},
      {"MAIN", "mismatched", "", 260, "'x\""},
      {"MAIN", "lonequote", "", 260, "\""},
      {"MAIN", "emptyquotes", "D", 260, ""},
      {"MAIN", "empty", "D", 260, ""},
      {"MAIN", "noequals", "D", 260, "D"},
      {"MAIN", "inline", "", 260, "a ; not a comment"},
      {"MAIN", "commented", "D", 260, "D"},
      {"MAIN", "equals", "", 260, "a=b"},
      {"MAIN", "tabbed", "", 260, "value"},
      // long values are cut to the buffer less one character
      {"MAIN", "long", "", 260, std::string(259, 'x')},
      {"MAIN", "long", "", 5, "xxxx"},
      {"MAIN", "long", "", 1, ""},
      {"MAIN", "long", "", 0, ""},
      {"MAIN", "longquoted", "", 260, std::string(259, 'y')},
      // the first of repeated keys and sections counts
      {"MAIN", "only_in_second", "D", 260, "D"},
      // lines before any section, line ends of every kind
      {"", "top", "D", 260, "before any section"},
      {"PRESET_01", "w", "", 260, "641"},
      {"PRESET_02", "w", "", 260, "800"},
      {"PRESET_02", "h", "", 260, "600"},
      {"PRESET_02", "orphan", "D", 260, "belongs to PRESET_02"},
      {"unterminated", "orphan", "D", 260, "D"},
      {"last", "final", "D", 260, "no newline at end"},
      // absent keys and sections give the default, without its trailing blanks
      {"nosuch", "w", "D", 260, "D"},
      {"MAIN", "nosuch", "dflt  ", 260, "dflt"},
      {"MAIN", "nosuch", "  dflt", 260, "  dflt"},
      {"MAIN", "nosuch", "default", 4, "def"},
      {"MAIN", "nosuch", "\x01", 260, "\x01"},
      {"MAIN", "nosuch", "", 260, ""},
  };
  for (const Query& q : queries) {
    SCOPED_TRACE(std::string("[") + q.section + "] " + q.key + " size " +
                 std::to_string(q.bufferSize));
    EXPECT_EQ(ReadProfileString(q.section, q.key, q.defaultValue, q.bufferSize, path), q.expected);
  }
}

TEST(ProfileReader, AMissingOrEmptyFileGivesTheDefault) {
  TempFolder folder;
  const std::string empty = folder.Write("empty.ini", "");
  const std::string bom = folder.Write("bom.ini", "\xEF\xBB\xBF[MAIN]\r\nw=1\r\n");
  EXPECT_EQ(ReadProfileString("MAIN", "w", "D", 260, folder.PathOf("missing.ini")), "D");
  EXPECT_EQ(ReadProfileString("MAIN", "w", "D", 260, empty), "D");
  EXPECT_EQ(ReadProfileString("MAIN", "w", "D", 260, ""), "D");
  EXPECT_EQ(ReadProfileString("MAIN", "w", "D", 260, bom), "1");
}

TEST(ProfileReader, NullNamesGiveTheDefault) {
  TempFolder folder;
  const std::string path = folder.Write("s.ini", "[MAIN]\nw=1\n");
  EXPECT_EQ(ReadProfileString(nullptr, "w", "D", 260, path), "D");
  EXPECT_EQ(ReadProfileString("MAIN", nullptr, "D", 260, path), "D");
  EXPECT_EQ(ReadProfileString("MAIN", "x", nullptr, 260, path), "");
}

TEST(ProfileReader, OurReaderReadsTextHeldInMemoryAsFromAFile) {
  const std::string text = AwkwardSettingsText();
  EXPECT_EQ(ReadProfileStringFromText("main", "Buff_num", "", 260, text), "4");
  EXPECT_EQ(ReadProfileStringFromText("PRESET_02", "orphan", "", 260, text),
            "belongs to PRESET_02");
  EXPECT_EQ(ReadProfileStringFromText("MAIN", "longquoted", "", 10, text), "yyyyyyyyy");
}

}  // namespace
