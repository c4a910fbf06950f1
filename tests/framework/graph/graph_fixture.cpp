#include "tests/framework/graph/graph_fixture.h"

#include <algorithm>
#include <chrono>

STDMETHODIMP GrabberRecorder::QueryInterface(REFIID iid, void** out) {
  if (!out)
    return E_POINTER;
  if (iid == IID_IUnknown || iid == __uuidof(ISampleGrabberCB)) {
    *out = static_cast<ISampleGrabberCB*>(this);
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP GrabberRecorder::SampleCB(double, IMediaSample* sample) {
  ReceivedSample r;
  r.timeResult = sample->GetTime(&r.start, &r.stop);
  r.syncPoint = sample->IsSyncPoint() == S_OK;
  r.actualLength = sample->GetActualDataLength();
  r.size = sample->GetSize();
  BYTE* data = nullptr;
  if (SUCCEEDED(sample->GetPointer(&data)) && data && r.actualLength > 0)
    r.data.assign(data, data + std::min<long>(r.actualLength, 4096));
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_samples.size() < ScriptedSinkFilter::kKeptSamples)
    m_samples.push_back(std::move(r));
  ++m_count;
  m_changed.notify_all();
  return S_OK;
}

std::vector<ReceivedSample> GrabberRecorder::Samples() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_samples;
}

int GrabberRecorder::Count() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_count;
}

bool GrabberRecorder::WaitForSamples(int n, DWORD timeoutMs) const {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                            [this, n] { return m_count >= n; });
}

SourceRef::SourceRef(const SourceScript& script) {
  object = CreateTestSource(script);
  if (object)
    filter.Attach(static_cast<IBaseFilter*>(object));
}

void ExpectFillerFrames(const std::vector<ReceivedSample>& samples, const SourceScript& script,
                        size_t checkedBytes) {
  const long image = script.width * script.height * 4;
  for (size_t n = 0; n < samples.size(); ++n) {
    const ReceivedSample& s = samples[n];
    EXPECT_EQ(s.timeResult, S_OK) << "frame " << n;
    EXPECT_EQ(s.start, static_cast<REFERENCE_TIME>(n) * script.frameTime) << "frame " << n;
    EXPECT_EQ(s.stop, static_cast<REFERENCE_TIME>(n + 1) * script.frameTime) << "frame " << n;
    EXPECT_TRUE(s.syncPoint) << "frame " << n;
    EXPECT_EQ(s.actualLength, image) << "frame " << n;
    ASSERT_GE(s.data.size(), std::min<size_t>(checkedBytes, static_cast<size_t>(image)))
        << "frame " << n;
    size_t wrong = 0;
    for (size_t i = 0; i < std::min(checkedBytes, s.data.size()); ++i) {
      // frame n's byte i: (n + i) mod 256, computed independently here
      if (s.data[i] != static_cast<BYTE>((n + i) % 256))
        ++wrong;
    }
    EXPECT_EQ(wrong, 0u) << "frame " << n << " carries another frame's pattern";
  }
}
