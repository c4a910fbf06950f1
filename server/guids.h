// Class identifiers of the module's COM classes. Registration, the class
// factory table and the filter's property page list use the first two.
#pragma once

#include <windows.h>

// The filter, listed as "Zintu Dobrel x64":
// {DE946144-E77A-42EE-93BE-7E3E48DA72FA}
extern const CLSID CLSID_ZintuDobrel;

// Its about page:
// {A779761B-0B25-461F-8A11-684EBA0C32ED}
extern const CLSID CLSID_ZintuDobrelProps;

// The Media Foundation media source (64-bit module only; not registered by
// DllRegisterServer):
// {2F270E13-5C19-4715-AAC6-34EF9557D3CB}
extern const CLSID CLSID_ZintuDobrelMediaSource;
