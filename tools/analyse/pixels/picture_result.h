#pragma once
// What the pixel comparison found: plain data for the report forms.
#include <cstdint>
#include <string>
#include <vector>

namespace zdanalyse {

// One compared frame. PSNR in dB; infinity when the pictures are identical.
struct PictureFrameResult {
  int64_t index = 0;   // position in the recording
  uint32_t frame = 0;  // the source's frame number
  double psnrY = 0, psnrC = 0;
};

// One thing the pipeline did to the picture, as the best hypothesis says.
struct PictureDiagnosis {
  std::string name;               // "flipped_vertically", "red_blue_swapped", ...
  std::string detail;             // by how much, for scaled and shifted
  double shiftX = 0, shiftY = 0;  // shifted: by how many pixels, on average
  double confidence = 0;          // 0 to 1: the share of the error it explains, times
                                  // the share of the diagnosed frames it won in
  int64_t frames = 0;             // diagnosed frames it won in
  // The first and last diagnosed frame it won in: position in the recording
  // and the source's frame number.
  int64_t firstIndex = 0, lastIndex = 0;
  uint32_t firstFrame = 0, lastFrame = 0;
  // The verdict (picture_verdict.h): a picture fault is an anomaly unless the
  // user expected it; a transformation, or a fault the user expected, is
  // information.
  bool fault = false;     // of the picture-fault kind, and confident enough
  bool expected = false;  // named by --expect
  bool Anomaly() const { return fault && !expected; }
};

// A picture for the page: width x height pixels of B, G, R, top line first.
struct Thumbnail {
  int32_t width = 0, height = 0;
  std::vector<uint8_t> bgr;
};

struct PictureCheck {
  bool compared = false;
  std::string note;    // why nothing was compared, or what was left out
  std::string domain;  // "Y'CbCr BT.601 studio range", ...
  // Whether the settings given made the recording, as layout 2 of the frame
  // code tells: "match", "other", or "unchecked" (layout 1 tells nothing).
  std::string settings;
  int64_t frames = 0;                 // frames compared
  int32_t rowStep = 0;                // every rowStep-th row compared (0 before the first frame)
  int32_t frameStep = 1;              // frames whose number is a multiple of it are compared
  int32_t steadyFrameStep = 1;        // and of this, while the picture's error holds steady
  int32_t width = 0, height = 0;      // the recording's pictures as compared
  double psnrY = 0, psnrC = 0;        // over all compared frames' errors together
  double minPsnrY = 0, minPsnrC = 0;  // of the worst frame
  std::vector<PictureFrameResult> perFrame;
  std::vector<PictureFrameResult> worst;    // up to 5, worst first
  int64_t diagnosedFrames = 0;              // frames the hypotheses were tried on
  std::vector<PictureDiagnosis> diagnoses;  // empty for a clean recording
  // The worst frame as made again and as recorded (the page shows both).
  Thumbnail worstOriginal, worstRecorded;
};

}  // namespace zdanalyse
