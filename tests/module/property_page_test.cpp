// The about page as a property frame drives it, and as a user sees it inside
// the platform's property frame (needs a display: run under Xvfb).
#include <olectl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

#include "module_fixture.h"

namespace {

constexpr int kAboutTextId = 1001;
const std::string kAboutStart = std::string(kExpectedDeviceName) + " Ver400\r\nAuthor  ";

// A page site that counts its references and status changes.
class FakeSite : public IPropertyPageSite {
 public:
  LONG refs = 1;
  DWORD lastStatus = 0;
  int statusChanges = 0;

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPropertyPageSite)) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++refs); }
  STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(--refs); }
  STDMETHODIMP OnStatusChange(DWORD flags) override {
    lastStatus = flags;
    ++statusChanges;
    return S_OK;
  }
  STDMETHODIMP GetLocaleID(LCID* locale) override {
    *locale = LOCALE_USER_DEFAULT;
    return S_OK;
  }
  STDMETHODIMP GetPageContainer(IUnknown** container) override {
    *container = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP TranslateAccelerator(MSG*) override { return S_FALSE; }
};

std::string WindowText(HWND window) {
  char text[512] = {};
  SendMessageA(window, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text));
  return text;
}

// Writes the window's picture as a 24-bit BMP.
bool SaveWindowBitmap(HWND window, const std::string& path) {
  RECT rect = {};
  GetWindowRect(window, &rect);
  const int w = rect.right - rect.left;
  const int h = rect.bottom - rect.top;
  if (w <= 0 || h <= 0)
    return false;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
  HGDIOBJ old = SelectObject(memory, bitmap);
  // What is on the screen: the frame and every child as painted.
  BitBlt(memory, 0, 0, w, h, screen, rect.left, rect.top, SRCCOPY);
  SelectObject(memory, old);

  BITMAPINFOHEADER header = {};
  header.biSize = sizeof(header);
  header.biWidth = w;
  header.biHeight = h;
  header.biPlanes = 1;
  header.biBitCount = 24;
  const DWORD stride = ((w * 3) + 3) & ~3u;
  std::string pixels(stride * h, '\0');
  GetDIBits(memory, bitmap, 0, h, &pixels[0], reinterpret_cast<BITMAPINFO*>(&header),
            DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);

  BITMAPFILEHEADER file = {};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(file) + sizeof(header);
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  FILE* out = std::fopen(path.c_str(), "wb");
  if (!out)
    return false;
  std::fwrite(&file, sizeof(file), 1, out);
  std::fwrite(&header, sizeof(header), 1, out);
  std::fwrite(pixels.data(), 1, pixels.size(), out);
  std::fclose(out);
  return true;
}

// The first window an enumeration function (EnumChildWindows,
// EnumThreadWindows) hands out for which `wanted` holds.
struct WindowSearch {
  const std::function<bool(HWND)>& wanted;
  HWND found;
};

// Enumeration callbacks are CALLBACK functions (stdcall in the 32-bit build,
// to which a lambda does not convert).
BOOL CALLBACK StopAtWanted(HWND window, LPARAM param) {
  auto* s = reinterpret_cast<WindowSearch*>(param);
  if (!s->wanted(window))
    return TRUE;
  s->found = window;
  return FALSE;
}

BOOL CALLBACK CancelWindow(HWND window, LPARAM) {
  PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
  return TRUE;
}

