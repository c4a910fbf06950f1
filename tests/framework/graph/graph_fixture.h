// Shared set-up of the framework graph tests: the test source in the
// platform's filter graph, the sample grabber's callback recorder, and the
// live-object check that every test ends with.
#pragma once

#include "server/unknown.h"
#include "tests/framework/graph/graph_helpers.h"
#include "tests/framework/graph/scripted_sink.h"
#include "tests/framework/graph/test_source.h"

#include <qedit.h>

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Records what the platform's sample grabber hands its callback.
class GrabberRecorder : public ISampleGrabberCB {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  // Lives on the test's stack: counting is not needed.
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP SampleCB(double time, IMediaSample* sample) override;
  STDMETHODIMP BufferCB(double, BYTE*, long) override { return E_NOTIMPL; }

  std::vector<ReceivedSample> Samples() const;
  int Count() const;
  bool WaitForSamples(int n, DWORD timeoutMs) const;

 private:
  mutable std::mutex m_mutex;
  mutable std::condition_variable m_changed;
  std::vector<ReceivedSample> m_samples;
  int m_count = 0;
};

// The test source with its IBaseFilter face held.
struct SourceRef {
  CTestSource* object = nullptr;  // valid while filter is held
  ComPtr<IBaseFilter> filter;

  explicit SourceRef(const SourceScript& script = {});
  CTestStream* Stream() const { return object->Stream(); }
  IPin* Pin() const { return static_cast<IPin*>(object->Stream()); }
};

class FrameworkGraphTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_objectsBefore = g_activeObjects;
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_name = std::string(info->test_suite_name()) + "." + info->name();
    m_watchdog = std::make_unique<Watchdog>(m_name.c_str(), kTestLimitSeconds);
  }
  void TearDown() override { m_watchdog.reset(); }
  // Every framework object made by the test has gone.
  void ExpectAllObjectsReleased() { EXPECT_EQ(g_activeObjects, m_objectsBefore); }

  // No single test may come near the program's own time limit.
  static constexpr unsigned kTestLimitSeconds = 60;
  LONG m_objectsBefore = 0;
  std::string m_name;
  std::unique_ptr<Watchdog> m_watchdog;
};

// Checks that the samples carry the filler's frames 0, 1, ... in order: the
// counter byte pattern, consecutive start and stop times, sync points.
void ExpectFillerFrames(const std::vector<ReceivedSample>& samples, const SourceScript& script,
                        size_t checkedBytes);
