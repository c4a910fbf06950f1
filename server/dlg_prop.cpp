#include "server/dlg_prop.h"

#include <cstdio>
#include <new>

#include "resources/resource_ids.h"
#include "resources/product_names.h"

namespace {

constexpr const char* kVersion = "400";
// The author and the web address are this build's own.
constexpr const char* kAuthor = "Zintu Dobrel Project";
constexpr const char* kWebAddress = "https://zintudobrel.example.org/";

}  // namespace

void FormatAboutText(char* text, size_t capacity) {
  std::snprintf(text, capacity, "%s Ver%s\r\nAuthor  %s\r\n%s", kFriendlyName, kVersion, kAuthor,
                kWebAddress);
}

CUnknown* CDlgProp::CreateInstance(IUnknown* outer, HRESULT* result) {
  auto* page = new (std::nothrow) CDlgProp(outer);
  if (!page && result)
    *result = E_OUTOFMEMORY;
  return page;
}

CDlgProp::CDlgProp(IUnknown* outer) : CBasePropertyPage(outer, IDD_ABOUT_PAGE, IDS_PAGE_TITLE) {}

HRESULT CDlgProp::OnConnect(IUnknown* object) {
  return object ? S_OK : E_POINTER;
}

HRESULT CDlgProp::OnDisconnect() {
  return S_OK;
}

HRESULT CDlgProp::OnActivate() {
  char text[512];
  FormatAboutText(text, sizeof(text));
  SetDlgItemTextA(m_dialog, IDC_ABOUT_TEXT, text);
  return S_OK;
}

HRESULT CDlgProp::OnDeactivate() {
  return S_OK;
}

HRESULT CDlgProp::OnApplyChanges() {
  return S_OK;  // nothing to commit
}

INT_PTR CDlgProp::OnReceiveMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND) {
    m_dirty = TRUE;
    if (m_pageSite)
      m_pageSite->OnStatusChange(PROPPAGESTATUS_DIRTY);
  }
  return CBasePropertyPage::OnReceiveMessage(window, message, wParam, lParam);
}
