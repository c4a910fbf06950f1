#pragma once
// Stage pixels: LumaFrames with their FrameRecords come in; a PictureCheck
// (picture_result.h: PSNR, worst frames, diagnoses) goes out. Includes the
// read and identity stages only.
//
// The pixel comparison of a recording, frame by frame as it is read: each
// frame whose frame code was read is compared with the original made again
// from the settings (the code names the preset), at the recording's size;
// PSNR per frame and overall, the worst frames, and on a few frames with an
// error the diagnosis of what the pipeline did (picture_diagnosis.h).
#include <cstddef>
#include <memory>
#include <string>

#include "stream/stream_settings.h"
#include "tools/analyse/identity/frame_record.h"
#include "tools/analyse/read/luma_frame.h"
#include "tools/analyse/pixels/original_frames.h"
#include "tools/analyse/pixels/picture_diagnosis.h"
#include "tools/analyse/pixels/picture_result.h"

namespace zdanalyse {

// Frames diagnosed at most, spread over the recording.
constexpr int64_t kMaxDiagnosed = 8;
// A compared frame whose luma or chroma PSNR is this much below the previous
// compared frame's is a change: it and the next kConfirmFrames compared frames
// are diagnosed too (at most kMaxExtraDiagnosed such frames in a recording).
constexpr double kChangeDb = 6;
// Compared frames are every frame step's (about 30 a second) at the start and
// after a change in either direction, for kDenseFrames compared frames; then,
// while the error holds steady, every kSteadyFactor-th of them.
constexpr int64_t kDenseFrames = 60;
constexpr uint32_t kSteadyFactor = 4;
constexpr int kConfirmFrames = 2;
constexpr int64_t kMaxExtraDiagnosed = 24;

class PictureChecker {
 public:
  // The settings the recording was made with (bitmaps beside them).
  // expectedFrames, when known, spreads the diagnosed frames; rate, the
  // recording's nominal frame rate (0 when unknown), thins the frames
  // compared to about 30 a second (those whose number is a multiple of a step).
  bool Open(const std::string& iniPath, int64_t expectedFrames, double rate, std::string* error);
  // Whether a frame with these records may be compared (its frame number is
  // on the frame step): its colour is wanted. Fixed by Open; safe to call
  // from any thread.
  bool MayCompare(const FrameRecord* records, size_t count) const;
  // Whether Frame would compare a frame with these records, as things stand
  // (the thread that calls Frame only).
  bool WillCompare(const FrameRecord* records, size_t count) const;
  // One frame of the recording with the records read from it (luma of its
  // own: LumaFrame::Own).
  void Frame(const LumaFrame& frame, const FrameRecord* records, size_t count);
  // The result; note says why nothing was compared when nothing was.
  PictureCheck Finish();

 private:
  bool OpenPreset(const FrameRecord& id);
  bool SettingsMade(const FrameRecord& id);
  bool Original(uint32_t n, const PictureView& rec, RowSubset rows);
  bool Recorded(const LumaFrame& frame, RowSubset rows, PictureView* rec);
  CompareArea AreaOf(const PictureView& rec, const PictureView& orig, int32_t rowStep) const;
  void Diagnose(const PictureView& rec, const FrameRecord& id);
  void KeepWorst(const PictureFrameResult& r);

  StreamSettings m_settings;
  std::string m_dir;
  int64_t m_spacing = 30;    // records between the spread diagnoses
  uint32_t m_frameStep = 1;  // frame numbers compared: multiples of it
  std::unique_ptr<OriginalFrames> m_original;
  int m_capability = -1;
  uint8_t m_conversion = 0;  // of the frames m_original makes (layout 2's conversion)
  bool m_haveOriginal = false;
  uint32_t m_originalFrame = 0;
  int32_t m_originalRows = 1;
  PlanarPicture m_orig, m_rec;
  PlanarPicture m_worstOrig, m_worstRec;  // the worst frame, shrunk for the page
  bool m_worstBt709 = false;
  PictureErrors m_total;
  DiagnosisTally m_tally;
  int64_t m_lastWhole = -1;  // the last frame made whole for the spread diagnoses
  int64_t m_spreadDiagnosed = 0, m_extraDiagnosed = 0;
  int m_confirm = 0;                   // compared frames still to diagnose after a change
  int64_t m_denseLeft = kDenseFrames;  // compared frames still at the whole frame step
  std::string m_note;
  std::string m_declared;        // the coding a recording declared and was converted from
  std::string m_settingsState;   // as PictureCheck::settings
  bool m_settingsBlock = false;  // the frames carry layout 2's settings block
  PictureCheck m_result;
};

}  // namespace zdanalyse
