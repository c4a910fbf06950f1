// The module's five exported entry points.
#include <windows.h>
#include <strmif.h>
#include <dshow.h>

#include <memory>
#include <new>

#include "server/class_factory.h"
#include "baseclasses/com_ptr.h"
#include "server/factory_template.h"
#include "server/guids.h"
#include "server/module_globals.h"
#include "server/registration.h"
#include "resources/product_names.h"
#ifdef ZD_MEDIA_SOURCE
#include "mediasource/media_source_class.h"
#endif

HINSTANCE g_module = nullptr;
DWORD g_platformId = VER_PLATFORM_WIN32_WINDOWS;
volatile LONG g_serverLocks = 0;

namespace {

#ifdef ZD_MEDIA_SOURCE
// The media source's class: outside the template table, so that registration
// leaves it alone (a system camera's registrar registers it).
const CFactoryTemplate kMediaSourceTemplate = {kFriendlyNameW, &CLSID_ZintuDobrelMediaSource,
                                               CreateMediaSourceInstance, nullptr, nullptr};
#endif

HRESULT NewFactory(const CFactoryTemplate* factoryTemplate, void** out) {
  auto* factory = new (std::nothrow) CClassFactory(factoryTemplate);
  if (!factory)
    return E_OUTOFMEMORY;
  factory->AddRef();
  *out = static_cast<IClassFactory*>(factory);
  return S_OK;
}

// The video capture source category record: as the filter description, but
// the pin names no filter it connects to.
const REGPINTYPES kCategoryPinTypes[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_NULL}};

const REGFILTERPINS kCategoryPins[] = {{
    const_cast<LPWSTR>(L"Output"),  // strName
    FALSE,                          // bRendered
    TRUE,                           // bOutput
    FALSE,                          // bZero
    FALSE,                          // bMany
    nullptr,                        // clsConnectsToFilter
    nullptr,                        // strConnectsToPin
    1,                              // nMediaTypes
    kCategoryPinTypes,              // lpMediaType
}};

REGFILTER2 MakeCategoryRecord() {
  REGFILTER2 record = {};
  record.dwVersion = 1;
  record.dwMerit = MERIT_DO_NOT_USE;
  record.cPins = 1;
  record.rgPins = kCategoryPins;
  return record;
}

HRESULT CreateFilterMapper2(ComPtr<IFilterMapper2>& mapper) {
  return CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                          reinterpret_cast<void**>(mapper.Put()));
}

// Writes (or removes) the class keys and the filter, then the filter's entry
// in the video capture source category. Runs on the caller's COM
// initialisation.
HRESULT RegisterModule(BOOL doRegister) {
  HRESULT hr = AMovieDllRegisterServer2(doRegister);
  if (FAILED(hr))
    return hr;
  ComPtr<IFilterMapper2> mapper;
  hr = CreateFilterMapper2(mapper);
  if (FAILED(hr))
    return hr;
  if (!doRegister)
    return mapper->UnregisterFilter(&CLSID_VideoInputDeviceCategory, kFriendlyNameW,
                                    CLSID_ZintuDobrel);
  const REGFILTER2 record = MakeCategoryRecord();
  return mapper->RegisterFilter(CLSID_ZintuDobrel, kFriendlyNameW, nullptr,
                                &CLSID_VideoInputDeviceCategory, kFriendlyNameW, &record);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID /*reserved*/) {
  g_module = module;
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(module);
    g_platformId = VER_PLATFORM_WIN32_WINDOWS;
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (GetVersionExA(&version))
      g_platformId = version.dwPlatformId;
#pragma GCC diagnostic pop
    for (int i = 0; i < g_cTemplates; ++i) {
      if (g_Templates[i].m_initRoutine)
        g_Templates[i].m_initRoutine(TRUE, g_Templates[i].m_clsid);
    }
  } else if (reason == DLL_PROCESS_DETACH) {
    for (int i = 0; i < g_cTemplates; ++i) {
      if (g_Templates[i].m_initRoutine)
        g_Templates[i].m_initRoutine(FALSE, g_Templates[i].m_clsid);
    }
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (!out)
    return E_POINTER;
  *out = nullptr;
  // The interface test comes before the class search.
  if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory))
    return E_NOINTERFACE;

  for (int i = 0; i < g_cTemplates; ++i) {
    if (IsEqualCLSID(clsid, *g_Templates[i].m_clsid))
      return NewFactory(&g_Templates[i], out);
  }
#ifdef ZD_MEDIA_SOURCE
  if (IsEqualCLSID(clsid, CLSID_ZintuDobrelMediaSource))
    return NewFactory(&kMediaSourceTemplate, out);
#endif
  return CLASS_E_CLASSNOTAVAILABLE;
}

STDAPI DllCanUnloadNow() {
  const LONG locks = InterlockedCompareExchange(&g_serverLocks, 0, 0);
  const LONG objects = InterlockedCompareExchange(&g_activeObjects, 0, 0);
  return (locks > 0 || objects != 0) ? S_FALSE : S_OK;
}

STDAPI DllRegisterServer() {
  return RegisterModule(TRUE);
}

STDAPI DllUnregisterServer() {
  return RegisterModule(FALSE);
}