template <typename Enumerate>
HWND FirstWindow(Enumerate enumerate, const std::function<bool(HWND)>& wanted) {
  WindowSearch search = {wanted, nullptr};
  enumerate(StopAtWanted, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND FindChildById(HWND parent, int id) {
  return FirstWindow(
      [parent](WNDENUMPROC proc, LPARAM param) { EnumChildWindows(parent, proc, param); },
      [id](HWND child) { return GetDlgCtrlID(child) == id; });
}

// The top-level window of `thread` that holds a control with id `id`.
HWND FindFrameWithChild(DWORD thread, int id) {
  return FirstWindow(
      [thread](WNDENUMPROC proc, LPARAM param) { EnumThreadWindows(thread, proc, param); },
      [id](HWND window) { return IsWindowVisible(window) && FindChildById(window, id); });
}

class PropertyPageTest : public ModuleTest {
 protected:
  ComPtr<IPropertyPage> CreatePage() {
    ComPtr<IClassFactory> factory;
    ComPtr<IPropertyPage> page;
    if (SUCCEEDED(GetClassObject(kPageClass, IID_IClassFactory, factory.PutVoid())))
      factory->CreateInstance(nullptr, IID_IPropertyPage, page.PutVoid());
    return page;
  }
};

}  // namespace

TEST_F(PropertyPageTest, PageInfoGivesTheTitleAndTheDialogSize) {
  ComPtr<IPropertyPage> page = CreatePage();
  ASSERT_TRUE(page);
  PROPPAGEINFO info = {};
  ASSERT_EQ(page->GetPageInfo(&info), S_OK);
  ASSERT_NE(info.pszTitle, nullptr);
  EXPECT_STREQ(info.pszTitle, L"General");
  EXPECT_EQ(info.pszDocString, nullptr);
  EXPECT_EQ(info.pszHelpFile, nullptr);
  EXPECT_EQ(info.dwHelpContext, 0u);
  // 187 x 93 dialog units in the dialog's font, in pixels.
  EXPECT_GT(info.size.cx, info.size.cy);
  EXPECT_GT(info.size.cx, 187);
  CoTaskMemFree(info.pszTitle);
  EXPECT_EQ(page->GetPageInfo(nullptr), E_POINTER);
}

TEST_F(PropertyPageTest, CallsOutOfOrderAreRefused) {
  ComPtr<IPropertyPage> page = CreatePage();
  ASSERT_TRUE(page);
  RECT rect = {0, 0, 300, 150};
  EXPECT_EQ(page->Activate(nullptr, &rect, FALSE), E_UNEXPECTED);  // no object yet
  EXPECT_EQ(page->Activate(nullptr, nullptr, FALSE), E_POINTER);
  EXPECT_EQ(page->Deactivate(), E_UNEXPECTED);
  EXPECT_EQ(page->Show(SW_SHOW), E_UNEXPECTED);
  EXPECT_EQ(page->Move(&rect), E_UNEXPECTED);
  EXPECT_EQ(page->Move(nullptr), E_POINTER);
  EXPECT_EQ(page->SetPageSite(nullptr), E_UNEXPECTED);
  EXPECT_EQ(page->Apply(), E_UNEXPECTED);
  EXPECT_EQ(page->IsPageDirty(), S_FALSE);
  EXPECT_EQ(page->Help(nullptr), E_NOTIMPL);
  EXPECT_EQ(page->TranslateAccelerator(nullptr), E_NOTIMPL);
  IUnknown* none = nullptr;
  EXPECT_EQ(page->SetObjects(1, &none), E_POINTER);
  EXPECT_EQ(page->Activate(nullptr, &rect, FALSE), E_UNEXPECTED);  // still no object
  IUnknown* two[2] = {page.Get(), page.Get()};
  EXPECT_EQ(page->SetObjects(2, two), E_UNEXPECTED);
}

TEST_F(PropertyPageTest, ActivePageShowsTheAboutTextAndTracksCommands) {
  ComPtr<IPropertyPage> page = CreatePage();
  ASSERT_TRUE(page);
  FakeSite site;
  ASSERT_EQ(page->SetPageSite(&site), S_OK);
  EXPECT_EQ(page->SetPageSite(&site), E_UNEXPECTED);
  ComPtr<IBaseFilter> filter = CreateFilter();
  IUnknown* object = filter.Get();
  ASSERT_EQ(page->SetObjects(1, &object), S_OK);

  HWND frame = CreateWindowExA(0, "STATIC", "frame", WS_OVERLAPPEDWINDOW, 0, 0, 400, 300, nullptr,
                               nullptr, nullptr, nullptr);
  ASSERT_NE(frame, nullptr);
  RECT rect = {0, 0, 360, 200};
  ASSERT_EQ(page->Activate(frame, &rect, TRUE), S_OK);
  EXPECT_EQ(page->Activate(frame, &rect, TRUE), E_UNEXPECTED);

  HWND text = FindChildById(frame, kAboutTextId);
  ASSERT_NE(text, nullptr);
  const std::string about = WindowText(text);
  EXPECT_EQ(about.rfind(kAboutStart, 0), 0u) << about;
  EXPECT_EQ(std::count(about.begin(), about.end(), '\n'), 2);
  const LONG style = GetWindowLongA(text, GWL_STYLE);
  EXPECT_TRUE(style & ES_READONLY);
  EXPECT_TRUE(style & ES_CENTER);
  EXPECT_TRUE(style & ES_MULTILINE);

  for (UINT command : {SW_HIDE, SW_SHOWNORMAL, SW_SHOW})
    EXPECT_EQ(page->Show(command), S_OK) << command;
  EXPECT_EQ(page->Show(SW_SHOWNOACTIVATE), E_INVALIDARG);

  // A command from the text box makes the page dirty and tells the site.
  EXPECT_EQ(page->IsPageDirty(), S_FALSE);
  SendMessageA(GetParent(text), WM_COMMAND, MAKEWPARAM(kAboutTextId, EN_SETFOCUS),
               reinterpret_cast<LPARAM>(text));
  EXPECT_EQ(page->IsPageDirty(), S_OK);
  EXPECT_EQ(site.lastStatus, static_cast<DWORD>(PROPPAGESTATUS_DIRTY));
  EXPECT_EQ(page->Apply(), S_OK);
  EXPECT_EQ(page->IsPageDirty(), S_FALSE);
  EXPECT_EQ(page->Apply(), S_OK);

  EXPECT_EQ(page->Deactivate(), S_OK);
  EXPECT_EQ(FindChildById(frame, kAboutTextId), nullptr);
  EXPECT_EQ(page->Deactivate(), E_UNEXPECTED);
  DestroyWindow(frame);

  // The last release lets go of the site exactly once.
  EXPECT_EQ(site.refs, 2);
  page.Reset();
  EXPECT_EQ(site.refs, 1);
  filter.Reset();
}

TEST_F(PropertyPageTest, PropertyFrameShowsTheAboutPage) {
  // The frame creates the page by its class id: the module must be registered.
  ASSERT_EQ(RegisterServer(), S_OK);
  ComPtr<IBaseFilter> filter = CreateFilter();
  ASSERT_TRUE(filter);

  std::atomic<bool> found{false};
  std::string about;
  std::string screenshot = ModuleFolder() + "\\..\\property-page.bmp";
  bool saved = false;
  const DWORD frameThread = GetCurrentThreadId();
  std::thread driver([&] {
    HWND frame = nullptr;
    HWND text = nullptr;
    for (int i = 0; i < 200 && !text; ++i) {  // a guard against a hang
      Sleep(50);
      frame = FindFrameWithChild(frameThread, kAboutTextId);
      if (frame)
        text = FindChildById(frame, kAboutTextId);
    }
    if (text) {
      found = true;
      about = WindowText(text);
      RedrawWindow(frame, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
      Sleep(500);  // let the frame paint
      saved = SaveWindowBitmap(frame, screenshot);
      PostMessageA(frame, WM_COMMAND, IDCANCEL, 0);
    } else {
      // Whatever the frame thread shows, close it so that the modal
      // frame returns.
      EnumThreadWindows(frameThread, CancelWindow, 0);
    }
  });
  IUnknown* object = filter.Get();
  CLSID page = kPageClass;
  const HRESULT hr = OleCreatePropertyFrame(nullptr, 0, 0, kExpectedDeviceNameW, 1, &object, 1,
                                            &page, LOCALE_USER_DEFAULT, 0, nullptr);
  driver.join();
  EXPECT_EQ(hr, S_OK);
  EXPECT_TRUE(found);
  EXPECT_EQ(about.rfind(kAboutStart, 0), 0u) << about;
  EXPECT_TRUE(saved);
  filter.Reset();
  CoFreeUnusedLibraries();
  EXPECT_EQ(UnregisterServer(), S_OK);
}
