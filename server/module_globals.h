// Module-wide values of the COM server.
#pragma once

#include <windows.h>

// The module's own instance handle, recorded by DllMain: the module path for
// registration, and the dialog and string resources of the property page.
extern HINSTANCE g_module;

// Platform identifier from GetVersionExA at process attach;
// VER_PLATFORM_WIN32_WINDOWS when the query fails.
extern DWORD g_platformId;

// LockServer(TRUE) calls minus LockServer(FALSE) calls; changed with
// interlocked operations.
extern volatile LONG g_serverLocks;
