#include "tools/analyse/identity/read_recording.h"

#include <cstdio>

#include "tools/analyse/identity/frame_code_identity.h"

namespace zdanalyse {
namespace {

std::string Describe(const StatusLineCandidate& c, int32_t width, int32_t height) {
  char text[600];
  std::snprintf(text, sizeof text, "%s, drawn for %dx%d%s, %s luma", c.fontPath.c_str(),
                int(c.presetW), int(c.presetH),
                c.presetW == width && c.presetH == height ? "" : " (scaled)",
                c.bt709 ? "BT.709" : "BT.601");
  return text;
}

// The reader for the recording, chosen on its first frames.
std::unique_ptr<IdentityReader> Choose(IdentityChoice choice,
                                       const std::vector<StatusLineCandidate>& candidates,
                                       const std::vector<LumaFrame>& first, Reading* out) {
  if (choice != IdentityChoice::kStatusLine) {
    auto code = std::make_unique<FrameCodeIdentity>();
    const size_t read = code->Calibrate(first);
    if (read > 0 || choice == IdentityChoice::kFrameCode || candidates.empty()) {
      out->identity = IdentitySource::kFrameCode;
      out->detail = code->Describe();
      return code;
    }
  }
  size_t read = 0;
  const size_t best = ChooseCandidate(candidates, first, &read);
  out->identity = IdentitySource::kStatusLine;
  out->detail = Describe(candidates[best], first.front().width, first.front().height);
  return std::make_unique<StatusLineIdentity>(candidates[best]);
}

// The frame's records, handed on with the frame (with its colour added when
// it is the one the source read last, lazy is set and wantsColour asks for it).
void ReadFrame(IdentityReader& reader, LumaFrame& frame, int64_t index, Reading* out,
               const FrameFn& onFrame, FrameSource* lazy = nullptr,
               const WantsColourFn& wantsColour = {}) {
  const size_t before = out->records.size();
  reader.Read(frame, index, &out->records);
  for (size_t i = before; i < out->records.size(); ++i)
    out->records[i].damage = frame.damage;
  if (lazy && frame.colour == ColourLayout::kNone &&
      wantsColour(out->records.data() + before, out->records.size() - before))
    lazy->AddColour(&frame);
  if (onFrame)
    onFrame(&frame, out->records.data() + before, out->records.size() - before);
}

}  // namespace

bool ReadRecording(FrameSource& source, IdentityChoice choice,
                   const std::vector<StatusLineCandidate>& statusCandidates, Reading* out,
                   std::string* error, const ProgressFn& progress, const FrameFn& onFrame,
                   const WantsColourFn& wantsColour) {
  std::vector<LumaFrame> first;
  FrameSource* lazy = nullptr;
  std::unique_ptr<IdentityReader> reader;
  LumaFrame frame;
  int64_t index = 0, frames = 0;
  for (;;) {
    const ReadStatus status = source.Next(&frame, error);
    if (status == ReadStatus::kError)
      return false;
    const bool end = status == ReadStatus::kEnd;
    if (!end && progress)
      progress(frames + 1);
    frames += end ? 0 : 1;
    if (!reader && !end && first.size() < kChoiceFrames) {
      first.push_back(frame);
      continue;
    }
    if (!reader) {
      if (first.empty()) {
        *error = "the recording holds no frames";
        return false;
      }
      reader = Choose(choice, statusCandidates, first, out);
      for (LumaFrame& f : first)
        ReadFrame(*reader, f, index++, out, onFrame);
      first.clear();
      if (wantsColour && source.CanAddColour()) {
        source.KeepColour(false);
        lazy = &source;
      }
    }
    if (end)
      return true;
    ReadFrame(*reader, frame, index++, out, onFrame, lazy, wantsColour);
  }
}

}  // namespace zdanalyse
