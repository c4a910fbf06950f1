#include "tools/analyse/sequence/stream_analysis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unordered_set>

namespace zdanalyse {
namespace {

// One stream as it is walked: the numbers seen and those that unreadable
// records presumably carried.
struct StreamWalk {
  StreamSummary summary;
  std::unordered_set<uint64_t> seen;
  std::vector<uint64_t> present;  // seen, and presumed under unreadable records
  uint64_t maxSeen = 0;
  bool any = false;
  size_t lastReadable = 0;  // record index of the last readable record
  size_t maxRecord = 0;     // record index of the highest frame number
};

std::string Format(const char* fmt, double a, double b = 0) {
  char text[160];
  std::snprintf(text, sizeof text, fmt, a, b);
  return text;
}

void CloseStream(StreamWalk* walk, const std::vector<FrameRecord>& records, AnalysisResult* r) {
  if (!walk->any)
    return;
  StreamSummary& s = walk->summary;
  std::vector<uint64_t>& p = walk->present;
  std::sort(p.begin(), p.end());
  p.erase(std::unique(p.begin(), p.end()), p.end());
  const bool fields = records[walk->maxRecord].field != 0;
  s.firstFrame = uint32_t(fields ? p.front() / 2 : p.front());
  s.lastFrame = records[walk->maxRecord].frame;
  for (size_t i = 1; i < p.size(); ++i) {
    if (p[i] > p[i - 1] + 1) {
      const FrameRange gap{p[i - 1] + 1, p[i] - 1};
      s.missingRanges.push_back(gap);
      s.missing += int64_t(gap.last) - int64_t(gap.first) + 1;
    }
  }
  for (const UncertainGap& g : s.missingAmong)
    s.missing += g.count;
  if (s.hasDrops)
    s.dropsAtLast = records[walk->maxRecord].drops;
  r->missing += s.missing;
  r->repeated += s.repeated;
  r->outOfOrder += s.outOfOrder;
  if (s.hasDrops && s.dropsAtLast >= s.dropsAtFirst) {
    r->hasDrops = true;
    r->sourceDrops += int64_t(s.dropsAtLast - s.dropsAtFirst);
  }
  r->streams.push_back(s);
  *walk = StreamWalk();
}

bool StartsNewStream(const StreamWalk& walk, const FrameRecord& rec,
                     const std::vector<FrameRecord>& records) {
  if (!walk.any)
    return true;
  if (rec.hasStream)
    return !walk.summary.hasStream || rec.stream != walk.summary.stream;
  const FrameRecord& before = records[walk.lastReadable];
  return rec.frame == 0 && walk.seen.count(0) && rec.hasClockMs && before.hasClockMs &&
         rec.clockMs < before.clockMs;
}

void Walk(AnalysisResult* r) {
  const std::vector<FrameRecord>& records = r->frames;
  StreamWalk walk;
  size_t unreadableRun = 0;
  for (size_t i = 0; i < records.size(); ++i) {
    const FrameRecord& rec = records[i];
    const bool damaged = rec.damage != FrameDamage::kNone;
    r->damaged += damaged ? 1 : 0;
    if (!rec.readable) {
      // A damaged frame's code may be lost with the damage: it stands for a
      // number in the gap as an unreadable record does, but is not one.
      r->events.push_back(damaged ? FrameEvent::kDamaged : FrameEvent::kUnreadable);
      ++unreadableRun;
      continue;
    }
    ++r->readable;
    r->minConfidence = std::min(r->minConfidence, rec.confidence);
    const uint64_t n = SequenceKey(rec);
    if (StartsNewStream(walk, rec, records)) {
      const bool restart = walk.any;
      CloseStream(&walk, records, r);
      r->restarts += restart ? 1 : 0;
      walk.any = true;
      walk.summary.hasStream = rec.hasStream;
      walk.summary.stream = rec.stream;
      walk.summary.hasDrops = rec.hasDrops;
      walk.summary.dropsAtFirst = rec.drops;
      walk.maxSeen = n;
      walk.maxRecord = i;
      r->events.push_back(restart ? FrameEvent::kRestart : FrameEvent::kFirst);
    } else if (walk.seen.count(n)) {
      ++walk.summary.repeated;
      r->events.push_back(FrameEvent::kRepeated);
    } else if (n > walk.maxSeen) {
      // Unreadable records just before stand for numbers between the previous
      // frame and this one, as far as there is room; which ones is not known,
      // so where frames are lost too, the lost ones are counted, not named.
      const uint64_t before = SequenceKey(records[walk.lastReadable]);
      uint64_t covered = 0;
      if (unreadableRun > 0 && n > before) {
        const uint64_t between = n - before - 1;
        covered = std::min<uint64_t>(unreadableRun, between);
        if (covered > 0 && covered < between)
          walk.summary.missingAmong.push_back({{before + 1, n - 1}, int64_t(between - covered)});
        if (covered > 0)
          for (uint64_t k = 1; k <= between; ++k)
            walk.present.push_back(before + k);
      }
      // Next in order when nothing is missing between: unreadable records in
      // between stand for the numbers they cover.
      const bool gap = n > std::max(walk.maxSeen, before + covered) + 1;
      r->events.push_back(gap ? FrameEvent::kAfterGap : FrameEvent::kInOrder);
      walk.maxSeen = n;
      walk.maxRecord = i;
    } else {
      ++walk.summary.outOfOrder;
      r->events.push_back(FrameEvent::kOutOfOrder);
    }
    if (damaged)
      r->events.back() = FrameEvent::kDamaged;
    walk.seen.insert(n);
    walk.present.push_back(n);
    walk.summary.records += 1;
    walk.lastReadable = i;
    unreadableRun = 0;
  }
  CloseStream(&walk, records, r);
}

IntervalStats Intervals(const std::vector<FrameRecord>& records) {
  IntervalStats s;
  std::vector<double> ms;
  bool havePrevious = false;
  int64_t previous = 0;
  for (const FrameRecord& rec : records) {
    if (rec.field > 1 || !rec.hasTime)
      continue;
    if (havePrevious)
      ms.push_back(double(rec.time - previous) / 10000.0);
    previous = rec.time;
    havePrevious = true;
  }
  if (ms.empty())
    return s;
  s.measured = true;
  s.count = int64_t(ms.size());
  double sum = 0;
  for (double v : ms)
    sum += v;
  s.mean = sum / double(ms.size());
  s.max = *std::max_element(ms.begin(), ms.end());
  s.p50 = Percentile(&ms, 50);
  s.p99 = Percentile(&ms, 99);
  return s;
}

void MeasureTiming(AnalysisResult* r) {
  Timing& t = r->timing;
  t.intervals = Intervals(r->frames);
  const FrameRecord* first = nullptr;
  const FrameRecord* last = nullptr;
  int64_t stamped = 0;
  for (const FrameRecord& rec : r->frames) {
    if (rec.field > 1 || !rec.hasTime)
      continue;
    first = first ? first : &rec;
    last = &rec;
    ++stamped;
  }
  if (first && last->time > first->time) {
    t.rateMeasured = true;
    t.effectiveRate = double(stamped - 1) * 1e7 / double(last->time - first->time);
  }
  if (!r->source.hasFrameTimes) {
    t.notMeasured.push_back(
        "intervals, rate, drift and first-frame offset: the recording has no per-frame time "
        "stamps (" +
        r->source.container + ")");
    return;
  }
  // Drift within the longest stream: sample times restart with each stream.
  const FrameRecord* a = nullptr;
  const FrameRecord* b = nullptr;
  size_t streamIndex = 0, bestRecords = 0, current = 0;
  std::vector<size_t> streamOf(r->frames.size(), 0);
  for (size_t i = 0; i < r->frames.size(); ++i) {
    if (r->events[i] == FrameEvent::kRestart)
      ++current;
    streamOf[i] = current;
  }
  for (size_t s = 0; s < r->streams.size(); ++s) {
    if (size_t(r->streams[s].records) > bestRecords) {
      bestRecords = size_t(r->streams[s].records);
      streamIndex = s;
    }
  }
  for (size_t i = 0; i < r->frames.size(); ++i) {
    const FrameRecord& rec = r->frames[i];
    if (!rec.readable || !rec.hasTime || !rec.hasSampleTime || rec.field > 1)
      continue;
    if (!t.driftMeasured) {
      t.driftMeasured = true;
      t.firstOffsetMs = double(rec.time - rec.sampleTime) / 10000.0;
    }
    if (streamOf[i] == streamIndex) {
      a = a ? a : &rec;
      b = &rec;
    }
  }
  if (a && b) {
    t.driftMs = (double(b->time - b->sampleTime) - double(a->time - a->sampleTime)) / 10000.0;
  } else if (r->identity == IdentitySource::kStatusLine) {
    t.notMeasured.push_back(
        "drift and first-frame offset: the status line carries no sample times (turn the frame "
        "code on)");
  } else {
    t.notMeasured.push_back("drift and first-frame offset: no frame with a sample time was read");
  }
}

void PlaceDamaged(AnalysisResult* r) {
  const std::vector<FrameRecord>& f = r->frames;
  for (size_t i = 0; i < f.size(); ++i) {
    if (f[i].damage == FrameDamage::kNone)
      continue;
    DamagedFrame d;
    d.record = i;
    d.damage = f[i].damage;
    d.hasFrame = f[i].readable;
    d.frame = f[i].frame;
    for (size_t k = i; k-- > 0 && !d.hasAfter;) {
      d.hasAfter = f[k].readable;
      d.after = f[k].frame;
    }
    for (size_t k = i + 1; k < f.size() && !d.hasBefore; ++k) {
      d.hasBefore = f[k].readable;
      d.before = f[k].frame;
    }
    r->damagedFrames.push_back(d);
  }
}

void JudgeAnomalies(const Thresholds& th, AnalysisResult* r) {
  auto over = [&](int64_t value, int64_t limit, const char* what) {
    if (value > limit)
      r->anomalies.push_back(std::to_string(value) + " " + what);
  };
  over(r->missing, th.maxMissing, "missing frame(s)");
  over(r->repeated, th.maxRepeated, "repeated frame(s)");
  over(r->outOfOrder, th.maxOutOfOrder, "frame(s) out of order");
  over(r->damaged, th.maxDamaged, "damaged frame(s)");
  if (r->unreadablePercent > th.maxUnreadablePercent)
    r->anomalies.push_back(Format("%.3f %% unreadable (more than %.3f %%)", r->unreadablePercent,
                                  th.maxUnreadablePercent));
  const Timing& t = r->timing;
  if (th.maxIntervalMs >= 0 && t.intervals.measured && t.intervals.max > th.maxIntervalMs)
    r->anomalies.push_back(
        Format("longest interval %.3f ms (more than %.3f ms)", t.intervals.max, th.maxIntervalMs));
  if (th.maxP99Ms >= 0 && t.intervals.measured && t.intervals.p99 > th.maxP99Ms)
    r->anomalies.push_back(
        Format("interval p99 %.3f ms (more than %.3f ms)", t.intervals.p99, th.maxP99Ms));
  if (th.maxDriftMs >= 0 && t.driftMeasured && std::fabs(t.driftMs) > th.maxDriftMs)
    r->anomalies.push_back(Format("drift %.3f ms (more than %.3f ms)", t.driftMs, th.maxDriftMs));
  if (th.minRate >= 0 && t.rateMeasured && t.effectiveRate < th.minRate)
    r->anomalies.push_back(
        Format("rate %.3f fps (less than %.3f fps)", t.effectiveRate, th.minRate));
}

}  // namespace

const char* EventName(FrameEvent event) {
  switch (event) {
    case FrameEvent::kInOrder:
      return "ok";
    case FrameEvent::kFirst:
      return "first";
    case FrameEvent::kAfterGap:
      return "after-gap";
    case FrameEvent::kRepeated:
      return "repeated";
    case FrameEvent::kOutOfOrder:
      return "out-of-order";
    case FrameEvent::kRestart:
      return "restart";
    case FrameEvent::kUnreadable:
      return "unreadable";
    case FrameEvent::kDamaged:
      return "damaged";
  }
  return "?";
}

double Percentile(std::vector<double>* values, double percent) {
  if (values->empty())
    return 0;
  std::sort(values->begin(), values->end());
  const double rank = std::ceil(percent / 100.0 * double(values->size()));
  const size_t k = size_t(std::clamp(rank, 1.0, double(values->size()))) - 1;
  return (*values)[k];
}

AnalysisResult Analyse(std::vector<FrameRecord> records, const SourceInfo& source,
                       IdentitySource identity, const Thresholds& thresholds) {
  AnalysisResult r;
  r.source = source;
  r.identity = identity;
  r.frames = std::move(records);
  r.records = int64_t(r.frames.size());
  for (const FrameRecord& rec : r.frames)
    r.perField = r.perField || rec.field != 0;
  Walk(&r);
  r.unreadable = 0;
  for (FrameEvent e : r.events)
    r.unreadable += e == FrameEvent::kUnreadable ? 1 : 0;
  r.unreadablePercent = r.records ? 100.0 * double(r.unreadable) / double(r.records) : 0.0;
  r.anyFrame = r.readable > 0;
  if (!r.streams.empty()) {
    r.firstFrame = r.streams.front().firstFrame;
    r.lastFrame = r.streams.back().lastFrame;
  }
  if (!r.anyFrame)
    r.minConfidence = 0;
  PlaceDamaged(&r);
  MeasureTiming(&r);
  JudgeAnomalies(thresholds, &r);
  return r;
}

}  // namespace zdanalyse
