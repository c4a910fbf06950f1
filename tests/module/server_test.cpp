// The COM server as a host sees it: class objects, the factory, unloading,
// registration, and the filter's interfaces, state, pages and pin.
#include <string>

#include "module_fixture.h"

namespace {

// {00000000-1111-2222-3333-444444444444}: a class the module does not serve.
const CLSID kUnknownClass = {0, 0x1111, 0x2222, {0x33, 0x33, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44}};

}  // namespace

TEST_F(ModuleTest, ClassObjectsAreHandedOutOnlyForTheFactoryInterfacesAndKnownClasses) {
  struct Case {
    const CLSID* clsid;
    const IID* iid;
    HRESULT expected;
  };
  const Case cases[] = {
      {&kFilterClass, &IID_IClassFactory, S_OK},
      {&kFilterClass, &IID_IUnknown, S_OK},
      {&kPageClass, &IID_IClassFactory, S_OK},
      {&kFilterClass, &IID_IPersist, E_NOINTERFACE},
      // The interface test comes before the class search.
      {&kUnknownClass, &IID_IPersist, E_NOINTERFACE},
      {&kUnknownClass, &IID_IUnknown, CLASS_E_CLASSNOTAVAILABLE},
      {&kUnknownClass, &IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
  };
  for (const Case& c : cases) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(GetClassObject(*c.clsid, *c.iid, &out), c.expected);
    if (SUCCEEDED(c.expected)) {
      ASSERT_NE(out, nullptr);
      static_cast<IUnknown*>(out)->Release();
    } else {
      EXPECT_EQ(out, nullptr);
    }
  }
  EXPECT_EQ(GetClassObject(kFilterClass, IID_IClassFactory, nullptr), E_POINTER);
}

TEST_F(ModuleTest, AHeldFactoryOrServerLockKeepsTheModuleLoaded) {
  ASSERT_EQ(CanUnloadNow(), S_OK);
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(GetClassObject(kFilterClass, IID_IClassFactory, factory.PutVoid()), S_OK);
  EXPECT_EQ(CanUnloadNow(), S_FALSE);

  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory.Reset();
  EXPECT_EQ(CanUnloadNow(), S_FALSE);

  ASSERT_EQ(GetClassObject(kFilterClass, IID_IClassFactory, factory.PutVoid()), S_OK);
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  factory.Reset();
  EXPECT_EQ(CanUnloadNow(), S_OK);
}

TEST_F(ModuleTest, FactoryRefusesAggregationForAnyInterfaceButIUnknown) {
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(GetClassObject(kFilterClass, IID_IClassFactory, factory.PutVoid()), S_OK);

  // A stand-in outer object: only its identity matters to the refusal.
  ComPtr<IClassFactory> outer;
  ASSERT_EQ(GetClassObject(kPageClass, IID_IClassFactory, outer.PutVoid()), S_OK);
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(outer.Get(), IID_IBaseFilter, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IBaseFilter, nullptr), E_POINTER);

  // An interface the filter does not have leaves no filter alive.
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IPin, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  factory.Reset();
  outer.Reset();
  EXPECT_EQ(CanUnloadNow(), S_OK);
}

TEST_F(ModuleTest, FilterAnswersExactlyItsOwnInterfaces) {
  ComPtr<IBaseFilter> filter = CreateFilter();
  ASSERT_TRUE(filter);
  struct Case {
    const IID* iid;
    bool present;
  };
  const Case cases[] = {
      {&IID_ISpecifyPropertyPages, true},
      {&IID_IBaseFilter, true},
      {&IID_IMediaFilter, true},
      {&IID_IPersist, true},
      {&IID_IAMovieSetup, true},
      {&IID_IAMFilterMiscFlags, true},
      {&IID_IUnknown, true},
      {&IID_IPin, false},
      {&IID_IAMStreamConfig, false},
      {&IID_IPropertyPage, false},
      {&IID_IKsPropertySet, false},
  };
  for (const Case& c : cases) {
    void* out = reinterpret_cast<void*>(1);
    const HRESULT hr = filter->QueryInterface(*c.iid, &out);
    if (c.present) {
      EXPECT_EQ(hr, S_OK);
      ASSERT_NE(out, nullptr);
      static_cast<IUnknown*>(out)->Release();
    } else {
      EXPECT_EQ(hr, E_NOINTERFACE);
      EXPECT_EQ(out, nullptr);
    }
  }
  CLSID clsid = {};
  EXPECT_EQ(Query<IPersist>(filter.Get(), IID_IPersist)->GetClassID(&clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, kFilterClass));
  // No setup data: the filter registers nothing itself.
  EXPECT_EQ(Query<IAMovieSetup>(filter.Get(), IID_IAMovieSetup)->Register(), S_FALSE);
}

