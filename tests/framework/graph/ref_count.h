// Reference counts for the graph tests, which hold their objects in the
// framework's ComPtr.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "baseclasses/com_ptr.h"

// The reference count of an object as the next AddRef/Release pair reports it.
inline ULONG RefCountOf(IUnknown* p) {
  p->AddRef();
  return p->Release();
}
