// The table of classes this module serves. The class factory, the COM class
// registration and the filter mapper registration are all driven from it.
#pragma once

#include <windows.h>

#include "baseclasses/base_filter.h"
#include "server/unknown.h"

// Builds a new object with a reference count of 0. `result` may be null; when
// given it carries the caller's result in and receives construction failures.
using CreateObjectFunction = CUnknown* (*)(IUnknown* outer, HRESULT* result);

// Called with true at process attach and false at process detach.
using InitRoutine = void (*)(BOOL loading, const CLSID* clsid);

struct CFactoryTemplate {
  const WCHAR* m_name;  // default value of the class key
  const CLSID* m_clsid;
  CreateObjectFunction m_createInstance;
  InitRoutine m_initRoutine;              // may be null
  const AMOVIESETUP_FILTER* m_setupData;  // null for classes that are not filters
};

extern const CFactoryTemplate g_Templates[];
extern const int g_cTemplates;
