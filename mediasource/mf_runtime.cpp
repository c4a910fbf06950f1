#include "mediasource/mf_runtime.h"

namespace {

template <class Fn>
bool Resolve(HMODULE library, const char* name, Fn* out) {
  *out = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name)));
  return *out != nullptr;
}

// True when every function was found.
bool Load(MfRuntime* mf) {
  const HMODULE library = LoadLibraryExW(L"mfplat.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  const HMODULE loaded = library ? library : LoadLibraryW(L"mfplat.dll");
  if (!loaded)
    return false;
  return Resolve(loaded, "MFStartup", &mf->Startup) &&
         Resolve(loaded, "MFShutdown", &mf->Shutdown) &&
         Resolve(loaded, "MFCreateAttributes", &mf->CreateAttributes) &&
         Resolve(loaded, "MFCreateEventQueue", &mf->CreateEventQueue) &&
         Resolve(loaded, "MFCreateMediaType", &mf->CreateMediaType) &&
         Resolve(loaded, "MFCreateStreamDescriptor", &mf->CreateStreamDescriptor) &&
         Resolve(loaded, "MFCreatePresentationDescriptor", &mf->CreatePresentationDescriptor) &&
         Resolve(loaded, "MFCreateSample", &mf->CreateSample) &&
         Resolve(loaded, "MFCreate2DMediaBuffer", &mf->Create2DMediaBuffer) &&
         Resolve(loaded, "MFCreateMemoryBuffer", &mf->CreateMemoryBuffer) &&
         Resolve(loaded, "MFGetSystemTime", &mf->GetSystemTime);
}

}  // namespace

const MfRuntime* MediaFoundation() {
  // Initialised once, by the first caller; later callers wait for it.
  static const MfRuntime* const runtime = []() -> const MfRuntime* {
    static MfRuntime table;
    return Load(&table) ? &table : nullptr;
  }();
  return runtime;
}
