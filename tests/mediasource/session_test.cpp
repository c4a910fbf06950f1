// The media source in a media session, its frames taken by a sample-grabber
// sink that ignores the presentation clock: they arrive in order.
#include <mferror.h>

#include <atomic>
#include <mutex>

#include "tests/mediasource/mf_fixture.h"

namespace {

constexpr int kFrames = 6;

class Grabber final : public IMFSampleGrabberSinkCallback {
 public:
  explicit Grabber(const ExpectedType& type) : m_type(type) {
    m_done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  }
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out)
      return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMFClockStateSink) ||
        IsEqualIID(iid, IID_IMFSampleGrabberSinkCallback)) {
      *out = static_cast<IMFSampleGrabberSinkCallback*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG refs = --m_refs;
    if (refs == 0)
      delete this;
    return refs;
  }
  STDMETHODIMP OnClockStart(MFTIME, LONGLONG) override { return S_OK; }
  STDMETHODIMP OnClockStop(MFTIME) override { return S_OK; }
  STDMETHODIMP OnClockPause(MFTIME) override { return S_OK; }
  STDMETHODIMP OnClockRestart(MFTIME) override { return S_OK; }
  STDMETHODIMP OnClockSetRate(MFTIME, float) override { return S_OK; }
  STDMETHODIMP OnSetPresentationClock(IMFPresentationClock*) override { return S_OK; }
  STDMETHODIMP OnShutdown() override { return S_OK; }
  STDMETHODIMP OnProcessSample(REFGUID, DWORD, LONGLONG, LONGLONG, const BYTE* data,
                               DWORD size) override {
    std::lock_guard<std::mutex> lock(m_lock);
    if (int(m_numbers.size()) >= kFrames)
      return S_OK;
    const zdcap::SampleCode code = ReadCode(data, size, m_type);
    m_numbers.push_back(code.frame.status == FrameCodeStatus::kDecoded
                            ? int64_t(code.frame.payload.frame_number)
                            : -1);
    if (int(m_numbers.size()) == kFrames)
      SetEvent(m_done);
    return S_OK;
  }
  HANDLE Done() const { return m_done; }
  std::vector<int64_t> Numbers() {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_numbers;
  }

 private:
  ~Grabber() { CloseHandle(m_done); }
  std::atomic<ULONG> m_refs{1};
  const ExpectedType& m_type;
  HANDLE m_done;
  std::mutex m_lock;
  std::vector<int64_t> m_numbers;
};

// The next session event of the given type, within ten seconds.
bool WaitForSessionEvent(IMFMediaSession* session, MediaEventType wanted) {
  for (int i = 0; i < 1000; ++i) {
    ComPtr<IMFMediaEvent> event;
    const HRESULT hr = session->GetEvent(MF_EVENT_FLAG_NO_WAIT, event.Put());
    if (hr == MF_E_NO_EVENTS_AVAILABLE) {
      Sleep(10);
      continue;
    }
    MediaEventType type = MEUnknown;
    if (FAILED(hr) || FAILED(event->GetType(&type)))
      return false;
    if (type == wanted)
      return true;
  }
  return false;
}

}  // namespace

TEST_F(MediaSourceTest, MediaSessionDeliversFramesInOrder) {
  ComPtr<IMFMediaSource> source = CreateSource();
  ASSERT_TRUE(source);
  ComPtr<IMFPresentationDescriptor> presentation;
  ASSERT_EQ(source->CreatePresentationDescriptor(presentation.Put()), S_OK);
  BOOL selected = FALSE;
  ComPtr<IMFStreamDescriptor> stream;
  ASSERT_EQ(presentation->GetStreamDescriptorByIndex(0, &selected, stream.Put()), S_OK);
  ComPtr<IMFMediaTypeHandler> handler;
  ASSERT_EQ(stream->GetMediaTypeHandler(handler.Put()), S_OK);
  ComPtr<IMFMediaType> type;
  ASSERT_EQ(handler->GetMediaTypeByIndex(0, type.Put()), S_OK);  // YUY2
  ASSERT_EQ(handler->SetCurrentMediaType(type.Get()), S_OK);

  ComPtr<Grabber> grabber;
  grabber.Attach(new Grabber(kExpectedTypes[0]));
  ComPtr<IMFActivate> sink;
  ASSERT_EQ(MFCreateSampleGrabberSinkActivate(type.Get(), grabber.Get(), sink.Put()), S_OK);
  ASSERT_EQ(sink->SetUINT32(MF_SAMPLEGRABBERSINK_IGNORE_CLOCK, TRUE), S_OK);

  ComPtr<IMFTopology> topology;
  ASSERT_EQ(MFCreateTopology(topology.Put()), S_OK);
  ComPtr<IMFTopologyNode> sourceNode, outputNode;
  ASSERT_EQ(MFCreateTopologyNode(MF_TOPOLOGY_SOURCESTREAM_NODE, sourceNode.Put()), S_OK);
  sourceNode->SetUnknown(MF_TOPONODE_SOURCE, source.Get());
  sourceNode->SetUnknown(MF_TOPONODE_PRESENTATION_DESCRIPTOR, presentation.Get());
  sourceNode->SetUnknown(MF_TOPONODE_STREAM_DESCRIPTOR, stream.Get());
  ASSERT_EQ(MFCreateTopologyNode(MF_TOPOLOGY_OUTPUT_NODE, outputNode.Put()), S_OK);
  outputNode->SetObject(sink.Get());
  ASSERT_EQ(topology->AddNode(sourceNode.Get()), S_OK);
  ASSERT_EQ(topology->AddNode(outputNode.Get()), S_OK);
  ASSERT_EQ(sourceNode->ConnectOutput(0, outputNode.Get(), 0), S_OK);

  ComPtr<IMFMediaSession> session;
  ASSERT_EQ(MFCreateMediaSession(nullptr, session.Put()), S_OK);
  ASSERT_EQ(session->SetTopology(0, topology.Get()), S_OK);
  PROPVARIANT start;
  PropVariantInit(&start);
  ASSERT_EQ(session->Start(&GUID_NULL, &start), S_OK);
  const bool arrived = WaitForSingleObject(grabber->Done(), 20000) == WAIT_OBJECT_0;
  session->Stop();
  session->Close();
  EXPECT_TRUE(WaitForSessionEvent(session.Get(), MESessionClosed));
  session->Shutdown();
  source->Shutdown();
  sink->ShutdownObject();

  ASSERT_TRUE(arrived) << "the session delivered " << grabber->Numbers().size() << " frames";
  const std::vector<int64_t> numbers = grabber->Numbers();
  for (int n = 0; n < kFrames; ++n)
    EXPECT_EQ(numbers[size_t(n)], n);
}
