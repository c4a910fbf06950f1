#include <cinttypes>
#include <cmath>
#include <string>

#include "tools/analyse/pixels/picture_verdict.h"
#include "tools/analyse/report/number_text.h"
#include "tools/analyse/report/reports.h"

namespace zdanalyse {
namespace {

// A JSON string: UTF-8 passes through, control characters are escaped.
std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += char(c);
    } else if (c < 0x20) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", c);
      out += esc;
    } else {
      out += char(c);
    }
  }
  return out + "\"";
}

std::string Number(double v) {
  return FiniteOr(v, "%.6g", "null");
}

const char* Bool(bool v) {
  return v ? "true" : "false";
}

void Intervals(const IntervalStats& s, std::FILE* out) {
  if (!s.measured) {
    std::fprintf(out, "null");
    return;
  }
  std::fprintf(out,
               "{\"count\": %" PRId64
               ", \"mean_ms\": %s, \"p50_ms\": %s, \"p99_ms\": %s, "
               "\"max_ms\": %s}",
               s.count, Number(s.mean).c_str(), Number(s.p50).c_str(), Number(s.p99).c_str(),
               Number(s.max).c_str());
}

// The pixel comparison: summary, diagnoses, worst frames and every frame's
// PSNR (null: identical, an infinite PSNR).
void Pixels(const PictureCheck& p, std::FILE* out) {
  std::fprintf(out,
               "  \"pixels\": {\"compared\": %s, \"note\": %s, \"domain\": %s, "
               "\"compared_frames\": %" PRId64
               ", \"frame_step\": %d, \"steady_frame_step\": %d, \"row_step\": %d,\n",
               Bool(p.compared), Quote(p.note).c_str(), Quote(p.domain).c_str(), p.frames,
               int(p.frameStep), int(p.steadyFrameStep), int(p.rowStep));
  std::fprintf(out, "    \"settings\": %s,\n",
               p.settings.empty() ? "null" : Quote(p.settings).c_str());
  std::fprintf(out,
               "    \"psnr_y\": %s, \"psnr_c\": %s, \"min_psnr_y\": %s, \"min_psnr_c\": %s, "
               "\"identical\": %s, \"diagnosed_frames\": %" PRId64 ",\n    \"diagnoses\": [",
               Number(p.psnrY).c_str(), Number(p.psnrC).c_str(), Number(p.minPsnrY).c_str(),
               Number(p.minPsnrC).c_str(),
               Bool(p.compared && !std::isfinite(p.psnrY) && !std::isfinite(p.psnrC)),
               p.diagnosedFrames);
  for (size_t i = 0; i < p.diagnoses.size(); ++i) {
    const PictureDiagnosis& d = p.diagnoses[i];
    std::fprintf(out,
                 "%s{\"name\": %s, \"detail\": %s, \"confidence\": %s, \"frames\": %" PRId64
                 ", \"first_frame\": %u, \"last_frame\": %u, \"first_index\": %" PRId64
                 ", \"role\": %s, \"anomaly\": %s}",
                 i ? ", " : "", Quote(d.name).c_str(), Quote(d.detail).c_str(),
                 Number(d.confidence).c_str(), d.frames, d.firstFrame, d.lastFrame, d.firstIndex,
                 Quote(DiagnosisRole(d)).c_str(), Bool(d.Anomaly()));
  }
  auto frames = [out](const std::vector<PictureFrameResult>& list) {
    for (size_t i = 0; i < list.size(); ++i)
      std::fprintf(
          out, "%s\n      {\"index\": %" PRId64 ", \"frame\": %u, \"psnr_y\": %s, \"psnr_c\": %s}",
          i ? "," : "", list[i].index, list[i].frame, Number(list[i].psnrY).c_str(),
          Number(list[i].psnrC).c_str());
  };
  std::fprintf(out, "],\n    \"worst\": [");
  frames(p.worst);
  std::fprintf(out, "],\n    \"frames\": [");
  frames(p.perFrame);
  std::fprintf(out, "]\n  },\n");
}

}  // namespace