TEST_F(ModuleTest, GetStateReportsThatAPausedFilterCannotCue) {
  ComPtr<IBaseFilter> filter = CreateFilter();
  ASSERT_TRUE(filter);
  FILTER_STATE state = State_Running;
  EXPECT_EQ(filter->GetState(INFINITE, &state), S_OK);
  EXPECT_EQ(state, State_Stopped);
  // The pin is not connected: no worker starts.
  ASSERT_EQ(filter->Pause(), S_OK);
  EXPECT_EQ(filter->GetState(0, &state), VFW_S_CANT_CUE);
  EXPECT_EQ(state, State_Paused);
  ASSERT_EQ(filter->Run(0), S_OK);
  EXPECT_EQ(filter->GetState(1000, &state), S_OK);
  EXPECT_EQ(state, State_Running);
  ASSERT_EQ(filter->Stop(), S_OK);
  EXPECT_EQ(filter->GetState(0, nullptr), E_POINTER);
}

TEST_F(ModuleTest, FilterNamesItsAboutPage) {
  ComPtr<IBaseFilter> filter = CreateFilter();
  auto pages = Query<ISpecifyPropertyPages>(filter.Get(), IID_ISpecifyPropertyPages);
  ASSERT_TRUE(pages);
  CAUUID list = {};
  ASSERT_EQ(pages->GetPages(&list), S_OK);
  ASSERT_EQ(list.cElems, 1u);
  ASSERT_NE(list.pElems, nullptr);
  EXPECT_TRUE(IsEqualGUID(list.pElems[0], kPageClass));
  CoTaskMemFree(list.pElems);
  EXPECT_EQ(pages->GetPages(nullptr), E_POINTER);
}

TEST_F(ModuleTest, FilterHasOneOutputPinNamedLikeTheDevice) {
  ComPtr<IBaseFilter> filter = CreateFilter();
  ASSERT_TRUE(filter);
  ComPtr<IPin> pin = OutputPin(filter.Get());
  ASSERT_TRUE(pin);
  PIN_INFO info = {};
  ASSERT_EQ(pin->QueryPinInfo(&info), S_OK);
  EXPECT_STREQ(info.achName, kExpectedDeviceNameW);
  EXPECT_EQ(info.dir, PINDIR_OUTPUT);
  EXPECT_EQ(info.pFilter, filter.Get());
  if (info.pFilter)
    info.pFilter->Release();

  ComPtr<IPin> other;
  EXPECT_EQ(filter->FindPin(L"2", other.Put()), VFW_E_NOT_FOUND);
  // The pin's own interfaces are reached through the pin.
  EXPECT_TRUE(Query<IAMStreamConfig>(pin.Get(), IID_IAMStreamConfig));
  EXPECT_TRUE(Query<IKsPropertySet>(pin.Get(), IID_IKsPropertySet));
  EXPECT_TRUE(Query<IQualityControl>(pin.Get(), IID_IQualityControl));
  EXPECT_FALSE(Query<IBaseFilter>(pin.Get(), IID_IBaseFilter));
  EXPECT_EQ(pin->QueryInterface(IID_IPin, nullptr), E_POINTER);

  Quality quality = {};
  EXPECT_EQ(Query<IQualityControl>(pin.Get(), IID_IQualityControl)->Notify(filter.Get(), quality),
            S_OK);
}

