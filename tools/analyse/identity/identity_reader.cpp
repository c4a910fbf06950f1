#include "tools/analyse/identity/identity_reader.h"

namespace zdanalyse {

FrameRecord BlankRecord(const LumaFrame& frame, int64_t index) {
  FrameRecord r;
  r.index = index;
  r.hasTime = frame.hasTime;
  r.time = frame.time;
  return r;
}

}  // namespace zdanalyse
