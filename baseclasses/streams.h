// The whole framework in one include.
#pragma once

#include "baseclasses/am_thread.h"
#include "baseclasses/base_filter.h"
#include "baseclasses/base_output_pin.h"
#include "baseclasses/base_pin.h"
#include "baseclasses/com_ptr.h"
#include "baseclasses/crit_sec.h"
#include "baseclasses/enum_media_types.h"
#include "baseclasses/enum_pins.h"
#include "baseclasses/media_type.h"
#include "baseclasses/source.h"
#include "baseclasses/source_stream.h"
#include "baseclasses/task_mem.h"
