#include "server/base_property_page.h"

#include <objbase.h>

#include "server/module_globals.h"

namespace {

constexpr int kTitleChars = 256;
constexpr size_t kMaxDuplicateChars = 50000;
constexpr int kDefaultPageWidth = 340;
constexpr int kDefaultPageHeight = 150;

// Creates the dialog once, unattached to any page, to learn its pixel size.
bool MeasureDialog(int dialogId, SIZE* size) {
  HWND dialog = CreateDialogParamA(g_module, MAKEINTRESOURCEA(dialogId), GetDesktopWindow(),
                                   CBasePropertyPage::PageDialogProc, 0);
  if (!dialog)
    return false;
  RECT rect = {};
  GetWindowRect(dialog, &rect);
  size->cx = rect.right - rect.left;
  size->cy = rect.bottom - rect.top;
  DestroyWindow(dialog);
  return true;
}

}  // namespace

void LoadWideResourceString(UINT id, WCHAR* text, int capacity) {
  text[0] = L'\0';
  if (g_platformId == VER_PLATFORM_WIN32_NT) {
    if (LoadStringW(g_module, id, text, capacity) <= 0)
      text[0] = L'\0';
    return;
  }
  char ansi[kTitleChars] = {};
  if (LoadStringA(g_module, id, ansi, kTitleChars) <= 0)
    return;
  if (MultiByteToWideChar(CP_ACP, 0, ansi, -1, text, capacity) == 0)
    text[0] = L'\0';
}

HRESULT DuplicateWideString(const WCHAR* text, LPOLESTR* copy) {
  if (!copy)
    return E_POINTER;
  *copy = nullptr;
  if (!text)
    return E_INVALIDARG;
  size_t length = 0;
  while (length < kMaxDuplicateChars && text[length] != L'\0')
    ++length;
  if (length == kMaxDuplicateChars)
    return E_INVALIDARG;
  const size_t bytes = (length + 1) * sizeof(WCHAR);
  auto* buffer = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
  if (!buffer)
    return E_OUTOFMEMORY;
  CopyMemory(buffer, text, bytes);
  *copy = buffer;
  return S_OK;
}

CBasePropertyPage::CBasePropertyPage(IUnknown* outer, int dialogId, int titleId)
    : CUnknown(outer), m_titleId(titleId), m_dialogId(dialogId) {}

CBasePropertyPage::~CBasePropertyPage() {
  // A host that releases an active page: the window must not outlive the
  // page its procedure points to.
  if (m_window) {
    SetWindowLongPtrA(m_window, DWLP_USER, 0);
    DestroyWindow(m_window);
    m_window = nullptr;
  }
  m_pageSite.Reset();  // after the window, whose procedure may still use it
}

STDMETHODIMP CBasePropertyPage::NonDelegatingQueryInterface(REFIID iid, void** out) {
  if (!out)
    return E_POINTER;
  if (IsEqualIID(iid, IID_IPropertyPage))
    return GetInterface(static_cast<IPropertyPage*>(this), out);
  return CUnknown::NonDelegatingQueryInterface(iid, out);
}

STDMETHODIMP_(ULONG) CBasePropertyPage::NonDelegatingRelease() {
  const LONG count = InterlockedDecrement(&m_refCount);
  if (count == 0) {
    // Calls made during tear-down cannot start a second deletion.
    InterlockedIncrement(&m_refCount);
    IPropertyPage* page = this;
    page->SetPageSite(nullptr);
    page->SetObjects(0, nullptr);
    delete this;
    return 0;
  }
  const ULONG value = static_cast<ULONG>(count);
  return value > 1 ? value : 1u;
}

STDMETHODIMP CBasePropertyPage::SetPageSite(IPropertyPageSite* site) {
  if (site) {
    if (m_pageSite)
      return E_UNEXPECTED;
    m_pageSite = ComPtr<IPropertyPageSite>(site);  // a reference of our own
    return S_OK;
  }
  if (!m_pageSite)
    return E_UNEXPECTED;
  m_pageSite.Reset();
  return S_OK;
}

STDMETHODIMP CBasePropertyPage::Activate(HWND parent, LPCRECT rect, BOOL /*modal*/) {
  if (!rect)
    return E_POINTER;
  if (!m_objectSet || m_window)
    return E_UNEXPECTED;
  m_window = CreateDialogParamA(g_module, MAKEINTRESOURCEA(m_dialogId), parent, PageDialogProc,
                                reinterpret_cast<LPARAM>(this));
  if (!m_window)
    return E_OUTOFMEMORY;
  OnActivate();
  Move(rect);
  return Show(SW_SHOWNORMAL);
}

