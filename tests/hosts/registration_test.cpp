// The module registered and unregistered with the system's regsvr32, as an
// installer does it, and what capture applications then see.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "server/guids.h"
#include "tests/bitness_names.h"
#include "tests/hosts/host_support.h"
#include "tools/capture/com_util.h"

namespace zdhost {
namespace {

constexpr const char* kDeviceName = kExpectedDeviceName;

int Regsvr32(const std::string& flags) {
  return RunAndWait("regsvr32.exe " + flags + " \"" + ModulePath() + "\"");
}

int CountDevice(const std::vector<std::string>& names) {
  return static_cast<int>(std::count(names.begin(), names.end(), kDeviceName));
}

class Registration : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(GetFileAttributesA(ModulePath().c_str()), INVALID_FILE_ATTRIBUTES)
        << "module missing: " << ModulePath();
  }
  void TearDown() override { Regsvr32("/u /s"); }
  zdcap::ComApartment m_apartment{COINIT_APARTMENTTHREADED};
};

TEST_F(Registration, Regsvr32WritesTheClassKeysAndListsTheDeviceThenRemovesBoth) {
  const std::string filter_key = "CLSID\\" + ClsidText(CLSID_ZintuDobrel);
  const std::string page_key = "CLSID\\" + ClsidText(CLSID_ZintuDobrelProps);
  // Start from an unregistered module. (Unregistering a module that was
  // never registered reports the filter mapper's not-found answer.)
  Regsvr32("/u /s");
  ASSERT_FALSE(ClassesRootKeyExists(filter_key));
  ASSERT_EQ(CountDevice(VideoDeviceNames()), 0);

  ASSERT_EQ(Regsvr32("/s"), 0);
  struct Value {
    std::string key;
    const char* name;
    std::string expected;
  };
  const std::vector<Value> values = {
      {filter_key, "", kDeviceName},
      {filter_key + "\\InprocServer32", "", ModulePath()},
      {filter_key + "\\InprocServer32", "ThreadingModel", "Both"},
      {page_key, "", kExpectedPageClassName},
      {page_key + "\\InprocServer32", "", ModulePath()},
      {page_key + "\\InprocServer32", "ThreadingModel", "Both"},
  };
  for (const Value& v : values) {
    SCOPED_TRACE(v.key + " [" + v.name + "]");
    std::string text;
    ASSERT_TRUE(ReadClassesRootText(v.key, v.name, &text));
    EXPECT_TRUE(SameTextIgnoringCase(text, v.expected)) << text << " != " << v.expected;
  }
  EXPECT_EQ(CountDevice(VideoDeviceNames()), 1) << "listed once among the video capture devices";

  // Registering again over a registration leaves one entry.
  ASSERT_EQ(Regsvr32("/s"), 0);
  EXPECT_EQ(CountDevice(VideoDeviceNames()), 1);

  ASSERT_EQ(Regsvr32("/u /s"), 0);
  EXPECT_FALSE(ClassesRootKeyExists(filter_key));
  EXPECT_FALSE(ClassesRootKeyExists(page_key));
  EXPECT_EQ(CountDevice(VideoDeviceNames()), 0);
}

}  // namespace
}  // namespace zdhost
