// Loads the built module from a folder of its own, next to the test program,
// with a settings file written by the test, and reaches the filter, its pin
// and the property page through the module's exports only.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <ocidl.h>

#include <string>

#include <gtest/gtest.h>

#include "baseclasses/com_ptr.h"
#include "tests/bitness_names.h"
#include "tests/module/fake_input_pin.h"

// The class ids the module serves (the same values as server/guids.cpp;
// written out here so that the test depends on the exports only).
inline const CLSID kFilterClass = {
    0xde946144, 0xe77a, 0x42ee, {0x93, 0xbe, 0x7e, 0x3e, 0x48, 0xda, 0x72, 0xfa}};
inline const CLSID kPageClass = {
    0xa779761b, 0x0b25, 0x461f, {0x8a, 0x11, 0x68, 0x4e, 0xba, 0x0c, 0x32, 0xed}};

// Four presets of the tests' settings file, in table order.
inline const char* kTestSettings =
    "[MAIN]\r\n"
    "buff_num=4\r\n"
    "preset_num=6\r\n"
    "use_video_info_header2=%d\r\n"
    "auto_clock=0\r\n"
    "mouse_cursol=0\r\n"
    "[PRESET_DEF]\r\n"
    "bmp=chart.bmp\r\n"
    "font=font.bmp\r\n"
    "scroll_x=2\r\n"
    "scroll_y=2\r\n"
    "[PRESET_01]\r\n"
    "enable=1\r\nw=320\r\nh=240\r\nfcc=YUY2\r\nframe_time=333667\r\ninterlaced=1\r\n"
    "[PRESET_02]\r\n"
    "enable=1\r\nw=642\r\nh=480\r\nfcc=RG24\r\nframe_time=333667\r\ninterlaced=2\r\n"
    "[PRESET_03]\r\n"
    "enable=1\r\nw=320\r\nh=240\r\nfcc=RG32\r\nframe_time=333667\r\ninterlaced=0\r\n"
    "[PRESET_04]\r\n"
    "enable=1\r\nw=320\r\nh=240\r\nfcc=YUY2\r\nframe_time=333667\r\ninterlaced=0\r\n"
    "[PRESET_05]\r\n"
    "enable=1\r\nw=4096\r\nh=2160\r\nfcc=RG32\r\nframe_time=166833\r\ninterlaced=0\r\n"
    "[PRESET_06]\r\n"
    "enable=0\r\nw=800\r\nh=600\r\nfcc=RG32\r\nframe_time=333667\r\n";

constexpr int kTestPresetCount = 5;

class ModuleTest : public ::testing::Test {
 public:
  static void SetUpTestSuite();
  static void TearDownTestSuite();

 protected:
  void SetUp() override;
  void TearDown() override;

  // Rewrites the settings file; the next filter created reads it.
  static void WriteSettings(int useVideoInfoHeader2);
  static void WriteSettingsText(const std::string& text);
  static std::string ModuleFolder();

  // The exports.
  static HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out);
  static HRESULT CanUnloadNow();
  static HRESULT RegisterServer();
  static HRESULT UnregisterServer();

  // A new filter through the class factory, and its one pin.
  static ComPtr<IBaseFilter> CreateFilter();
  static ComPtr<IPin> OutputPin(IBaseFilter* filter);
  template <class T>
  static ComPtr<T> Query(IUnknown* object, REFIID iid) {
    ComPtr<T> result;
    if (object)
      object->QueryInterface(iid, result.PutVoid());
    return result;
  }

  static HMODULE s_module;
};

// A filter made from the settings just written, its output pin and a fake
// downstream input pin to connect it to; stopped and disconnected after each
// test. Derived fixtures release their own interfaces before calling TearDown.
class StreamTest : public ModuleTest {
 protected:
  // Creates the filter and finds its pin; a failure ends the test.
  void CreateStream() {
    filter = CreateFilter();
    ASSERT_TRUE(filter);
    pin = OutputPin(filter.Get());
    ASSERT_TRUE(pin);
    downstream.Attach(new FakeInputPin);
  }
  void TearDown() override {
    if (filter)
      filter->Stop();
    if (pin)
      pin->Disconnect();
    downstream.Reset();
    pin.Reset();
    filter.Reset();
    ModuleTest::TearDown();
  }

  ComPtr<IBaseFilter> filter;
  ComPtr<IPin> pin;
  ComPtr<FakeInputPin> downstream;
};