TEST_F(ModuleTest, RegistrationWritesBothClassKeysAndUnregistrationRemovesThem) {
  ASSERT_EQ(RegisterServer(), S_OK);
  struct Key {
    const char* path;
    const char* name;
  };
  const Key keys[] = {
      {"CLSID\\{DE946144-E77A-42EE-93BE-7E3E48DA72FA}", kExpectedDeviceName},
      {"CLSID\\{A779761B-0B25-461F-8A11-684EBA0C32ED}", kExpectedPageClassName},
  };
  char modulePath[MAX_PATH] = {};
  GetModuleFileNameA(s_module, modulePath, MAX_PATH);
  for (const Key& key : keys) {
    char value[MAX_PATH] = {};
    LONG size = sizeof(value);
    ASSERT_EQ(RegQueryValueA(HKEY_CLASSES_ROOT, key.path, value, &size), ERROR_SUCCESS);
    EXPECT_STREQ(value, key.name);
    const std::string server = std::string(key.path) + "\\InprocServer32";
    size = sizeof(value);
    ASSERT_EQ(RegQueryValueA(HKEY_CLASSES_ROOT, server.c_str(), value, &size), ERROR_SUCCESS);
    EXPECT_STREQ(value, modulePath);
    DWORD length = sizeof(value);
    ASSERT_EQ(RegGetValueA(HKEY_CLASSES_ROOT, server.c_str(), "ThreadingModel", RRF_RT_REG_SZ,
                           nullptr, value, &length),
              ERROR_SUCCESS);
    EXPECT_STREQ(value, "Both");
  }

  EXPECT_EQ(UnregisterServer(), S_OK);
  for (const Key& key : keys) {
    HKEY handle = nullptr;
    EXPECT_NE(RegOpenKeyExA(HKEY_CLASSES_ROOT, key.path, 0, KEY_READ, &handle), ERROR_SUCCESS);
    if (handle)
      RegCloseKey(handle);
  }
}

namespace {

// Place and size of a dialog or control in dialog units: "x,y widthxheight".
std::string Box(short x, short y, short cx, short cy) {
  return std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(cx) + "x" +
         std::to_string(cy);
}

}  // namespace

TEST_F(ModuleTest, AboutDialogTemplateIsAChildPageWithOneReadOnlyTextBox) {
  HRSRC resource =
      FindResourceExA(s_module, MAKEINTRESOURCEA(5) /* RT_DIALOG */, MAKEINTRESOURCEA(104),
                      MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
  ASSERT_NE(resource, nullptr);
  const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(s_module, resource)));
  ASSERT_NE(bytes, nullptr);
  const DWORD size = SizeofResource(s_module, resource);
  ASSERT_GE(size, 18u);

  const auto* dialog = reinterpret_cast<const DLGTEMPLATE*>(bytes);
  EXPECT_EQ(dialog->style, 0x40000040u);  // WS_CHILD | DS_SETFONT
  EXPECT_EQ(dialog->dwExtendedStyle, 0u);
  EXPECT_EQ(dialog->cdit, 1);
  EXPECT_EQ(Box(dialog->x, dialog->y, dialog->cx, dialog->cy), "0,0 187x93");
  // No menu, default class, no caption, then the font.
  const auto* words = reinterpret_cast<const WORD*>(bytes + 18);
  EXPECT_EQ(words[0], 0);
  EXPECT_EQ(words[1], 0);
  EXPECT_EQ(words[2], 0);
  EXPECT_EQ(words[3], 9);
  const auto* fontName = reinterpret_cast<const wchar_t*>(&words[4]);
  EXPECT_STREQ(fontName, L"Microsoft Sans Serif");

  size_t offset = reinterpret_cast<const BYTE*>(fontName + wcslen(fontName) + 1) - bytes;
  offset = (offset + 3) & ~size_t(3);
  ASSERT_LE(offset + sizeof(DLGITEMTEMPLATE), size);
  const auto* item = reinterpret_cast<const DLGITEMTEMPLATE*>(bytes + offset);
  EXPECT_EQ(item->style, 0x50811885u);
  EXPECT_EQ(Box(item->x, item->y, item->cx, item->cy), "5,5 175x85");
  EXPECT_EQ(item->id, 1001);

  wchar_t title[64] = {};
  EXPECT_EQ(LoadStringW(s_module, 101, title, 64), 7);
  EXPECT_STREQ(title, L"General");
}
