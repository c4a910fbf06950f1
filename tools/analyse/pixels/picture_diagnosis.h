#pragma once
// Names what a pipeline did to a frame by testing each hypothesis against the
// original: the geometry first (flips, then scale and shift), then, on that
// geometry, each colour fault. A hypothesis is kept only when it removes at
// least half of the error that remains without it; what it removes is its
// share (its confidence on this frame).
#include <string>
#include <vector>

#include "tools/analyse/pixels/picture_hypotheses.h"
#include "tools/analyse/pixels/picture_result.h"

namespace zdanalyse {

// A hypothesis must leave at most this share of the error it is tried on.
constexpr double kKeepRatio = 0.5;

struct FrameDiagnosis {
  Geometry geometry;
  double flipGain = 0, scaleShiftGain = 0;  // share of the error each removed
  ColourFault colour = ColourFault::kNone;
  double colourGain = 0;
  double mseAsRecorded = 0, mseExplained = 0;  // before and after the kept ones
};

// rec and orig of the same layout; area the upright comparison area.
FrameDiagnosis DiagnoseFrame(const PictureView& rec, const PlanarPicture& orig,
                             const CompareArea& area, bool bt709);

// The diagnoses of several frames, in recording order, into the recording's.
// A name is given when it won in at least half of the diagnosed frames (the
// whole recording), or in at least kStretchFrames diagnosed frames one after
// the other without a diagnosed frame between them that it did not win (a
// stretch of the recording: a fault that began or ended part way).
class DiagnosisTally {
 public:
  // index: the frame's position in the recording; frame: its number.
  void Add(const FrameDiagnosis& d, int64_t index = 0, uint32_t frame = 0);
  int64_t Frames() const { return m_frames; }
  std::vector<PictureDiagnosis> Result() const;

 private:
  struct Win {
    int64_t ordinal = 0;  // among the diagnosed frames
    int64_t index = 0;
    uint32_t frame = 0;
  };
  struct Entry {
    std::string name;
    int64_t frames = 0;
    double gain = 0;
    double sx = 0, sy = 0, tx = 0, ty = 0;  // summed over its frames
    Win first, last;                        // its first and last win
    // Its wins in diagnosed frames one after the other: the run that goes on
    // and the longest so far (with the gain summed over it).
    Win runStart, bestStart, bestEnd;
    int64_t run = 0, best = 0;
    double runGain = 0, bestGain = 0;
  };
  void Count(const std::string& name, double gain, const Geometry& g, int64_t index,
             uint32_t frame);
  std::vector<Entry> m_entries;
  int64_t m_frames = 0;
};

// Diagnosed frames in a row a stretch must have been won in.
constexpr int64_t kStretchFrames = 3;

}  // namespace zdanalyse
