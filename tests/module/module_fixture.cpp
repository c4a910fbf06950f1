#include "module_fixture.h"

#include <cstdio>

HMODULE ModuleTest::s_module = nullptr;

namespace {

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using NoArgumentFn = HRESULT(STDAPICALLTYPE*)();

template <class Fn>
Fn Export(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

std::string ProgramFolder() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path);
  return folder.substr(0, folder.find_last_of("\\/"));
}

}  // namespace

std::string ModuleTest::ModuleFolder() {
  return ProgramFolder() + "\\module_under_test";
}

void ModuleTest::WriteSettings(int useVideoInfoHeader2) {
  char text[4096];
  std::snprintf(text, sizeof(text), kTestSettings, useVideoInfoHeader2);
  WriteSettingsText(text);
}

void ModuleTest::WriteSettingsText(const std::string& text) {
  const std::string path = ModuleFolder() + "\\ZintuDobrel.ini";
  FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr) << path;
  std::fputs(text.c_str(), file);
  std::fclose(file);
}

void ModuleTest::SetUpTestSuite() {
#ifdef ZD_MODULE_TEST_STA
  // The property frame is a window of this thread.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
#else
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
#endif
  const std::string path = ModuleFolder() + "\\" + kExpectedModuleFile;
  s_module = LoadLibraryA(path.c_str());
}

void ModuleTest::TearDownTestSuite() {
  if (s_module)
    FreeLibrary(s_module);
  s_module = nullptr;
  CoUninitialize();
}

void ModuleTest::SetUp() {
  ASSERT_NE(s_module, nullptr) << "the module could not be loaded from " << ModuleFolder();
  WriteSettings(0);
}

void ModuleTest::TearDown() {
  // Every test releases what it made: the module may be unloaded again.
  EXPECT_EQ(CanUnloadNow(), S_OK);
}

HRESULT ModuleTest::GetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  return Export<GetClassObjectFn>(s_module, "DllGetClassObject")(clsid, iid, out);
}

HRESULT ModuleTest::CanUnloadNow() {
  return Export<NoArgumentFn>(s_module, "DllCanUnloadNow")();
}

HRESULT ModuleTest::RegisterServer() {
  return Export<NoArgumentFn>(s_module, "DllRegisterServer")();
}

HRESULT ModuleTest::UnregisterServer() {
  return Export<NoArgumentFn>(s_module, "DllUnregisterServer")();
}

ComPtr<IBaseFilter> ModuleTest::CreateFilter() {
  ComPtr<IClassFactory> factory;
  ComPtr<IBaseFilter> filter;
  if (FAILED(GetClassObject(kFilterClass, IID_IClassFactory, factory.PutVoid())))
    return filter;
  factory->CreateInstance(nullptr, IID_IBaseFilter, filter.PutVoid());
  return filter;
}

ComPtr<IPin> ModuleTest::OutputPin(IBaseFilter* filter) {
  ComPtr<IPin> pin;
  if (filter)
    filter->FindPin(L"1", pin.Put());
  return pin;
}
