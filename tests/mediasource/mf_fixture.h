// The module's media source, created through the module's own
// DllGetClassObject from a folder of its own beside the test program, with a
// settings file the tests write; and what the tests read back from samples.
#pragma once

#include <windows.h>
#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "baseclasses/com_ptr.h"
#include "tools/capture/frame_code_check.h"

// The media source's class id, written out (the same value as server/guids.cpp).
inline const CLSID kMediaSourceClass = {
    0x2f270e13, 0x5c19, 0x4715, {0xaa, 0xc6, 0x34, 0xef, 0x95, 0x57, 0xd3, 0xcb}};

// The native types the tests' settings give, in order, as Media Foundation's
// rules make them: RGB rows padded to 4 bytes, 4:2:2 rows of 2 bytes per
// pixel; the rate 10^7 / frame_time in lowest terms; the field that comes
// first on the upright picture.
struct ExpectedType {
  const char* name;
  GUID subtype;
  UINT32 width, height;
  UINT32 stride;
  UINT32 rateNum, rateDen;
  int64_t frameTime;
  UINT32 interlace;  // MFVideoInterlaceMode
  UINT32 matrix;     // MFVideoTransferMatrix; 0 (unknown) for RGB
  UINT32 range;      // MFNominalRange
};
extern const ExpectedType kExpectedTypes[];
extern const size_t kExpectedTypeCount;

class MediaSourceTest : public ::testing::Test {
 public:
  static void SetUpTestSuite();
  static void TearDownTestSuite();

 protected:
  void SetUp() override;
  void TearDown() override;

  static std::string ModuleFolder();
  static void WriteSettings(const std::string& text);
  // The tests' usual settings, frame_code on; extra goes into every preset.
  static std::string StandardSettings();
  // A new media source through the module's class factory (empty on failure).
  static ComPtr<IMFMediaSource> CreateSource();
  static HRESULT CanUnloadNow();

  static HMODULE s_module;
};

// The frame code of a sample's contiguous bytes in a native type (rows
// top-down; RGB is turned bottom-up, as the code reader expects).
zdcap::SampleCode ReadCode(const uint8_t* data, size_t length, const ExpectedType& type);

// The bytes of a sample, contiguous.
std::vector<uint8_t> SampleBytes(IMFSample* sample);

// The next event of a generator, waiting at most ten seconds: a missing
// event fails the test instead of hanging it (null then).
ComPtr<IMFMediaEvent> NextEvent(IMFMediaEventGenerator* generator);
// An event's type; MEUnknown for none.
MediaEventType TypeOf(IMFMediaEvent* event);
// The object an event carries (VT_UNKNOWN) as the interface asked for.
ComPtr<IUnknown> EventObject(IMFMediaEvent* event, REFIID iid);
// The sample an MEMediaSample event carries (empty for none).
ComPtr<IMFSample> SampleOf(IMFMediaEvent* event);
