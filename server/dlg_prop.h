// The filter's about page: one read-only, centred, multi-line text box with
// the product name, the version, the author and the maker's web address.
#pragma once

#include "server/base_property_page.h"

class CDlgProp : public CBasePropertyPage {
 public:
  // Template-table creation function: a new page with a reference count of 0.
  static CUnknown* CreateInstance(IUnknown* outer, HRESULT* result);

  explicit CDlgProp(IUnknown* outer);

  HRESULT OnConnect(IUnknown* object) override;
  HRESULT OnDisconnect() override;
  HRESULT OnActivate() override;
  HRESULT OnDeactivate() override;
  HRESULT OnApplyChanges() override;
  // Any command from the dialog marks the page dirty and tells the site.
  INT_PTR OnReceiveMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
};

// The about text shown in the page's text box.
void FormatAboutText(char* text, size_t capacity);
