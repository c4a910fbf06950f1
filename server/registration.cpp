#include "server/registration.h"

#include <objbase.h>
#include <dshow.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "baseclasses/com_ptr.h"
#include "platform/unique_handle.h"
#include "platform/module_path.h"
#include "server/factory_template.h"
#include "server/module_globals.h"

namespace {

constexpr int kTextChars = MAX_PATH;  // 259 characters and the terminator
constexpr HRESULT kNotRegistered = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);  // 0x80070002

HRESULT FromWin32(LONG error) {
  return static_cast<HRESULT>(static_cast<ULONG>(error) | 0x80070000u);
}

// "CLSID\{...}" in ANSI, cut to 259 characters.
void FormatClassKeyPath(const CLSID& clsid, char (&path)[kTextChars]) {
  WCHAR clsidText[39] = {};
  StringFromGUID2(clsid, clsidText, 39);
  std::snprintf(path, kTextChars, "CLSID\\%ls", clsidText);
}

// Wide text cut to 259 characters, as every registry text is.
std::wstring RegistryText(const WCHAR* text) {
  if (!text)
    return std::wstring();
  const std::wstring whole(text);
  return whole.substr(0, kTextChars - 1);
}

// REG_SZ in the registry's own form, UTF-16: the exact text whatever the ANSI
// code page can spell. Text that the code page can spell is stored as the
// ANSI function stored it.
LONG SetStringValue(HKEY key, const WCHAR* valueName, const std::wstring& text) {
  return RegSetValueExW(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR)));
}

// The module's full path, exactly. A path that does not fit MAX_PATH is
// refused rather than registered cut short, and so is one that the module
// itself could not use to find its settings file and bitmaps (a name that is
// not valid UTF-16): registering it would record a module that cannot work.
HRESULT GetModulePath(WCHAR (&path)[kTextChars]) {
  SetLastError(ERROR_SUCCESS);
  const DWORD length = GetModuleFileNameW(g_module, path, kTextChars);
  if (length == 0)
    return FromWin32(static_cast<LONG>(GetLastError()));
  if (length >= static_cast<DWORD>(kTextChars))
    return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
  if (ModuleDirectory().empty())
    return HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION);
  return S_OK;
}

}  // namespace

HRESULT WriteServerKeys(const CLSID& clsid, const WCHAR* name, const WCHAR* modulePath,
                        const WCHAR* threadingModel, const WCHAR* serverType) {
  char ansiKeyPath[kTextChars];
  FormatClassKeyPath(clsid, ansiKeyPath);
  const std::wstring keyPath(ansiKeyPath, ansiKeyPath + std::strlen(ansiKeyPath));  // ASCII

  UniqueHkey classKey;
  LONG error = RegCreateKeyW(HKEY_CLASSES_ROOT, keyPath.c_str(), classKey.Put());
  if (error != ERROR_SUCCESS)
    return FromWin32(error);
  error = SetStringValue(classKey.Get(), nullptr, RegistryText(name));
  if (error != ERROR_SUCCESS)
    return FromWin32(error);

  UniqueHkey serverKey;
  error = RegCreateKeyW(classKey.Get(), RegistryText(serverType).c_str(), serverKey.Put());
  if (error != ERROR_SUCCESS)
    return FromWin32(error);
  error = SetStringValue(serverKey.Get(), nullptr, RegistryText(modulePath));
  if (error != ERROR_SUCCESS)
    return FromWin32(error);
  error = SetStringValue(serverKey.Get(), L"ThreadingModel", RegistryText(threadingModel));
  if (error != ERROR_SUCCESS)
    return FromWin32(error & 0xFFFF);
  return S_OK;
}

HRESULT DeleteKeyTree(HKEY root, const char* path) {
  if (!path || !*path)
    return E_FAIL;

  UniqueHkey key;
  if (RegOpenKeyExA(root, path, 0, MAXIMUM_ALLOWED, key.Put()) != ERROR_SUCCESS)
    return S_OK;  // nothing to delete

  // A sub-key that cannot be removed would be found at the same index
  // forever: step past it and go on with the next one.
  DWORD index = 0;
  for (;;) {
    char subKey[kTextChars + 1] = {};
    if (RegEnumKeyA(key.Get(), index, subKey, sizeof(subKey)) != ERROR_SUCCESS)
      break;
    DeleteKeyTree(key.Get(), subKey);
    UniqueHkey survivor;
    if (RegOpenKeyExA(key.Get(), subKey, 0, KEY_READ, survivor.Put()) == ERROR_SUCCESS)
      ++index;
  }
  key.Reset();
  RegDeleteKeyA(root, path);
  return S_OK;
}

HRESULT RegisterFilterViaMapper2(const AMOVIESETUP_FILTER* setup, IFilterMapper2* mapper,
                                 BOOL doRegister) {
  if (!setup)
    return S_FALSE;

  // Drops the default-category entry first; when registering the answer
  // does not matter.
  HRESULT hr = mapper->UnregisterFilter(nullptr, nullptr, *setup->clsID);
  if (doRegister) {
    REGFILTER2 record = {};
    record.dwVersion = 1;
    record.dwMerit = setup->dwMerit;
    record.cPins = setup->nPins;
    record.rgPins = setup->lpPin;
    hr = mapper->RegisterFilter(*setup->clsID, setup->strName, nullptr, nullptr, nullptr, &record);
  }
  return hr == kNotRegistered ? S_OK : hr;
}

HRESULT AMovieDllRegisterServer2(BOOL doRegister) {
  WCHAR modulePath[kTextChars] = {};
  HRESULT hr = GetModulePath(modulePath);
  if (FAILED(hr))
    return hr;

  if (doRegister) {
    for (int i = 0; i < g_cTemplates; ++i) {
      const CFactoryTemplate& row = g_Templates[i];
      hr = WriteServerKeys(*row.m_clsid, row.m_name, modulePath, L"Both", L"InprocServer32");
      if (FAILED(hr))
        return hr;
    }
  }

  const HRESULT coInit = CoInitialize(nullptr);
  {
    ComPtr<IFilterMapper2> mapper2;
    ComPtr<IFilterMapper> mapper1;
    hr = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                          reinterpret_cast<void**>(mapper2.Put()));
    if (FAILED(hr)) {
      hr = CoCreateInstance(CLSID_FilterMapper, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper,
                            reinterpret_cast<void**>(mapper1.Put()));
    }
    if (SUCCEEDED(hr)) {
      for (int i = 0; i < g_cTemplates; ++i) {
        const AMOVIESETUP_FILTER* setup = g_Templates[i].m_setupData;
        if (!setup)
          continue;
        hr = mapper2 ? RegisterFilterViaMapper2(setup, mapper2.Get(), doRegister)
                     : AMovieSetupRegisterFilter(setup, mapper1.Get(), doRegister);
        if (FAILED(hr))
          break;
      }
    }
  }  // the mappers are released before COM is left
  CoFreeUnusedLibraries();
  // Balances our own CoInitialize only (S_FALSE also counts as one).
  if (SUCCEEDED(coInit))
    CoUninitialize();

  if (FAILED(hr) || doRegister)
    return hr;

  for (int i = 0; i < g_cTemplates; ++i) {
    char keyPath[kTextChars];
    FormatClassKeyPath(*g_Templates[i].m_clsid, keyPath);
    DeleteKeyTree(HKEY_CLASSES_ROOT, keyPath);
  }
  return S_OK;
}
