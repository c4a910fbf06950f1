#include <cinttypes>

#include "tools/analyse/report/reports.h"

namespace zdanalyse {

void WriteCsvReport(const AnalysisResult& r, std::FILE* out) {
  std::fprintf(out,
               "index,field,time_ms,readable,stream_id,frame,drops,sample_time_ms,clock_ms,"
               "confidence,event,psnr_y,psnr_c,diagnosis\n");
  // The pixel comparison's frames, in recording order like the records.
  const std::vector<PictureFrameResult>& pixels = r.picture.perFrame;
  size_t p = 0;
  for (size_t i = 0; i < r.frames.size(); ++i) {
    const FrameRecord& f = r.frames[i];
    std::fprintf(out, "%" PRId64 ",%d,", f.index, f.field);
    if (f.hasTime)
      std::fprintf(out, "%.4f", double(f.time) / 10000.0);
    std::fprintf(out, ",%d,", f.readable ? 1 : 0);
    if (f.readable && f.hasStream)
      std::fprintf(out, "%u", f.stream);
    std::fprintf(out, ",");
    if (f.readable)
      std::fprintf(out, "%u", f.frame);
    std::fprintf(out, ",");
    if (f.readable && f.hasDrops)
      std::fprintf(out, "%u", f.drops);
    std::fprintf(out, ",");
    if (f.readable && f.hasSampleTime)
      std::fprintf(out, "%.4f", double(f.sampleTime) / 10000.0);
    std::fprintf(out, ",");
    if (f.readable && f.hasClockMs)
      std::fprintf(out, "%u", f.clockMs);
    std::fprintf(out, ",%.3f,%s,", f.readable ? f.confidence : 0.0, EventName(r.events[i]));
    while (p < pixels.size() && pixels[p].index < f.index)
      ++p;
    if (p < pixels.size() && pixels[p].index == f.index)
      std::fprintf(out, "%.4f,%.4f", pixels[p].psnrY, pixels[p].psnrC);  // inf: identical
    else
      std::fprintf(out, ",");
    std::fprintf(out, ",\n");
  }
  // A row per picture fault after the frames': the first frame it was seen
  // in (its position, its number), the event picture_fault, and its name.
  for (const PictureDiagnosis& d : r.picture.diagnoses)
    if (d.Anomaly())
      std::fprintf(out, "%" PRId64 ",,,,,%u,,,,,picture_fault,,,%s\n", d.firstIndex, d.firstFrame,
                   d.name.c_str());
}

}  // namespace zdanalyse
