// The classes this module serves, in table order, and the filter description
// the generic registration gives to the filter mapper.
#include <strmif.h>
#include <dshow.h>

#include "server/bouncing_ball.h"
#include "server/dlg_prop.h"
#include "server/factory_template.h"
#include "server/guids.h"
#include "resources/product_names.h"

namespace {

const AMOVIESETUP_MEDIATYPE kPinTypes[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_NULL}};

const AMOVIESETUP_PIN kPins[] = {{
    const_cast<LPWSTR>(L"Output"),  // strName
    FALSE,                          // bRendered
    TRUE,                           // bOutput
    FALSE,                          // bZero
    FALSE,                          // bMany
    &PIN_CATEGORY_CAPTURE,          // clsConnectsToFilter
    nullptr,                        // strConnectsToPin
    1,                              // nMediaTypes
    kPinTypes,                      // lpMediaType
}};

const AMOVIESETUP_FILTER kFilterSetup = {
    &CLSID_ZintuDobrel, kFriendlyNameW, MERIT_DO_NOT_USE, 1, kPins,
};

}  // namespace

const CFactoryTemplate g_Templates[] = {
    {kFriendlyNameW, &CLSID_ZintuDobrel, CBouncingBall::CreateInstance, nullptr, &kFilterSetup},
    {kPropertyPageNameW, &CLSID_ZintuDobrelProps, CDlgProp::CreateInstance, nullptr, nullptr},
};

const int g_cTemplates = static_cast<int>(sizeof(g_Templates) / sizeof(g_Templates[0]));
