// A host loads the module itself, builds a capture graph around the filter,
// streams, and lets everything go: the module must then agree to be unloaded.
#include <gtest/gtest.h>

#include <control.h>
#include <strmif.h>
#include <uuids.h>

#include "baseclasses/com_ptr.h"
#include "server/guids.h"
#include "tests/hosts/host_support.h"
#include "tools/capture/com_util.h"

namespace zdhost {
namespace {

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();

const CLSID kNullRendererClsid = {
    0xC1F400A4, 0x3F08, 0x11D3, {0x9F, 0x0B, 0x00, 0x60, 0x08, 0x03, 0x9E, 0x37}};

class LoadedModule {
 public:
  LoadedModule() : m_module(LoadLibraryA(ModulePath().c_str())) {}
  LoadedModule(const LoadedModule&) = delete;
  LoadedModule& operator=(const LoadedModule&) = delete;
  ~LoadedModule() {
    if (m_module)
      FreeLibrary(m_module);
  }
  bool Loaded() const { return m_module != nullptr; }
  HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) const {
    auto fn = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void*>(GetProcAddress(m_module, "DllGetClassObject")));
    return fn ? fn(clsid, iid, out) : E_NOTIMPL;
  }
  HRESULT CanUnloadNow() const {
    auto fn = reinterpret_cast<CanUnloadNowFn>(
        reinterpret_cast<void*>(GetProcAddress(m_module, "DllCanUnloadNow")));
    return fn ? fn() : E_NOTIMPL;
  }

 private:
  HMODULE m_module;
};

enum class Ending { kStopThenRelease, kReleaseWhileRunning, kNeverRun };

TEST(ModuleLifetime, UnloadableOnceTheHostHasReleasedGraphFilterAndFactory) {
  zdcap::ComApartment apartment(COINIT_MULTITHREADED);
  LoadedModule module;
  ASSERT_TRUE(module.Loaded()) << ModulePath();
  EXPECT_EQ(module.CanUnloadNow(), S_OK) << "nothing made yet";

  for (Ending ending :
       {Ending::kStopThenRelease, Ending::kReleaseWhileRunning, Ending::kNeverRun}) {
    SCOPED_TRACE(static_cast<int>(ending));
    {
      ComPtr<IClassFactory> factory;
      ASSERT_EQ(module.GetClassObject(CLSID_ZintuDobrel, IID_IClassFactory, factory.PutVoid()),
                S_OK);
      EXPECT_EQ(module.CanUnloadNow(), S_FALSE) << "a live class factory keeps the module";
      ComPtr<IBaseFilter> filter;
      ASSERT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, filter.PutVoid()), S_OK);
      factory.Reset();
      EXPECT_EQ(module.CanUnloadNow(), S_FALSE) << "a live filter keeps the module";

      ComPtr<IGraphBuilder> graph;
      ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_IGraphBuilder, graph.PutVoid()),
                S_OK);
      ComPtr<ICaptureGraphBuilder2> builder;
      ASSERT_EQ(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_ICaptureGraphBuilder2, builder.PutVoid()),
                S_OK);
      ASSERT_EQ(builder->SetFiltergraph(graph.Get()), S_OK);
      ComPtr<IBaseFilter> renderer;
      ASSERT_EQ(CoCreateInstance(kNullRendererClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                 renderer.PutVoid()),
                S_OK);
      ASSERT_EQ(graph->AddFilter(filter.Get(), L"Zintu Dobrel x64"), S_OK);
      ASSERT_EQ(graph->AddFilter(renderer.Get(), L"Null renderer"), S_OK);
      ASSERT_TRUE(SUCCEEDED(builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video,
                                                  filter.Get(), nullptr, renderer.Get())));
      // The host also holds the stream configuration, as capture
      // applications do while they run.
      ComPtr<IAMStreamConfig> config;
      ASSERT_EQ(builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, filter.Get(),
                                       IID_IAMStreamConfig, config.PutVoid()),
                S_OK);
      ComPtr<IMediaControl> control;
      ASSERT_EQ(graph.As(IID_IMediaControl, &control), S_OK);
      if (ending != Ending::kNeverRun) {
        ASSERT_TRUE(SUCCEEDED(control->Run()));
        Sleep(300);  // a few frames
        if (ending == Ending::kStopThenRelease) {
          EXPECT_TRUE(SUCCEEDED(control->Stop()));
        }
      }
      EXPECT_EQ(module.CanUnloadNow(), S_FALSE) << "the graph holds the filter";
    }
    EXPECT_EQ(module.CanUnloadNow(), S_OK) << "everything released";
  }

  // A server lock alone keeps the module.
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(module.GetClassObject(CLSID_ZintuDobrel, IID_IClassFactory, factory.PutVoid()), S_OK);
  ASSERT_EQ(factory->LockServer(TRUE), S_OK);
  factory.Reset();
  EXPECT_EQ(module.CanUnloadNow(), S_FALSE);
  ASSERT_EQ(module.GetClassObject(CLSID_ZintuDobrel, IID_IClassFactory, factory.PutVoid()), S_OK);
  ASSERT_EQ(factory->LockServer(FALSE), S_OK);
  factory.Reset();
  EXPECT_EQ(module.CanUnloadNow(), S_OK);
}

}  // namespace
}  // namespace zdhost
