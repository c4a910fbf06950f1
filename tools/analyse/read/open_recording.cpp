#include "tools/analyse/read/open_recording.h"

#include <cstdio>
#include <cstring>

#include "tools/analyse/read/y4m_reader.h"
#ifdef ZD_ANALYSE_FFMPEG
#include "tools/analyse/read/ffmpeg_reader.h"
#endif

namespace zdanalyse {
namespace {

bool StartsAsY4m(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f)
    return false;
  char magic[9] = {};
  const bool y4m = std::fread(magic, 1, sizeof magic, f) == sizeof magic &&
                   std::memcmp(magic, "YUV4MPEG2", sizeof magic) == 0;
  std::fclose(f);
  return y4m;
}

}  // namespace

std::unique_ptr<FrameSource> OpenRecording(const std::string& path, std::string* error) {
  if (path == "-" || StartsAsY4m(path)) {
    auto y4m = std::make_unique<Y4mReader>();
    if (!y4m->Open(path, error))
      return nullptr;
    return y4m;
  }
#ifdef ZD_ANALYSE_FFMPEG
  auto av = std::make_unique<FfmpegReader>();
  if (!av->Open(path, error))
    return nullptr;
  return av;
#else
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    *error = "cannot open " + path;
    return nullptr;
  }
  std::fclose(f);
  *error = path +
           " is not a Y4M stream, and this build reads Y4M only: convert it with\n"
           "  ffmpeg -i " +
           path + " -vsync passthrough -f yuv4mpegpipe - | zd-analyse -";
  return nullptr;
#endif
}

}  // namespace zdanalyse
