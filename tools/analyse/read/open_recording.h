#pragma once
// Picks the reader for a recording: Y4M for standard input and for files that
// start as Y4M streams, FFmpeg's libraries for anything else (native build).
#include <memory>
#include <string>

#include "tools/analyse/read/frame_source.h"

namespace zdanalyse {

// Null, with a reason, when the recording cannot be opened.
std::unique_ptr<FrameSource> OpenRecording(const std::string& path, std::string* error);

}  // namespace zdanalyse
