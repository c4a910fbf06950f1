#include "tools/analyse/report/timeline_svg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

#include "tools/analyse/report/html_text.h"

namespace zdanalyse {
namespace {

// Geometry in SVG user units.
constexpr double kLeft = 70;  // room for the lane labels
constexpr double kPlotWidth = 1000;
constexpr double kRight = 10;
constexpr double kMarkTop = 4;  // the strip of anomaly heads
constexpr double kLaneTop[2] = {24, 168};
constexpr double kLaneHeight = 120;
constexpr double kAxisTop = 296;
constexpr double kHeight = 316;

// Frame-number steps shown; larger ones sit at the lane's edge.
constexpr double kStepHigh = 8;
constexpr double kStepLow = -4;

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

std::string Fmt(const char* format, double a) {
  char text[64];
  std::snprintf(text, sizeof text, format, a);
  return text;
}

// Per record: the frame-number step from the previous readable record of the
// same stream, and the interval in ms since the previous frame's container time.
void StepsAndIntervals(const AnalysisResult& r, std::vector<double>* steps,
                       std::vector<double>* intervals) {
  const size_t n = r.frames.size();
  steps->assign(n, kNone);
  intervals->assign(n, kNone);
  const FrameRecord* lastRead = nullptr;
  const FrameRecord* lastTimed = nullptr;
  for (size_t i = 0; i < n; ++i) {
    const FrameRecord& f = r.frames[i];
    if (f.readable) {
      const bool sameStream = lastRead && (lastRead->hasStream == f.hasStream) &&
                              (!f.hasStream || lastRead->stream == f.stream);
      if (sameStream && r.events[i] != FrameEvent::kRestart)
        (*steps)[i] = double(int64_t(SequenceKey(f)) - int64_t(SequenceKey(*lastRead)));
      lastRead = &f;
    }
    if (f.hasTime) {
      // The second field of a frame shares the frame's time: no interval of its own.
      if (lastTimed && lastTimed->index != f.index)
        (*intervals)[i] = double(f.time - lastTimed->time) / 1e4;
      if (!lastTimed || lastTimed->index != f.index)
        lastTimed = &f;
    }
  }
}

// Least and greatest value of each column's records (NaN when none has one).
struct Column {
  double low = kNone, high = kNone;
  void Add(double v) {
    if (std::isnan(v))
      return;
    low = std::isnan(low) ? v : std::min(low, v);
    high = std::isnan(high) ? v : std::max(high, v);
  }
};

std::vector<Column> Thin(const std::vector<double>& values, size_t columns) {
  std::vector<Column> out(columns);
  const size_t n = values.size();
  for (size_t i = 0; i < n; ++i)
    out[i * columns / n].Add(values[i]);
  return out;
}

// One path: per column a vertical stroke from the least to the greatest value
// (a short tick where they are equal), y from `toY`.
template <typename ToY>
std::string ColumnPath(const char* cls, const std::vector<Column>& columns, ToY toY) {
  const double width = kPlotWidth / double(columns.size());
  std::string d;
  for (size_t c = 0; c < columns.size(); ++c) {
    if (std::isnan(columns[c].low))
      continue;
    const double x = kLeft + (double(c) + 0.5) * width;
    double top = toY(columns[c].high), bottom = toY(columns[c].low);
    if (bottom - top < 1.5) {
      top -= 0.75;
      bottom += 0.75;
    }
    d += "M" + Fmt("%.2f", x) + " " + Fmt("%.2f", top) + "V" + Fmt("%.2f", bottom);
  }
  // Columns as wide as their stroke, so that neighbours touch.
  return std::string("<path class=\"series ") + cls + "\" stroke-width=\"" +
         Fmt("%.2f", std::max(1.2, width)) + "\" d=\"" + d + "\"/>";
}

void Line(std::string* svg, const char* cls, double x1, double y1, double x2, double y2) {
  *svg += std::string("<line class=\"") + cls + "\" x1=\"" + Fmt("%.2f", x1) + "\" y1=\"" +
          Fmt("%.2f", y1) + "\" x2=\"" + Fmt("%.2f", x2) + "\" y2=\"" + Fmt("%.2f", y2) + "\"/>";
}

void Label(std::string* svg, const char* cls, double x, double y, const std::string& text) {
  *svg += std::string("<text class=\"") + cls + "\" x=\"" + Fmt("%.1f", x) + "\" y=\"" +
          Fmt("%.1f", y) + "\">" + EscapeHtml(text) + "</text>";
}

// A key as the text report writes it: the frame number, or "frame:field".
std::string KeyText(const FrameRecord& f) {
  return f.field ? std::to_string(f.frame) + ":" + std::to_string(f.fieldRank + 1)
                 : std::to_string(f.frame);
}

}  // namespace

bool IsMarkedEvent(FrameEvent event) {
  return event != FrameEvent::kInOrder && event != FrameEvent::kFirst;
}

const char* EventLabel(FrameEvent event) {
  switch (event) {
    case FrameEvent::kAfterGap:
      return "missing before";
    case FrameEvent::kRepeated:
      return "repeated";
    case FrameEvent::kOutOfOrder:
      return "out of order";
    case FrameEvent::kRestart:
      return "restart";
    case FrameEvent::kUnreadable:
      return "unreadable";
    case FrameEvent::kDamaged:
      return "damaged";
    case FrameEvent::kInOrder:
      return "next frame";
    case FrameEvent::kFirst:
      return "first frame";
  }
  return "?";
}

namespace {

// The two lanes' frames and names.
void Lanes(std::string* svg) {
  const char* laneName[2] = {"frame step", "interval ms"};
  for (int lane = 0; lane < 2; ++lane) {
    *svg += "<rect class=\"lane\" x=\"" + Fmt("%.0f", kLeft) + "\" y=\"" +
            Fmt("%.0f", kLaneTop[lane]) + "\" width=\"" + Fmt("%.0f", kPlotWidth) + "\" height=\"" +
            Fmt("%.0f", kLaneHeight) + "\"/>";
    Label(svg, "lane-name", kLeft + 6, kLaneTop[lane] + 14, laneName[lane]);
  }
}

// Frame-number steps: 1 is the next frame, 0 a repeat, below 0 backwards.
// The scale goes into *svg, the returned path is drawn last.
std::string StepLane(std::string* svg, const std::vector<double>& steps, size_t columns) {
  auto stepY = [](double s) {
    s = std::max(kStepLow, std::min(kStepHigh, s));
    return kLaneTop[0] + 6 + (kStepHigh - s) / (kStepHigh - kStepLow) * (kLaneHeight - 12);
  };
  Line(svg, "norm", kLeft, stepY(1), kLeft + kPlotWidth, stepY(1));
  Line(svg, "grid", kLeft, stepY(0), kLeft + kPlotWidth, stepY(0));
  Label(svg, "tick", kLeft - 4, stepY(kStepHigh) + 4,
        "\xE2\x89\xA5"
        "8");
  Label(svg, "tick", kLeft - 4, stepY(1) + 4, "1");
  Label(svg, "tick", kLeft - 4, stepY(0) + 8, "0");
  Label(svg, "tick", kLeft - 4, stepY(kStepLow) + 4,
        "\xE2\x89\xA4"
        "-4");
  return ColumnPath("steps", Thin(steps, columns), stepY);
}

// Intervals, up to a scale that shows the nominal one well; longer ones sit
// at the lane's top edge. The scale goes into *svg, the path is returned.
std::string IntervalLane(std::string* svg, const AnalysisResult& r,
                         const std::vector<double>& intervals, size_t columns) {
  const double nominal = r.source.nominalRate > 0 ? 1000.0 / r.source.nominalRate : 0;
  double scale =
      std::max(nominal * 2.5, r.timing.intervals.measured ? r.timing.intervals.p99 * 1.5 : 0);
  scale = scale > 0 ? scale : 1.0;
  auto intervalY = [scale](double ms) {
    ms = std::max(0.0, std::min(scale, ms));
    return kLaneTop[1] + kLaneHeight - 6 - ms / scale * (kLaneHeight - 12);
  };
  if (nominal > 0) {
    Line(svg, "norm", kLeft, intervalY(nominal), kLeft + kPlotWidth, intervalY(nominal));
    Label(svg, "tick", kLeft - 4, intervalY(nominal) + 4, Fmt("%.1f", nominal));
  }
  Label(svg, "tick", kLeft - 4, intervalY(scale) + 4, Fmt("%.0f", scale));
  Label(svg, "tick", kLeft - 4, intervalY(0) + 4, "0");
  if (!r.source.hasFrameTimes)
    Label(svg, "note", kLeft + 8, kLaneTop[1] + kLaneHeight / 2,
          "no time stamps in this recording");
  return ColumnPath("intervals", Thin(intervals, columns), intervalY);
}

// The record axis: five ticks with record numbers.
void RecordAxis(std::string* svg, const AnalysisResult& r) {
  const size_t n = r.frames.size();
  Line(svg, "axis", kLeft, kAxisTop, kLeft + kPlotWidth, kAxisTop);
  for (int k = 0; k <= 4; ++k) {
    const size_t index = (n - 1) * size_t(k) / 4;
    const double x = kLeft + (double(index) + 0.5) * kPlotWidth / double(n);
    Line(svg, "axis", x, kAxisTop, x, kAxisTop + 4);
    Label(svg,
          k == 0   ? "tick start"
          : k == 4 ? "tick"
                   : "tick mid",
          x, kAxisTop + 16, std::to_string(r.frames[index].index));
  }
}

// One marker per anomaly, at its own record, whatever the thinning.
void AnomalyMarks(std::string* svg, const AnalysisResult& r) {
  const size_t n = r.frames.size();
  for (size_t i = 0; i < n; ++i) {
    const FrameEvent e = r.events[i];
    if (!IsMarkedEvent(e))
      continue;
    const FrameRecord& f = r.frames[i];
    const double x = kLeft + (double(i) + 0.5) * kPlotWidth / double(n);
    std::string tip = std::string("record ") + std::to_string(f.index) + ": " + EventLabel(e);
    if (f.readable)
      tip += ", frame " + KeyText(f);
    *svg += std::string("<g class=\"anomaly-mark ev-") + EventName(e) + "\"><title>" +
            EscapeHtml(tip) + "</title>";
    Line(svg, "mark", x, kMarkTop + 10, x, kLaneTop[1] + kLaneHeight);
    *svg += "<circle cx=\"" + Fmt("%.2f", x) + "\" cy=\"" + Fmt("%.1f", kMarkTop + 6) +
            "\" r=\"4\"/></g>";
  }
}

}  // namespace

std::string TimelineSvg(const AnalysisResult& r) {
  const size_t n = r.frames.size();
  const double totalWidth = kLeft + kPlotWidth + kRight;
  std::string svg = "<svg class=\"timeline\" xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " +
                    Fmt("%.0f", totalWidth) + " " + Fmt("%.0f", kHeight) +
                    "\" role=\"img\" aria-label=\"timeline\">";
  if (n == 0)
    return svg + "</svg>";

  std::vector<double> steps, intervals;
  StepsAndIntervals(r, &steps, &intervals);
  const size_t columns = std::min(n, kTimelineColumns);
  Lanes(&svg);
  const std::string stepPath = StepLane(&svg, steps, columns);
  const std::string intervalPath = IntervalLane(&svg, r, intervals, columns);
  RecordAxis(&svg, r);
  // The markers under the values.
  AnomalyMarks(&svg, r);
  return svg + stepPath + intervalPath + "</svg>";
}

}  // namespace zdanalyse