STDMETHODIMP CBasePropertyPage::Deactivate() {
  if (!m_window)
    return E_UNEXPECTED;
  // With m_window cleared the base handling does not put the style back.
  const LONG_PTR style = GetWindowLongPtrA(m_window, GWL_EXSTYLE);
  HWND window = m_window;
  m_window = nullptr;
  SetWindowLongPtrA(window, GWL_EXSTYLE, style & ~static_cast<LONG_PTR>(WS_EX_CONTROLPARENT));
  m_window = window;

  OnDeactivate();
  DestroyWindow(m_window);
  m_window = nullptr;
  m_dialog = nullptr;
  return S_OK;
}

STDMETHODIMP CBasePropertyPage::GetPageInfo(PROPPAGEINFO* info) {
  if (!info)
    return E_POINTER;
  WCHAR title[kTitleChars] = {};
  LoadWideResourceString(static_cast<UINT>(m_titleId), title, kTitleChars);
  LPOLESTR titleCopy = nullptr;
  const HRESULT hr = DuplicateWideString(title, &titleCopy);
  if (FAILED(hr))
    return hr;

  info->cb = sizeof(PROPPAGEINFO);
  info->pszTitle = titleCopy;  // the caller owns it from here on
  info->size.cx = kDefaultPageWidth;
  info->size.cy = kDefaultPageHeight;
  info->pszDocString = nullptr;
  info->pszHelpFile = nullptr;
  info->dwHelpContext = 0;

  SIZE measured = {};
  if (MeasureDialog(m_dialogId, &measured))
    info->size = measured;
  return S_OK;
}

STDMETHODIMP CBasePropertyPage::SetObjects(ULONG count, IUnknown** objects) {
  if (count == 1) {
    if (!objects || !objects[0])
      return E_POINTER;
    m_objectSet = TRUE;
    return OnConnect(objects[0]);
  }
  if (count == 0) {
    m_objectSet = FALSE;
    return OnDisconnect();
  }
  return E_UNEXPECTED;
}

STDMETHODIMP CBasePropertyPage::Show(UINT command) {
  if (!m_window)
    return E_UNEXPECTED;
  if (command != SW_HIDE && command != SW_SHOWNORMAL && command != SW_SHOW)
    return E_INVALIDARG;
  ShowWindow(m_window, static_cast<int>(command));
  InvalidateRect(m_window, nullptr, TRUE);
  return S_OK;
}

STDMETHODIMP CBasePropertyPage::Move(LPCRECT rect) {
  if (!rect)
    return E_POINTER;
  if (!m_window)
    return E_UNEXPECTED;
  MoveWindow(m_window, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top,
             TRUE);
  return S_OK;
}

STDMETHODIMP CBasePropertyPage::IsPageDirty() {
  return m_dirty ? S_OK : S_FALSE;
}

STDMETHODIMP CBasePropertyPage::Apply() {
  if (!m_objectSet || !m_pageSite)
    return E_UNEXPECTED;
  if (!m_dirty)
    return S_OK;
  const HRESULT hr = OnApplyChanges();
  if (SUCCEEDED(hr))
    m_dirty = FALSE;
  return hr;
}

STDMETHODIMP CBasePropertyPage::Help(LPCOLESTR /*helpDir*/) {
  return E_NOTIMPL;
}

STDMETHODIMP CBasePropertyPage::TranslateAccelerator(MSG* /*msg*/) {
  return E_NOTIMPL;
}

HRESULT CBasePropertyPage::OnConnect(IUnknown* /*object*/) {
  return S_OK;
}

HRESULT CBasePropertyPage::OnDisconnect() {
  return S_OK;
}

HRESULT CBasePropertyPage::OnActivate() {
  return S_OK;
}

HRESULT CBasePropertyPage::OnDeactivate() {
  return S_OK;
}

HRESULT CBasePropertyPage::OnApplyChanges() {
  return S_OK;
}

INT_PTR CBasePropertyPage::OnReceiveMessage(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
  auto* page = reinterpret_cast<CBasePropertyPage*>(GetWindowLongPtrA(window, DWLP_USER));
  if (!page || !page->m_window)
    return 0;
  if (message == WM_STYLECHANGING && static_cast<int>(wParam) == GWL_EXSTYLE) {
    auto* style = reinterpret_cast<STYLESTRUCT*>(lParam);
    if (style)
      style->styleNew |= WS_EX_CONTROLPARENT;
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

INT_PTR CALLBACK CBasePropertyPage::PageDialogProc(HWND window, UINT message, WPARAM wParam,
                                                   LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrA(window, DWLP_USER, lParam);
    auto* page = reinterpret_cast<CBasePropertyPage*>(lParam);
    if (!page)
      return TRUE;
    page->m_dialog = window;
  }
  auto* page = reinterpret_cast<CBasePropertyPage*>(GetWindowLongPtrA(window, DWLP_USER));
  if (!page)
    return TRUE;
  return page->OnReceiveMessage(window, message, wParam, lParam);
}
