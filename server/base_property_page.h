// A dialog-based property page: implements IPropertyPage over a dialog
// resource of this module, keeps the frame's page site and the dirty flag,
// and calls overridable hooks. Every call comes from the host's user-interface
// thread that owns the property frame; the page takes no locks.
#pragma once

#include <windows.h>
#include <ocidl.h>

#include "baseclasses/com_ptr.h"
#include "server/unknown.h"

class CBasePropertyPage : public IPropertyPage, public CUnknown {
 public:
  CBasePropertyPage(IUnknown* outer, int dialogId, int titleId);
  ~CBasePropertyPage() override;

  // Interface map: IID_IPropertyPage, then the base identity.
  STDMETHODIMP NonDelegatingQueryInterface(REFIID iid, void** out) override;
  // Clears the site and the object before the page goes.
  STDMETHODIMP_(ULONG) NonDelegatingRelease() override;

  ZD_DECLARE_IUNKNOWN

  // IPropertyPage
  STDMETHODIMP SetPageSite(IPropertyPageSite* site) override;
  STDMETHODIMP Activate(HWND parent, LPCRECT rect, BOOL modal) override;
  STDMETHODIMP Deactivate() override;
  STDMETHODIMP GetPageInfo(PROPPAGEINFO* info) override;
  STDMETHODIMP SetObjects(ULONG count, IUnknown** objects) override;
  STDMETHODIMP Show(UINT command) override;
  STDMETHODIMP Move(LPCRECT rect) override;
  STDMETHODIMP IsPageDirty() override;
  STDMETHODIMP Apply() override;
  STDMETHODIMP Help(LPCOLESTR helpDir) override;
  STDMETHODIMP TranslateAccelerator(MSG* msg) override;

  // Hooks for the concrete page.
  virtual HRESULT OnConnect(IUnknown* object);
  virtual HRESULT OnDisconnect();
  virtual HRESULT OnActivate();
  virtual HRESULT OnDeactivate();
  virtual HRESULT OnApplyChanges();
  // The base handling: keeps WS_EX_CONTROLPARENT on the page so that the tab
  // key moves between controls, and passes everything else to
  // DefWindowProcA.
  virtual INT_PTR OnReceiveMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  // The dialog procedure of the page's dialog: routes messages to the page
  // stored in the window's DWLP_USER slot.
  static INT_PTR CALLBACK PageDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

 protected:
  ComPtr<IPropertyPageSite> m_pageSite;  // one reference held
  HWND m_window = nullptr;               // the page window while active
  HWND m_dialog = nullptr;               // recorded at WM_INITDIALOG
  BOOL m_dirty = FALSE;
  const int m_titleId;
  const int m_dialogId;
  BOOL m_objectSet = FALSE;
};

// The page title, string resource `id` of this module, as wide text of at
// most 256 characters; empty when the string is missing.
void LoadWideResourceString(UINT id, WCHAR* text, int capacity);

// A copy of `text` in COM task memory. Null text, or text without a
// terminator within its first 50000 characters: E_INVALIDARG.
HRESULT DuplicateWideString(const WCHAR* text, LPOLESTR* copy);
