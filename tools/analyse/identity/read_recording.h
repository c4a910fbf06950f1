#pragma once
// Stage identity: LumaFrames of the read stage come in; one FrameRecord per
// frame (or field) goes out, named by the frame code or the status line.
// Includes the read stage only.
//
// Walks a recording once: the first frames choose how identities are read
// (the frame code when any of them carries one, else the status line
// candidate that reads most of them), then every frame becomes records.
// Frames are not kept beyond that first handful.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tools/analyse/read/frame_source.h"
#include "tools/analyse/identity/status_line_identity.h"

namespace zdanalyse {

// How identities are read: chosen from the first frames, or as the command line says.
enum class IdentityChoice { kAuto, kFrameCode, kStatusLine };

// Frames looked at before the choice is made.
constexpr size_t kChoiceFrames = 12;

struct Reading {
  std::vector<FrameRecord> records;
  IdentitySource identity = IdentitySource::kNone;
  std::string detail;  // which reader: the sheet and size, or the code
};

// Called with the number of frames read so far, after each frame.
using ProgressFn = std::function<void(int64_t framesRead)>;
// Called with every frame and the records read from it; it may take the
// frame's buffers (swap them with others): the frame is not used after it.
using FrameFn = std::function<void(LumaFrame* frame, const FrameRecord* records, size_t count)>;

// Called with the records of a frame: whether onFrame wants its colour.
using WantsColourFn = std::function<bool(const FrameRecord* records, size_t count)>;

// statusCandidates may be empty (no settings): then only the frame code is tried.
// With wantsColour, a source that keeps colour (KeepColour) and can add it
// later keeps it only for the first frames; after them, only frames that
// wantsColour asks for get it.
bool ReadRecording(FrameSource& source, IdentityChoice choice,
                   const std::vector<StatusLineCandidate>& statusCandidates, Reading* out,
                   std::string* error, const ProgressFn& progress = {}, const FrameFn& onFrame = {},
                   const WantsColourFn& wantsColour = {});

}  // namespace zdanalyse
