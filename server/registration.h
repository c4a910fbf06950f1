// Registration of the module's classes: the COM class keys of every template
// row and the filter mapper entries of every row that describes a filter.
#pragma once

#include <windows.h>
#include <strmif.h>

#include "baseclasses/base_filter.h"

// Generic driver over the template table: registers (true) or unregisters
// (false) every row. Balances its own CoInitialize.
HRESULT AMovieDllRegisterServer2(BOOL doRegister);

// Writes CLSID\{clsid} = name, its serverType sub-key = modulePath and the
// sub-key's "ThreadingModel" = threadingModel, under HKEY_CLASSES_ROOT.
HRESULT WriteServerKeys(const CLSID& clsid, const WCHAR* name, const WCHAR* modulePath,
                        const WCHAR* threadingModel, const WCHAR* serverType);

// Removes the key at `path` under `root` with everything below it. A key that
// does not exist counts as removed.
HRESULT DeleteKeyTree(HKEY root, const char* path);

// (Un)registers one filter description in the mapper's default category.
HRESULT RegisterFilterViaMapper2(const AMOVIESETUP_FILTER* setup, IFilterMapper2* mapper,
                                 BOOL doRegister);
