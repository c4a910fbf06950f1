// Object identity of a whole framework filter: reference counts through every
// face of the filter, its pin and its enumerators, aggregation inside an
// outer object, and the module's live-object count.
#include "tests/framework/graph/graph_fixture.h"

namespace {

// An outer object that aggregates the test source, as a host that wraps a
// filter does: it holds the source's non-delegating face and hands every
// interface it does not know itself to it.
class TestOuter : public IUnknown {
 public:
  static TestOuter* Create(HRESULT* hr) {
    auto* outer = new TestOuter;
    outer->m_source = new CTestSource(outer, hr);
    // Called as INonDelegatingUnknown, never through an IUnknown cast of
    // it: the compiler knows the object's type here and may treat a call
    // through a cast pointer as undefined (it did: the call vanished).
    outer->m_inner = outer->m_source->Inner();
    outer->m_inner->NonDelegatingAddRef();  // the non-delegating count: 1
    return outer;
  }

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out)
      return E_POINTER;
    if (iid == IID_IUnknown) {
      *out = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    return m_inner->NonDelegatingQueryInterface(iid, out);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++m_refCount; }
  STDMETHODIMP_(ULONG) Release() override {
    const ULONG n = --m_refCount;
    if (n == 0) {
      m_inner->NonDelegatingRelease();
      delete this;
    }
    return n;
  }

  CTestSource* Source() const { return m_source; }
  // The inner object's own count, read through its non-delegating face.
  ULONG InnerCount() const {
    m_inner->NonDelegatingAddRef();
    return m_inner->NonDelegatingRelease();
  }
  ULONG Count() const { return m_refCount; }

 private:
  TestOuter() = default;
  virtual ~TestOuter() = default;
  std::atomic<ULONG> m_refCount{1};
  INonDelegatingUnknown* m_inner = nullptr;  // the source's non-delegating face; one reference
  CTestSource* m_source = nullptr;
};

template <typename T>
ComPtr<T> Query(IUnknown* from, REFIID iid) {
  ComPtr<T> out;
  from->QueryInterface(iid, out.PutVoid());
  return out;
}

}  // namespace

