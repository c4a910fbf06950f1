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

// The diagnoses of several frames into the recording's: a name is given when
// it won in at least half of the diagnosed frames.
class DiagnosisTally {
 public:
  void Add(const FrameDiagnosis& d);
  int64_t Frames() const { return m_frames; }
  std::vector<PictureDiagnosis> Result() const;

 private:
  struct Entry {
    std::string name;
    int64_t frames = 0;
    double gain = 0;
    double sx = 0, sy = 0, tx = 0, ty = 0;  // summed over its frames
  };
  void Count(const std::string& name, double gain, const Geometry& g);
  std::vector<Entry> m_entries;
  int64_t m_frames = 0;
};

}  // namespace zdanalyse
