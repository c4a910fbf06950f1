// The report as one web page that needs nothing else: inline CSS and SVG, no
// scripts, no fonts or pictures from elsewhere. Every text from the recording
// or the analysis is escaped.
#include <cinttypes>
#include <string>

#include "tools/analyse/pixels/picture_verdict.h"
#include "tools/analyse/report/html_pixels.h"
#include "tools/analyse/report/html_text.h"
#include "tools/analyse/report/reports.h"
#include "tools/analyse/report/timeline_svg.h"

namespace zdanalyse {
namespace {

// Anomalies listed in the table at most (the timeline marks every one; the
// JSON and CSV forms list every one).
constexpr size_t kMaxListed = 2000;

const char kStyle[] =
    "body{font:14px/1.4 system-ui,sans-serif;margin:16px 24px;color:#222;background:#fff}"
    "h1{font-size:20px;margin:0 0 8px}h2{font-size:16px;margin:20px 0 6px}"
    ".verdict{padding:8px 12px;border-radius:4px;font-weight:600;margin:8px 0 12px}"
    ".verdict.clean{background:#e3f4e1;color:#1d5e1a}.verdict.bad{background:#fbe3e1;color:#8a1c12}"
    ".verdict.picture{background:#fdf3d7;color:#6b4e00}"
    "table{border-collapse:collapse}td,th{padding:2px 10px 2px 0;text-align:left;"
    "vertical-align:top}th{font-weight:600;white-space:nowrap}"
    ".list td,.list th{border-bottom:1px solid #ddd;padding:2px 12px 2px 0}"
    ".num{text-align:right;font-variant-numeric:tabular-nums}"
    "svg.timeline{width:100%;max-width:1100px;height:auto;display:block}"
    ".lane{fill:#fafafa;stroke:#ccc}.grid{stroke:#ddd}.norm{stroke:#8fc98a;stroke-dasharray:4 3}"
    ".axis{stroke:#888}.series{fill:none}.steps{stroke:#2a5db0}"
    ".intervals{stroke:#444}text{font:11px system-ui,sans-serif;fill:#555}"
    ".tick{text-anchor:end}.tick.mid{text-anchor:middle}.tick.start{text-anchor:start}"
    ".lane-name{fill:#222;font-weight:600}.note{fill:#888}"
    ".mark{stroke-width:1.5;stroke-opacity:.45}"
    ".ev-after-gap{stroke:#d62728;fill:#d62728}.ev-repeated{stroke:#ff7f0e;fill:#ff7f0e}"
    ".ev-out-of-order{stroke:#9467bd;fill:#9467bd}.ev-restart{stroke:#1f77b4;fill:#1f77b4}"
    ".ev-unreadable{stroke:#7f7f7f;fill:#7f7f7f}.ev-damaged{stroke:#8c564b;fill:#8c564b}"
    ".key{display:inline-block;width:10px;height:10px;border-radius:5px;margin:0 4px 0 12px}"
    ".key.ev-after-gap{background:#d62728}.key.ev-repeated{background:#ff7f0e}"
    ".key.ev-out-of-order{background:#9467bd}.key.ev-restart{background:#1f77b4}"
    ".key.ev-unreadable{background:#7f7f7f}.key.ev-damaged{background:#8c564b}.legend{font-size:"
    "12px;color:#444;margin:4px 0}";

std::string Fmt(const char* format, double v) {
  char text[64];
  std::snprintf(text, sizeof text, format, v);
  return text;
}

std::string Count(int64_t v) {
  return std::to_string(static_cast<long long>(v));
}

std::string KeyText(uint64_t key, bool fields) {
  return fields ? std::to_string(key / 2) + ":" + std::to_string(key % 2 + 1) : std::to_string(key);
}

void Row(std::string* page, const std::string& name, const std::string& value) {
  *page += "<tr><th>" + EscapeHtml(name) + "</th><td>" + EscapeHtml(value) + "</td></tr>\n";
}

std::string RecordingText(const AnalysisResult& r) {
  const SourceInfo& s = r.source;
  std::string text = s.container + ", " + s.codec + " " + s.pixelFormat + ", " +
                     std::to_string(s.width) + "x" + std::to_string(s.height) + ", " +
                     ScanText(s.fieldOrder);
  if (s.nominalRate > 0)
    text += Fmt(", %.3f fps nominal", s.nominalRate);
  return text;
}

void Summary(const AnalysisResult& r, std::string* page) {
  *page += "<table class=\"summary\">\n";
  Row(page, "recording", r.input);
  Row(page, "format", RecordingText(r));
  Row(page, "identity",
      std::string(IdentityName(r.identity)) + (r.identityDetail.empty() ? "" : ", ") +
          r.identityDetail);
  Row(page, r.perField ? "fields" : "frames",
      Count(r.records) + ", " + Count(r.readable) + " read, " + Count(r.unreadable) +
          " unreadable (" + Fmt("%.3f %%", r.unreadablePercent) + "), least confidence " +
          Fmt("%.3f", r.minConfidence));
  if (r.anyFrame)
    Row(page, "frame numbers", std::to_string(r.firstFrame) + " to " + std::to_string(r.lastFrame));
  std::string ranges;
  for (const StreamSummary& st : r.streams)
    for (const FrameRange& range : st.missingRanges)
      ranges += (ranges.empty() ? " (" : ", ") + KeyText(range.first, r.perField) +
                (range.last != range.first ? "-" + KeyText(range.last, r.perField) : "");
  for (const StreamSummary& st : r.streams)
    for (const UncertainGap& g : st.missingAmong)
      ranges += (ranges.empty() ? " (" : ", ") + std::to_string(g.count) + " somewhere in " +
                KeyText(g.among.first, r.perField) + "-" + KeyText(g.among.last, r.perField);
  Row(page, "missing", Count(r.missing) + (ranges.empty() ? "" : ranges + ")"));
  Row(page, "repeated", Count(r.repeated));
  Row(page, "out of order", Count(r.outOfOrder));
  Row(page, "restarts",
      Count(r.restarts) + " (" + std::to_string(r.streams.size()) +
          (r.streams.size() == 1 ? " stream)" : " streams)"));
  if (r.hasDrops)
    Row(page, "source drops", Count(r.sourceDrops) + " (the source's own count)");
  const Timing& t = r.timing;
  if (t.intervals.measured)
    Row(page, "intervals",
        Fmt("mean %.3f ms", t.intervals.mean) + Fmt(", p50 %.3f", t.intervals.p50) +
            Fmt(", p99 %.3f", t.intervals.p99) + Fmt(", max %.3f", t.intervals.max));
  if (t.rateMeasured)
    Row(page, "rate", Fmt("%.3f fps", t.effectiveRate));
  if (t.driftMeasured) {
    Row(page, "first offset", Fmt("%.3f ms (container time less sample time)", t.firstOffsetMs));
    Row(page, "drift", Fmt("%.3f ms over the recording", t.driftMs));
  }
  for (const std::string& why : t.notMeasured)
    Row(page, "not measured", why);
  *page += "</table>\n";
}

void Legend(std::string* page) {
  *page += "<div class=\"legend\">";
  for (FrameEvent e : {FrameEvent::kAfterGap, FrameEvent::kRepeated, FrameEvent::kOutOfOrder,
                       FrameEvent::kRestart, FrameEvent::kUnreadable, FrameEvent::kDamaged})
    *page += std::string("<span class=\"key ev-") + EventName(e) + "\"></span>" + EventLabel(e);
  *page +=
      "<br>Upper lane: the frame number's step from the previous readable frame (1 is the next "
      "frame). Lower lane: the interval since the previous frame's time stamp; the dashed line "
      "is the nominal interval.</div>\n";
}

void AnomalyList(const AnalysisResult& r, std::string* page) {
  size_t marked = 0;
  for (FrameEvent e : r.events)
    marked += IsMarkedEvent(e) ? 1 : 0;
  *page += "<h2>Frame events (" + std::to_string(marked) + ")</h2>\n";
  if (marked == 0) {
    *page += "<p>None: every frame followed the one before it.</p>\n";
    return;
  }
  *page +=
      "<table class=\"list\"><tr><th class=\"num\">record</th><th class=\"num\">time "
      "ms</th><th>event</th><th class=\"num\">frame</th></tr>\n";
  size_t listed = 0;
  for (size_t i = 0; i < r.frames.size() && listed < kMaxListed; ++i) {
    if (!IsMarkedEvent(r.events[i]))
      continue;
    const FrameRecord& f = r.frames[i];
    *page += "<tr class=\"anomaly-row\"><td class=\"num\">" + std::to_string(f.index) +
             (f.field ? "." + std::to_string(f.fieldRank + 1) : "") + "</td><td class=\"num\">" +
             (f.hasTime ? Fmt("%.3f", double(f.time) / 1e4) : "") +
             "</td><td><span class=\"key ev-" + EventName(r.events[i]) + "\"></span>" +
             EventLabel(r.events[i]) + "</td><td class=\"num\">" +
             (f.readable ? KeyText(SequenceKey(f), f.field != 0) : "") + "</td></tr>\n";
    ++listed;
  }
  *page += "</table>\n";
  if (marked > listed)
    *page += "<p>... and " + std::to_string(marked - listed) +
             " more, all marked in the timeline (the JSON and CSV forms list every one).</p>\n";
}

}  // namespace

bool WriteHtmlReport(const AnalysisResult& r, std::FILE* out) {
  std::string page =
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width\">\n<title>zd-analyse: " +
      EscapeHtml(r.input) + "</title>\n<style>" + kStyle + "</style></head>\n<body>\n";
  page += "<h1>zd-analyse: " + EscapeHtml(r.input) + "</h1>\n";
  std::string verdict;
  for (const std::string& a : r.anomalies)
    verdict += (verdict.empty() ? "" : "; ") + a;
  const size_t n = r.anomalies.size();
  page += r.anomalies.empty()
              ? "<div class=\"verdict clean\">clean</div>\n"
              : "<div class=\"verdict bad\">" + std::to_string(n) +
                    (n == 1 ? " anomaly: " : " anomalies: ") + EscapeHtml(verdict) + "</div>\n";
  // What the pipeline did to the picture stands beside the verdict, each
  // diagnosis with what it counts as.
  std::string picture;
  for (const PictureDiagnosis& d : r.picture.diagnoses)
    picture += (picture.empty() ? "" : ", ") + d.name + (d.detail.empty() ? "" : " " + d.detail) +
               " (" + DiagnosisRole(d) + ")";
  if (!picture.empty())
    page += "<div class=\"verdict picture\">picture: " + EscapeHtml(picture) + "</div>\n";
  Summary(r, &page);
  page += "<h2>Timeline</h2>\n";
  page += TimelineSvg(r) + "\n";
  Legend(&page);
  AnomalyList(r, &page);
  page += PixelsSection(r.picture);
  page += "</body></html>\n";
  return std::fwrite(page.data(), 1, page.size(), out) == page.size();
}

}  // namespace zdanalyse
