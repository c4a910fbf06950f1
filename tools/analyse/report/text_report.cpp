#include "tools/analyse/report/reports.h"

#include <cmath>
#include <string>

#include "tools/analyse/pixels/picture_verdict.h"
#include "tools/analyse/report/number_text.h"

namespace zdanalyse {
namespace {

constexpr size_t kMaxRangesShown = 10;

// A frame number, or for fields "frame:1" (the earlier field) or "frame:2".
std::string Key(uint64_t key, bool fields) {
  return fields ? std::to_string(key / 2) + ":" + std::to_string(key % 2 + 1) : std::to_string(key);
}

std::string Ranges(const std::vector<FrameRange>& ranges, bool fields) {
  std::string text;
  for (size_t i = 0; i < ranges.size() && i < kMaxRangesShown; ++i) {
    text += i ? ", " : " (";
    text += Key(ranges[i].first, fields);
    if (ranges[i].last != ranges[i].first)
      text += "-" + Key(ranges[i].last, fields);
  }
  if (ranges.size() > kMaxRangesShown)
    text += ", ... " + std::to_string(ranges.size() - kMaxRangesShown) + " more";
  return text.empty() ? text : text + ")";
}

// Frames lost beside unreadable records: " (2 somewhere in 11-14)".
std::string Among(const std::vector<UncertainGap>& gaps, bool fields) {
  std::string text;
  for (size_t i = 0; i < gaps.size() && i < kMaxRangesShown; ++i)
    text += std::string(i ? ", " : " (") + std::to_string(gaps[i].count) + " somewhere in " +
            Key(gaps[i].among.first, fields) + "-" + Key(gaps[i].among.last, fields);
  if (gaps.size() > kMaxRangesShown)
    text += ", ... " + std::to_string(gaps.size() - kMaxRangesShown) + " more";
  return text.empty() ? text : text + ", beside unreadable records)";
}

}  // namespace

const char* IdentityName(IdentitySource source) {
  switch (source) {
    case IdentitySource::kFrameCode:
      return "frame code";
    case IdentitySource::kStatusLine:
      return "status line";
    case IdentitySource::kNone:
      break;
  }
  return "none";
}

const char* FieldOrderName(FieldOrder order) {
  switch (order) {
    case FieldOrder::kProgressive:
      return "progressive";
    case FieldOrder::kTopFirst:
      return "top field first";
    case FieldOrder::kBottomFirst:
      return "bottom field first";
    case FieldOrder::kUnknown:
      break;
  }
  return "unknown";
}

const char* ScanText(FieldOrder order) {
  return order == FieldOrder::kUnknown ? "scan not stated" : FieldOrderName(order);
}

namespace {

std::string Db(double v) {
  return FiniteOr(v, "%.2f", "inf");
}

// The pixel comparison: PSNR overall and of the worst frame, the diagnoses.
void WritePixels(const PictureCheck& p, std::FILE* out) {
  if (!p.compared) {
    std::fprintf(out, "pixels:         not compared (%s)\n", p.note.c_str());
    return;
  }
  std::string subset;
  if (p.frameStep > 1)
    subset += ", every " + Ordinal(p.frameStep) + " frame";
  if (p.steadyFrameStep > p.frameStep)
    subset += p.frameStep > 1 ? " (every " + Ordinal(p.steadyFrameStep) + " while steady)"
                              : ", every " + Ordinal(p.steadyFrameStep) + " frame while steady";
  if (p.rowStep > 1)
    subset += ", every " + Ordinal(p.rowStep) + " row";
  std::fprintf(out,
               "pixels:         %lld frames against the originals (%s%s), PSNR luma %s dB, "
               "chroma %s dB\n",
               static_cast<long long>(p.frames), p.domain.c_str(), subset.c_str(),
               Db(p.psnrY).c_str(), Db(p.psnrC).c_str());
  if (!p.note.empty())
    std::fprintf(out, "pixels note:    %s\n", p.note.c_str());
  if (!p.worst.empty())
    std::fprintf(out, "worst frame:    %u (index %lld): luma %s dB, chroma %s dB\n",
                 p.worst.front().frame, static_cast<long long>(p.worst.front().index),
                 Db(p.worst.front().psnrY).c_str(), Db(p.worst.front().psnrC).c_str());
  if (p.diagnoses.empty())
    std::fprintf(out, "diagnosis:      none (%lld frame%s diagnosed)\n",
                 static_cast<long long>(p.diagnosedFrames), p.diagnosedFrames == 1 ? "" : "s");
  for (const PictureDiagnosis& d : p.diagnoses)
    std::fprintf(out,
                 "diagnosis:      %s%s%s (confidence %.2f, in %lld of %lld frames diagnosed, "
                 "frames %u to %u): %s\n",
                 d.name.c_str(), d.detail.empty() ? "" : " ", d.detail.c_str(), d.confidence,
                 static_cast<long long>(d.frames), static_cast<long long>(p.diagnosedFrames),
                 d.firstFrame, d.lastFrame, DiagnosisRole(d));
}

}  // namespace

void WriteTextReport(const AnalysisResult& r, std::FILE* out) {
  const SourceInfo& s = r.source;
  std::fprintf(out, "recording:      %s (%s, %s %s, %dx%d, %s", r.input.c_str(),
               s.container.c_str(), s.codec.c_str(), s.pixelFormat.c_str(), int(s.width),
               int(s.height), ScanText(s.fieldOrder));
  if (s.nominalRate > 0)
    std::fprintf(out, ", %.3f fps nominal", s.nominalRate);
  std::fprintf(out, ")\n");
  std::fprintf(out, "identity:       %s%s%s\n", IdentityName(r.identity),
               r.identityDetail.empty() ? "" : ", ", r.identityDetail.c_str());
  const char* unit = r.perField ? "fields" : "frames";
  std::fprintf(out, "%-15s %lld, %lld read, %lld unreadable (%.3f %%), least confidence %.3f\n",
               (std::string(unit) + ":").c_str(), static_cast<long long>(r.records),
               static_cast<long long>(r.readable), static_cast<long long>(r.unreadable),
               r.unreadablePercent, r.minConfidence);
  if (r.anyFrame)
    std::fprintf(out, "frame numbers:  %u to %u\n", r.firstFrame, r.lastFrame);
  std::string missingRanges;
  for (const StreamSummary& st : r.streams)
    missingRanges += Ranges(st.missingRanges, r.perField) + Among(st.missingAmong, r.perField);
  std::fprintf(out, "missing:        %lld%s\n", static_cast<long long>(r.missing),
               missingRanges.c_str());
  std::fprintf(out, "repeated:       %lld\n", static_cast<long long>(r.repeated));
  std::fprintf(out, "out of order:   %lld\n", static_cast<long long>(r.outOfOrder));
  if (r.damaged > 0) {
    std::string list;
    for (const DamagedFrame& d : r.damagedFrames) {
      std::string where = d.hasFrame
                              ? std::to_string(d.frame)
                              : "between " + (d.hasAfter ? std::to_string(d.after) : "start") +
                                    " and " + (d.hasBefore ? std::to_string(d.before) : "end");
      list += (list.empty() ? " (" : ", ") + where + " " + DamageName(d.damage);
    }
    std::fprintf(out, "damaged:        %lld%s)\n", static_cast<long long>(r.damaged), list.c_str());
  }
  std::fprintf(out, "restarts:       %lld (%zu stream%s)\n", static_cast<long long>(r.restarts),
               r.streams.size(), r.streams.size() == 1 ? "" : "s");
  if (r.hasDrops)
    std::fprintf(out, "source drops:   %lld (the source's own count, first to last frame)\n",
                 static_cast<long long>(r.sourceDrops));
  const Timing& t = r.timing;
  if (t.intervals.measured) {
    std::fprintf(out,
                 "intervals:      mean %.3f ms, p50 %.3f, p99 %.3f, max %.3f (%lld, container "
                 "time stamps)\n",
                 t.intervals.mean, t.intervals.p50, t.intervals.p99, t.intervals.max,
                 static_cast<long long>(t.intervals.count));
  }
  if (t.rateMeasured)
    std::fprintf(out, "rate:           %.3f fps\n", t.effectiveRate);
  if (t.driftMeasured) {
    std::fprintf(out, "first offset:   %.3f ms (container time less sample time)\n",
                 t.firstOffsetMs);
    std::fprintf(out, "drift:          %.3f ms over the recording\n", t.driftMs);
  }
  for (const std::string& why : t.notMeasured)
    std::fprintf(out, "not measured:   %s\n", why.c_str());
  WritePixels(r.picture, out);
  if (r.anomalies.empty()) {
    std::fprintf(out, "result:         clean\n");
    return;
  }
  for (const std::string& a : r.anomalies)
    std::fprintf(out, "anomaly:        %s\n", a.c_str());
  std::fprintf(out, "result:         %zu anomal%s\n", r.anomalies.size(),
               r.anomalies.size() == 1 ? "y" : "ies");
}

}  // namespace zdanalyse
