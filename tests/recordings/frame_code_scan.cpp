// frame_code_scan: reads 8-bit grey frames of WIDTH x HEIGHT one after another
// from standard input (as "ffmpeg ... -f rawvideo -pix_fmt gray -" writes
// them) and prints, through the one frame-code decoder, one CSV line per
// frame (and per field with --fields):
//   index,slot,status,stream_id,frame,drop,time,capability,field
// slot is frame, top or bottom; status decoded, unreadable or none; the
// payload columns are empty unless decoded.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "pattern/frame_code_reader.h"

namespace {

struct Options {
  int32_t width = 0;
  int32_t height = 0;
  bool fields = false;
};

bool ParseOptions(int argc, char** argv, Options* o) {
  if (argc < 3)
    return false;
  o->width = std::atoi(argv[1]);
  o->height = std::atoi(argv[2]);
  for (int i = 3; i < argc; ++i) {
    if (std::strcmp(argv[i], "--fields") != 0)
      return false;
    o->fields = true;
  }
  return o->width > 0 && o->height > 0;
}

const char* StatusName(FrameCodeStatus s) {
  return s == FrameCodeStatus::kDecoded      ? "decoded"
         : s == FrameCodeStatus::kUnreadable ? "unreadable"
                                             : "none";
}

void PrintReading(long index, const char* slot, const FrameCodeReading& r) {
  std::printf("%ld,%s,%s", index, slot, StatusName(r.status));
  if (r.status == FrameCodeStatus::kDecoded) {
    const FrameCodePayload& p = r.payload;
    std::printf(",%08" PRIx32 ",%" PRIu32 ",%" PRIu32 ",%" PRId64 ",%u,%u\n", p.stream_id,
                p.frame_number, p.drop_count, p.sample_time, unsigned(p.capability),
                unsigned(p.field));
  } else {
    std::printf(",,,,,,\n");
  }
}

long ScanFrames(const Options& o) {
  const size_t frameBytes = size_t(o.width) * size_t(o.height);
  std::vector<uint8_t> frame(frameBytes);
  LumaPlane plane;
  plane.data = frame.data();
  plane.row_step = o.width;
  plane.width = o.width;
  plane.height = o.height;
  long index = 0;
  for (; std::fread(frame.data(), 1, frameBytes, stdin) == frameBytes; ++index) {
    PrintReading(index, "frame", ReadFrameCode(plane));
    if (o.fields) {
      PrintReading(index, "top", ReadFrameCode(FieldOf(plane, 0), FrameCodeSlot::kField));
      PrintReading(index, "bottom", ReadFrameCode(FieldOf(plane, 1), FrameCodeSlot::kField));
    }
  }
  return index;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    std::fputs("usage: frame_code_scan WIDTH HEIGHT [--fields] < grey frames\n", stderr);
    return 2;
  }
  const long frames = ScanFrames(options);
  std::fprintf(stderr, "frame_code_scan: %ld frames of %dx%d\n", frames, int(options.width),
               int(options.height));
  return frames > 0 ? 0 : 1;
}
