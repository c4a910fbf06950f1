// The media source's creation function, for the module's class factory: the
// one name the entry points need, without Media Foundation's headers.
#pragma once

#include <windows.h>

#include "server/unknown.h"

// A new CZdMediaSource with a reference count of 0, or null with *hr set.
CUnknown* CreateMediaSourceInstance(IUnknown* outer, HRESULT* hr);
