// zd-bench-win: the composition benchmark of zd-bench for the Windows build,
// where Google Benchmark is not at hand. Same cases (composition_cases.h),
// same paired steps: every frame is made beside a memcpy of one frame within
// the same rotation of buffers, so the module's own C library (msvcrt) is the
// one measured on both sides. Timed with steady_clock (the performance counter
// on Windows).
//
// Each case warms up, then runs a number of repetitions of F frames each
// (F chosen so that a repetition lasts about --min-ms); a repetition's ratio is
// its composition time over its memcpy time (and over a cold memcpy, one within
// a rotation larger than any cache), and the figures printed are the
// medians over the repetitions. --json prints the same figures as JSON.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/composition_cases.h"

namespace {

using Clock = std::chrono::steady_clock;
using zdbench::Case;
using zdbench::CompositionRun;
using zdbench::PairedTimes;

struct Options {
  int repetitions = 21;
  double minMs = 100.0;  // length of one repetition
  int frames = 0;        // frames per repetition; 0: from --min-ms
  bool json = false;
  bool streamStart = true;
  std::string filter;  // run only cases whose name contains this
};

void PrintUsage() {
  std::printf(
      "usage: zd-bench-win [--reps N] [--min-ms MS] [--frames N] [--filter TEXT]\n"
      "                    [--no-start] [--json]\n"
      "  --reps N       repetitions per case (default 21); medians are reported\n"
      "  --min-ms MS    length of one repetition in ms (default 100)\n"
      "  --frames N     frames per repetition instead of --min-ms\n"
      "  --filter TEXT  only the cases whose name contains TEXT\n"
      "  --no-start     leave out the stream-start cases\n"
      "  --json         print the figures as JSON\n");
}

bool ParseInt(const char* text, int lo, int* out) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (!text[0] || *end || v < lo || v > 1000000)
    return false;
  *out = int(v);
  return true;
}

// False (after a message) for an unknown or malformed argument.
bool ParseOptions(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool hasValue = i + 1 < argc;
    if (a == "--json") {
      o->json = true;
    } else if (a == "--no-start") {
      o->streamStart = false;
    } else if (a == "--reps" && hasValue && ParseInt(argv[i + 1], 1, &o->repetitions)) {
      ++i;
    } else if (a == "--frames" && hasValue && ParseInt(argv[i + 1], 1, &o->frames)) {
      ++i;
    } else if (a == "--min-ms" && hasValue) {
      int ms = 0;
      if (!ParseInt(argv[++i], 1, &ms)) {
        std::fprintf(stderr, "zd-bench-win: --min-ms needs a whole number of ms\n");
        return false;
      }
      o->minMs = ms;
    } else if (a == "--filter" && hasValue) {
      o->filter = argv[++i];
    } else {
      if (a != "--help" && a != "-h")
        std::fprintf(stderr, "zd-bench-win: bad argument %s\n", a.c_str());
      PrintUsage();
      return false;
    }
  }
  return true;
}

double Median(std::vector<double> v) {
  if (v.empty())
    return 0.0;
  std::sort(v.begin(), v.end());
  const size_t m = v.size() / 2;
  return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2.0;
}

struct CaseFigures {
  std::string name;
  bool ok = false;
  int frames = 0;         // per repetition
  double memcpyMs = 0.0;  // per frame, the memcpy paired with the composition
  double composeMs = 0.0;
  double composeRatio = 0.0;  // composition over memcpy
  double blitRatio = 0.0;     // background copy alone over memcpy
  double coldRatio = 0.0;     // composition over a cold memcpy
  uint32_t drops = 0;
};

// Sums of one repetition of paired steps, from frame *k on.
template <typename Step>
bool Repeat(int frames, uint64_t* k, Step step, double* copy, double* work,
            double* cold = nullptr) {
  *copy = *work = 0.0;
  if (cold)
    *cold = 0.0;
  for (int i = 0; i < frames; ++i) {
    const PairedTimes t = step((*k)++);
    if (!t.ok)
      return false;
    *copy += t.copySeconds;
    *work += t.workSeconds;
    if (cold)
      *cold += t.coldCopySeconds;
  }
  return true;
}

CaseFigures MeasureCase(const Case& c, const Options& o) {
  CaseFigures f;
  f.name = c.Name();
  CompositionRun run(c);
  if (!run.Prepared())
    return f;
  const auto compose = [&](uint64_t k) { return run.ComposeBesideMemcpy(k); };
  const auto blit = [&](uint64_t k) { return run.BlitBesideMemcpy(k); };

  // Warm-up: two rotations of each, and a first estimate of a frame's cost.
  uint64_t kc = 0, kb = 0;
  double copy = 0.0, work = 0.0, blitCopy = 0.0, blitWork = 0.0;
  if (!Repeat(2 * zdbench::kBufferCount, &kc, compose, &copy, &work) ||
      !Repeat(2 * zdbench::kBufferCount, &kb, blit, &blitCopy, &blitWork)) {
    return f;
  }
  f.frames = o.frames;
  if (f.frames == 0) {
    const double perFrame = (copy + work) / (2 * zdbench::kBufferCount);
    f.frames = std::max(zdbench::kBufferCount, int(std::ceil(o.minMs / 1000.0 / perFrame)));
  }

  std::vector<double> memcpyMs, composeMs, composeRatio, blitRatio, coldRatio;
  double cold = 0.0;
  for (int r = 0; r < o.repetitions; ++r) {
    if (!Repeat(f.frames, &kc, compose, &copy, &work, &cold))
      return f;
    if (!Repeat(f.frames, &kb, blit, &blitCopy, &blitWork))
      return f;
    memcpyMs.push_back(copy * 1000.0 / f.frames);
    composeMs.push_back(work * 1000.0 / f.frames);
    composeRatio.push_back(copy > 0.0 ? work / copy : 0.0);
    blitRatio.push_back(blitCopy > 0.0 ? blitWork / blitCopy : 0.0);
    coldRatio.push_back(cold > 0.0 ? work / cold : 0.0);
  }
  f.memcpyMs = Median(memcpyMs);
  f.composeMs = Median(composeMs);
  f.composeRatio = Median(composeRatio);
  f.blitRatio = Median(blitRatio);
  f.coldRatio = Median(coldRatio);
  f.drops = run.Drops();
  f.ok = true;
  return f;
}