TEST_F(FrameworkGraphTest, FilterPinAndEnumeratorsCountOnTheFilterAndItDiesOnTheLastRelease) {
  const LONG before = g_activeObjects;
  CTestSource* source = CreateTestSource();
  ASSERT_TRUE(source);
  // The filter and its pin are live objects; enumerators are not.
  EXPECT_EQ(g_activeObjects, before + 2);
  IBaseFilter* filter = source;
  IPin* pin = source->Stream();

  EXPECT_EQ(filter->AddRef(), 2u);
  EXPECT_EQ(pin->AddRef(), 3u);  // a pin counts on its filter
  EXPECT_EQ(pin->Release(), 2u);
  EXPECT_EQ(filter->Release(), 1u);

  // Every face of the filter answers IUnknown with the one identity.
  IUnknown* identity = AsUnknown(source->Inner());
  const IID filterFaces[] = {IID_IBaseFilter, IID_IMediaFilter, IID_IPersist, IID_IAMovieSetup};
  for (const IID& iid : filterFaces) {
    ComPtr<IUnknown> face = Query<IUnknown>(filter, iid);
    ASSERT_TRUE(face);
    EXPECT_EQ(RefCountOf(filter), 2u);
    ComPtr<IUnknown> unknown = Query<IUnknown>(face.Get(), IID_IUnknown);
    EXPECT_EQ(unknown.Get(), identity);
    EXPECT_EQ(RefCountOf(filter), 3u);
  }
  // The pin is an object of its own, whose counting goes to the filter.
  const IID pinFaces[] = {IID_IPin, IID_IQualityControl, IID_IKsPropertySet};
  for (const IID& iid : pinFaces) {
    ComPtr<IUnknown> face = Query<IUnknown>(pin, iid);
    ASSERT_TRUE(face);
    EXPECT_EQ(RefCountOf(filter), 2u);
    ComPtr<IUnknown> unknown = Query<IUnknown>(face.Get(), IID_IUnknown);
    EXPECT_NE(unknown.Get(), identity);
    EXPECT_EQ(unknown.Get(), Query<IUnknown>(pin, IID_IUnknown).Get());
  }
  void* none = pin;
  EXPECT_EQ(pin->QueryInterface(IID_IBaseFilter, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(RefCountOf(filter), 1u);

  // Enumerators count themselves and hold the filter.
  ComPtr<IEnumPins> pins;
  ASSERT_EQ(filter->EnumPins(pins.Put()), S_OK);
  EXPECT_EQ(RefCountOf(pins.Get()), 1u);
  EXPECT_EQ(RefCountOf(filter), 2u);
  ComPtr<IEnumMediaTypes> types;
  ASSERT_EQ(pin->EnumMediaTypes(types.Put()), S_OK);
  EXPECT_EQ(RefCountOf(types.Get()), 1u);
  EXPECT_EQ(RefCountOf(filter), 3u);
  ComPtr<IEnumPins> pinsClone;
  ASSERT_EQ(pins->Clone(pinsClone.Put()), S_OK);
  ComPtr<IEnumMediaTypes> typesClone;
  ASSERT_EQ(types->Clone(typesClone.Put()), S_OK);
  EXPECT_EQ(RefCountOf(filter), 5u);
  EXPECT_EQ(Query<IUnknown>(pins.Get(), IID_IUnknown).Get(), static_cast<IUnknown*>(pins.Get()));
  EXPECT_EQ(Query<IUnknown>(types.Get(), IID_IUnknown).Get(), static_cast<IUnknown*>(types.Get()));
  EXPECT_EQ(g_activeObjects, before + 2);
  pins.Reset();
  types.Reset();
  pinsClone.Reset();
  typesClone.Reset();
  EXPECT_EQ(RefCountOf(filter), 1u);

  EXPECT_EQ(filter->Release(), 0u);
  EXPECT_EQ(g_activeObjects, before);
}

TEST_F(FrameworkGraphTest, AggregatedFilterRoutesEveryFaceToTheOuterObject) {
  const LONG before = g_activeObjects;
  HRESULT hr = S_OK;
  TestOuter* outer = TestOuter::Create(&hr);
  ASSERT_EQ(hr, S_OK);
  EXPECT_EQ(g_activeObjects, before + 2);
  EXPECT_EQ(outer->InnerCount(), 1u);

  const IID filterFaces[] = {IID_IBaseFilter, IID_IMediaFilter, IID_IPersist, IID_IAMovieSetup};
  for (const IID& iid : filterFaces) {
    ComPtr<IUnknown> face = Query<IUnknown>(outer, iid);
    ASSERT_TRUE(face);
    EXPECT_EQ(outer->Count(), 2u);
    EXPECT_EQ(face->AddRef(), 3u);  // the outer count, unchanged
    EXPECT_EQ(face->Release(), 2u);
    EXPECT_EQ(outer->InnerCount(), 1u);
    EXPECT_EQ(Query<IUnknown>(face.Get(), IID_IUnknown).Get(), static_cast<IUnknown*>(outer));
  }
  EXPECT_EQ(outer->Count(), 1u);

  // The pin's and the enumerators' references reach the outer object too.
  IPin* pin = outer->Source()->Stream();
  EXPECT_EQ(pin->AddRef(), 2u);
  EXPECT_EQ(outer->Count(), 2u);
  EXPECT_EQ(pin->Release(), 1u);
  {
    ComPtr<IBaseFilter> filter = Query<IBaseFilter>(outer, IID_IBaseFilter);
    ComPtr<IEnumPins> pins;
    ASSERT_EQ(filter->EnumPins(pins.Put()), S_OK);
    ComPtr<IPin> first;
    ASSERT_EQ(pins->Next(1, first.Put(), nullptr), S_OK);
    EXPECT_EQ(first.Get(), pin);
    PIN_INFO info = {};
    ASSERT_EQ(first->QueryPinInfo(&info), S_OK);
    EXPECT_EQ(Query<IUnknown>(info.pFilter, IID_IUnknown).Get(), static_cast<IUnknown*>(outer));
    info.pFilter->Release();
    EXPECT_EQ(outer->Count(), 4u);  // ours, filter, enumerator, pin
    EXPECT_EQ(outer->InnerCount(), 1u);
  }
  EXPECT_EQ(outer->Count(), 1u);

  // In the platform's graph the aggregated filter streams like any other.
  {
    Graph graph;
    ASSERT_TRUE(graph.Create());
    ComPtr<IBaseFilter> filter = Query<IBaseFilter>(outer, IID_IBaseFilter);
    ComPtr<IBaseFilter> renderer;
    ASSERT_EQ(ConnectToNullRenderer(graph, filter.Get(), pin, renderer), S_OK);
    CTestStream* stream = outer->Source()->Stream();
    auto describe = [stream] {
      return "worker starts " + std::to_string(stream->m_threadCreates) + ", ends " +
             std::to_string(stream->m_threadDestroys) + ", frames " +
             std::to_string(stream->m_frames);
    };
    {
      Watchdog run("run the graph with the aggregated filter", 20, describe);
      ASSERT_EQ(ChangeGraphState(graph.control.Get(), State_Running), S_OK);
    }
    {
      Watchdog stop("stop the graph with the aggregated filter", 20, describe);
      ASSERT_EQ(ChangeGraphState(graph.control.Get(), State_Stopped), S_OK);
    }
    EXPECT_EQ(stream->m_threadCreates, 1);
    Watchdog release("release the graph with the aggregated filter", 20, describe);
    graph = Graph();
    filter.Reset();
  }
  EXPECT_EQ(outer->Count(), 1u);
  EXPECT_EQ(outer->InnerCount(), 1u);

  EXPECT_EQ(outer->Release(), 0u);
  EXPECT_EQ(g_activeObjects, before);
}