void WriteJsonReport(const AnalysisResult& r, std::FILE* out) {
  const SourceInfo& s = r.source;
  std::fprintf(out, "{\n  \"input\": %s,\n", Quote(r.input).c_str());
  std::fprintf(out,
               "  \"recording\": {\"container\": %s, \"codec\": %s, \"pixel_format\": %s, "
               "\"width\": %d, \"height\": %d, \"scan\": %s, \"nominal_rate\": %s, "
               "\"frame_times\": %s},\n",
               Quote(s.container).c_str(), Quote(s.codec).c_str(), Quote(s.pixelFormat).c_str(),
               int(s.width), int(s.height), Quote(FieldOrderName(s.fieldOrder)).c_str(),
               s.nominalRate > 0 ? Number(s.nominalRate).c_str() : "null", Bool(s.hasFrameTimes));
  std::fprintf(out, "  \"identity\": %s,\n  \"identity_detail\": %s,\n  \"per_field\": %s,\n",
               Quote(IdentityName(r.identity)).c_str(), Quote(r.identityDetail).c_str(),
               Bool(r.perField));
  std::fprintf(out,
               "  \"records\": %" PRId64 ",\n  \"readable\": %" PRId64
               ",\n  \"unreadable\": %" PRId64
               ",\n  \"unreadable_percent\": %s,\n  \"least_confidence\": %s,\n",
               r.records, r.readable, r.unreadable, Number(r.unreadablePercent).c_str(),
               Number(r.minConfidence).c_str());
  if (r.anyFrame)
    std::fprintf(out, "  \"first_frame\": %u,\n  \"last_frame\": %u,\n", r.firstFrame, r.lastFrame);
  else
    std::fprintf(out, "  \"first_frame\": null,\n  \"last_frame\": null,\n");
  std::fprintf(out,
               "  \"missing\": %" PRId64 ",\n  \"repeated\": %" PRId64
               ",\n  \"out_of_order\": %" PRId64 ",\n  \"restarts\": %" PRId64
               ",\n  \"damaged\": %" PRId64 ",\n",
               r.missing, r.repeated, r.outOfOrder, r.restarts, r.damaged);
  if (r.hasDrops)
    std::fprintf(out, "  \"source_drops\": %" PRId64 ",\n", r.sourceDrops);
  else
    std::fprintf(out, "  \"source_drops\": null,\n");
  std::fprintf(out, "  \"streams\": [");
  for (size_t i = 0; i < r.streams.size(); ++i) {
    const StreamSummary& st = r.streams[i];
    std::fprintf(out, "%s\n    {\"stream_id\": ", i ? "," : "");
    if (st.hasStream)
      std::fprintf(out, "%u", st.stream);
    else
      std::fprintf(out, "null");
    std::fprintf(out,
                 ", \"records\": %" PRId64
                 ", \"first_frame\": %u, \"last_frame\": %u, "
                 "\"missing\": %" PRId64 ", \"repeated\": %" PRId64 ", \"out_of_order\": %" PRId64
                 ", \"missing_ranges\": [",
                 st.records, st.firstFrame, st.lastFrame, st.missing, st.repeated, st.outOfOrder);
    // Frame numbers, as everywhere in the report; read per field, the
    // fields at both ends of each range follow (1 the earlier, 2 the later).
    const uint64_t unit = r.perField ? 2 : 1;
    for (size_t k = 0; k < st.missingRanges.size(); ++k)
      std::fprintf(out, "%s[%" PRIu64 ", %" PRIu64 "]", k ? ", " : "",
                   st.missingRanges[k].first / unit, st.missingRanges[k].last / unit);
    if (r.perField) {
      std::fprintf(out, "], \"missing_range_fields\": [");
      for (size_t k = 0; k < st.missingRanges.size(); ++k)
        std::fprintf(out, "%s[%d, %d]", k ? ", " : "", int(st.missingRanges[k].first % 2 + 1),
                     int(st.missingRanges[k].last % 2 + 1));
    }
    // Lost beside unreadable records: how many, and the numbers they may be.
    std::fprintf(out, "], \"missing_among\": [");
    for (size_t k = 0; k < st.missingAmong.size(); ++k) {
      const UncertainGap& g = st.missingAmong[k];
      std::fprintf(out, "%s{\"count\": %" PRId64 ", \"first\": %" PRIu64 ", \"last\": %" PRIu64,
                   k ? ", " : "", g.count, g.among.first / unit, g.among.last / unit);
      if (r.perField)
        std::fprintf(out, ", \"first_field\": %d, \"last_field\": %d", int(g.among.first % 2 + 1),
                     int(g.among.last % 2 + 1));
      std::fprintf(out, "}");
    }
    std::fprintf(out, "]}");
  }
  std::fprintf(out, "\n  ],\n  \"timing\": {\n    \"intervals\": ");
  const Timing& t = r.timing;
  Intervals(t.intervals, out);
  std::fprintf(out, ",\n    \"effective_rate\": %s,\n",
               t.rateMeasured ? Number(t.effectiveRate).c_str() : "null");
  std::fprintf(out, "    \"first_offset_ms\": %s,\n    \"drift_ms\": %s,\n",
               t.driftMeasured ? Number(t.firstOffsetMs).c_str() : "null",
               t.driftMeasured ? Number(t.driftMs).c_str() : "null");
  std::fprintf(out, "    \"not_measured\": [");
  for (size_t i = 0; i < t.notMeasured.size(); ++i)
    std::fprintf(out, "%s%s", i ? ", " : "", Quote(t.notMeasured[i]).c_str());
  std::fprintf(out, "]\n  },\n  \"events\": [");
  bool first = true;
  auto damaged = r.damagedFrames.begin();
  for (size_t i = 0; i < r.frames.size(); ++i) {
    const FrameEvent e = r.events[i];
    if (e == FrameEvent::kInOrder || e == FrameEvent::kFirst)
      continue;
    std::fprintf(out, "%s\n    {\"index\": %" PRId64 ", \"field\": %d, \"event\": %s",
                 first ? "" : ",", r.frames[i].index, r.frames[i].field,
                 Quote(EventName(e)).c_str());
    if (r.frames[i].readable)
      std::fprintf(out, ", \"frame\": %u", r.frames[i].frame);
    if (e == FrameEvent::kDamaged) {
      std::fprintf(out, ", \"damage\": %s", Quote(DamageName(r.frames[i].damage)).c_str());
      // Without its own number: the readable frames on either side.
      while (damaged != r.damagedFrames.end() && damaged->record < i)
        ++damaged;
      if (!r.frames[i].readable && damaged != r.damagedFrames.end() && damaged->record == i) {
        std::fprintf(out, ", \"after\": %s, \"before\": %s",
                     damaged->hasAfter ? std::to_string(damaged->after).c_str() : "null",
                     damaged->hasBefore ? std::to_string(damaged->before).c_str() : "null");
      }
    }
    std::fprintf(out, "}");
    first = false;
  }
  std::fprintf(out, "%s],\n", first ? "" : "\n  ");
  Pixels(r.picture, out);
  std::fprintf(out, "  \"anomalies\": [");
  for (size_t i = 0; i < r.anomalies.size(); ++i)
    std::fprintf(out, "%s%s", i ? ", " : "", Quote(r.anomalies[i]).c_str());
  std::fprintf(out, "],\n  \"clean\": %s\n}\n", Bool(r.anomalies.empty()));
}

}  // namespace zdanalyse