struct StartFigures {
  std::string name;
  bool ok = false;
  double ms = 0.0;
};

// Median time of one call of step over the repetitions, after one call to warm up.
template <typename Step>
StartFigures MeasureStart(const std::string& name, int repetitions, Step step) {
  StartFigures f;
  f.name = name;
  if (!step())
    return f;
  std::vector<double> ms;
  for (int r = 0; r < repetitions; ++r) {
    const auto t0 = Clock::now();
    if (!step())
      return f;
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
  }
  f.ms = Median(ms);
  f.ok = true;
  return f;
}

void PrintTable(const std::vector<CaseFigures>& cases, const std::vector<StartFigures>& starts,
                const Options& o) {
  std::printf("zd-bench-win: medians of %d repetition(s)\n", o.repetitions);
  std::printf("%-16s %7s %10s %11s %16s %13s %14s %6s\n", "case", "frames", "memcpy ms",
              "compose ms", "compose/memcpy", "blit/memcpy", "compose/cold", "drops");
  for (const CaseFigures& f : cases) {
    if (!f.ok) {
      std::printf("%-16s FAILED (stream not prepared or frame not made)\n", f.name.c_str());
      continue;
    }
    std::printf("%-16s %7d %10.3f %11.3f %16.2f %13.2f %14.2f %6u\n", f.name.c_str(), f.frames,
                f.memcpyMs, f.composeMs, f.composeRatio, f.blitRatio, f.coldRatio, f.drops);
  }
  for (const StartFigures& s : starts) {
    if (!s.ok) {
      std::printf("%-30s FAILED\n", s.name.c_str());
      continue;
    }
    std::printf("%-30s %8.2f ms\n", s.name.c_str(), s.ms);
  }
}

void PrintJson(const std::vector<CaseFigures>& cases, const std::vector<StartFigures>& starts,
               const Options& o) {
  std::printf("{\n  \"repetitions\": %d,\n  \"cases\": [", o.repetitions);
  for (size_t i = 0; i < cases.size(); ++i) {
    const CaseFigures& f = cases[i];
    std::printf(
        "%s\n    {\"name\": \"%s\", \"ok\": %s, \"frames_per_repetition\": %d, "
        "\"memcpy_ms\": %.4f, \"compose_ms\": %.4f, \"x_memcpy\": %.4f, "
        "\"blit_x_memcpy\": %.4f, \"x_cold_memcpy\": %.4f, \"drops\": %u}",
        i ? "," : "", f.name.c_str(), f.ok ? "true" : "false", f.frames, f.memcpyMs, f.composeMs,
        f.composeRatio, f.blitRatio, f.coldRatio, f.drops);
  }
  std::printf("\n  ],\n  \"stream_start\": [");
  for (size_t i = 0; i < starts.size(); ++i) {
    const StartFigures& s = starts[i];
    std::printf("%s\n    {\"name\": \"%s\", \"ok\": %s, \"ms\": %.4f}", i ? "," : "",
                s.name.c_str(), s.ok ? "true" : "false", s.ms);
  }
  std::printf("\n  ]\n}\n");
}

bool Selected(const Options& o, const std::string& name) {
  return o.filter.empty() || name.find(o.filter) != std::string::npos;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!ParseOptions(argc, argv, &o))
    return 2;

  std::vector<CaseFigures> cases;
  for (const Case& c : zdbench::AllCases()) {
    if (!Selected(o, c.Name()))
      continue;
    cases.push_back(MeasureCase(c, o));
    if (!o.json) {
      std::fprintf(stderr, "%s done\n", c.Name().c_str());
    }
  }

  std::vector<StartFigures> starts;
  if (o.streamStart) {
    const std::string suffix = "/" + zdbench::StreamStartCase().Name();
    zdbench::StreamStartRun start;
    zdbench::TileRun tile;
    const int reps = std::max(1, std::min(o.repetitions, 11));
    if (Selected(o, "StreamStart" + suffix)) {
      starts.push_back(MeasureStart("StreamStart" + suffix, reps, [&] { return start.Start(); }));
    }
    if (Selected(o, "TileConversion" + suffix)) {
      starts.push_back(
          MeasureStart("TileConversion" + suffix, reps, [&] { return tile.Convert(); }));
    }
    if (Selected(o, "PlainPass" + suffix)) {
      starts.push_back(MeasureStart("PlainPass" + suffix, reps, [&] { return tile.PlainPass(); }));
    }
  }

  if (o.json) {
    PrintJson(cases, starts, o);
  } else {
    PrintTable(cases, starts, o);
  }
  const bool allOk =
      std::all_of(cases.begin(), cases.end(), [](const CaseFigures& f) { return f.ok; }) &&
      std::all_of(starts.begin(), starts.end(), [](const StartFigures& s) { return s.ok; });
  return allOk ? 0 : 1;
}
