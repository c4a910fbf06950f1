#pragma once
// Frame identity from the status line, for recordings without the frame code:
// the font sheets and frame sizes the settings name give the candidates, and
// the first frames of the recording choose among them.
#include <memory>
#include <string>
#include <vector>

#include "tools/analyse/identity/identity_reader.h"
#include "tools/analyse/identity/status_line_reader.h"

struct StreamSettings;

namespace zdanalyse {

// One way the source may have drawn the line: the preset's frame size and
// font sheet, and the luma matrix of its format.
struct StatusLineCandidate {
  int32_t presetW = 0;
  int32_t presetH = 0;
  std::string fontPath;
  bool bt709 = false;
  std::shared_ptr<const GlyphAtlas> atlas;
};

// The candidates for a recording of width x height: every distinct frame size
// and font sheet of the presets (only preset `only`, from 1, when it is not 0)
// whose frame is that size or has its shape, each with BT.601 and BT.709 luma.
// False, with a reason, when a font sheet cannot be loaded or none fits.
bool StatusLineCandidates(const StreamSettings& settings, const std::string& settingsDir, int only,
                          int32_t width, int32_t height, std::vector<StatusLineCandidate>* out,
                          std::string* error);

class StatusLineIdentity : public IdentityReader {
 public:
  explicit StatusLineIdentity(StatusLineCandidate candidate);
  void Read(const LumaFrame& frame, int64_t index, std::vector<FrameRecord>* out) override;
  const StatusLineCandidate& Candidate() const { return m_candidate; }

 private:
  StatusLineCandidate m_candidate;
  StatusLineReader m_reader;
};

// The candidate that reads most of the given frames, the surest one among
// equals; its count of read frames in *readCount.
size_t ChooseCandidate(const std::vector<StatusLineCandidate>& candidates,
                       const std::vector<LumaFrame>& frames, size_t* readCount);

}  // namespace zdanalyse
