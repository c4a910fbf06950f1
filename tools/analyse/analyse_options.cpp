#include "tools/analyse/analyse_options.h"

#include <cstdio>
#include <cstdlib>

#include "tools/analyse/pixels/picture_verdict.h"

namespace zdanalyse {
namespace {

bool ParseNumber(const std::string& text, double minimum, double* out) {
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (text.empty() || *end || !(v >= minimum) || v > 1e12)
    return false;
  *out = v;
  return true;
}

}  // namespace

void PrintUsage(std::FILE* to) {
  std::fputs(
      "usage: zd-analyse [options] RECORDING\n"
      "       ffmpeg -i rec.mp4 -vsync passthrough -f yuv4mpegpipe - | zd-analyse [options] -\n"
      "\n"
      "Reads a recording of the Zintu Dobrel x64 source back and reports what the\n"
      "capture pipeline did to the stream: missing, repeated and out-of-order\n"
      "frames, stream restarts, the source's drops and the timing.\n"
      "\n"
      "  RECORDING          a file FFmpeg can decode (native build), a Y4M file,\n"
      "                     or \"-\": Y4M on standard input\n"
      "  --ini PATH         settings file naming the font sheets (default: the\n"
      "                     shipped ZintuDobrel.ini beside the program)\n"
      "  --preset N         read the status line as preset N draws it (from 1)\n"
      "  --identity WHICH   auto (default), code or status: where frame numbers\n"
      "                     come from (the frame code, or the status line)\n"
      "  --json, --csv      a JSON document, or CSV with one row per frame\n"
      "                     (default: a text summary)\n"
      "  --html PATH        also write the report as one self-contained web page\n"
      "                     (summary, timeline, anomalies) to PATH; standard\n"
      "                     output still gets the text, JSON or CSV form\n"
      "  --no-progress      no progress line (it only ever appears when standard\n"
      "                     error is a terminal)\n"
      "  --max-missing N, --max-repeated N, --max-out-of-order N   (default 0)\n"
      "  --max-unreadable PERCENT                                  (default 0.1)\n"
      "  --max-interval MS, --max-p99 MS, --max-drift MS, --min-rate FPS\n"
      "                     timing thresholds, off unless given\n"
      "  --no-pixels        skip the pixel comparison (done by default when the\n"
      "                     frame code names the preset: each frame against the\n"
      "                     source's original, PSNR and a diagnosis of what the\n"
      "                     pipeline did to the picture)\n"
      "  --min-psnr DB      luma PSNR every compared frame must reach (off unless\n"
      "                     given)\n"
      "  --expect NAME[,NAME...]\n"
      "                     picture faults the pipeline makes on purpose, taken as\n"
      "                     information: mirrored (a self-view), flipped,\n"
      "                     shifted, or any diagnosis' name; a picture fault not\n"
      "                     expected is an anomaly\n"
      "\n"
      "Exit codes: 0 clean; 1 anomalies (frames missing, repeated, out of order or\n"
      "damaged, a picture fault, beyond a threshold); 2 the recording cannot be\n"
      "read, or no frame identity could be read at all; 3 the page (--html) could\n"
      "not be written.\n",
      to);
}

namespace {

// The thresholds, by option: whole counts, and numbers of at least 0.
template <class T>
struct ThresholdOption {
  const char* name;
  T Thresholds::*field;
};
constexpr ThresholdOption<int64_t> kCountThresholds[] = {
    {"--max-missing", &Thresholds::maxMissing},
    {"--max-repeated", &Thresholds::maxRepeated},
    {"--max-out-of-order", &Thresholds::maxOutOfOrder},
};
constexpr ThresholdOption<double> kNumberThresholds[] = {
    {"--max-unreadable", &Thresholds::maxUnreadablePercent},
    {"--max-interval", &Thresholds::maxIntervalMs},
    {"--max-p99", &Thresholds::maxP99Ms},
    {"--max-drift", &Thresholds::maxDriftMs},
    {"--min-rate", &Thresholds::minRate},
    {"--min-psnr", &Thresholds::minPsnrDb},
};

template <class T, size_t N>
const ThresholdOption<T>* FindOption(const ThresholdOption<T> (&table)[N], const std::string& arg) {
  for (const ThresholdOption<T>& option : table)
    if (arg == option.name)
      return &option;
  return nullptr;
}

// The options without a value; false for any other argument.
bool SetSwitch(const std::string& arg, AnalyseOptions* o) {
  if (arg == "--help" || arg == "-h")
    o->help = true;
  else if (arg == "--json")
    o->form = ReportForm::kJson;
  else if (arg == "--csv")
    o->form = ReportForm::kCsv;
  else if (arg == "--no-progress")
    o->progress = false;
  else if (arg == "--no-pixels")
    o->pixels = false;
  else
    return false;
  return true;
}

// The names of a comma-separated list (full names or aliases) into expected,
// as the reports spell them; false, with the names there are, for one unknown.
bool Expect(const std::string& list, std::vector<std::string>* expected, std::string* error) {
  size_t from = 0;
  for (;;) {
    const size_t comma = list.find(',', from);
    const std::string name = list.substr(from, comma - from);
    const DiagnosisName* found = FindDiagnosisName(name);
    if (!found) {
      *error = "--expect: no diagnosis is called \"" + name + "\"; there are";
      for (const DiagnosisName& d : DiagnosisNames())
        *error += std::string(" ") + d.name + (d.alias ? std::string(" (") + d.alias + ")" : "");
      return false;
    }
    expected->push_back(found->name);
    if (comma == std::string::npos)
      return true;
    from = comma + 1;
  }
}

}  // namespace

bool ParseAnalyseOptions(int argc, char** argv, AnalyseOptions* o, std::string* error) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string* v) {
      if (i + 1 >= argc) {
        *error = arg + " needs a value";
        return false;
      }
      *v = argv[++i];
      return true;
    };
    auto number = [&](double minimum, double* out) {
      std::string v;
      if (!value(&v))
        return false;
      if (!ParseNumber(v, minimum, out)) {
        *error = arg + " wants a number, not \"" + v + "\"";
        return false;
      }
      return true;
    };
    auto count = [&](int64_t* out) {
      double v = 0;
      if (!number(0, &v))
        return false;
      *out = int64_t(v);
      return true;
    };
    std::string v;
    double d = 0;
    Thresholds& t = o->thresholds;
    bool ok = true;
    if (SetSwitch(arg, o)) {
    } else if (arg == "--html") {
      ok = value(&o->html);
      if (ok && o->html.empty()) {
        *error = "--html wants a file name";
        ok = false;
      }
    } else if (arg == "--ini") {
      ok = value(&o->ini);
    } else if (arg == "--preset") {
      ok = number(1, &d) && d <= 999;
      o->preset = int(d);
      if (!ok && error->empty())
        *error = "--preset wants a number from 1 to 999";
    } else if (arg == "--identity") {
      ok = value(&v);
      if (ok && v == "auto")
        o->identity = IdentityChoice::kAuto;
      else if (ok && v == "code")
        o->identity = IdentityChoice::kFrameCode;
      else if (ok && v == "status")
        o->identity = IdentityChoice::kStatusLine;
      else if (ok) {
        *error = "--identity is auto, code or status, not \"" + v + "\"";
        ok = false;
      }
    } else if (arg == "--expect") {
      ok = value(&v) && Expect(v, &o->expect, error);
    } else if (const auto* c = FindOption(kCountThresholds, arg)) {
      ok = count(&(t.*(c->field)));
    } else if (const auto* n = FindOption(kNumberThresholds, arg)) {
      ok = number(0, &(t.*(n->field)));
    } else if (arg.size() > 1 && arg[0] == '-') {
      *error = "unknown option \"" + arg + "\"";
      return false;
    } else if (o->input.empty()) {
      o->input = arg;
    } else {
      *error = "one recording at a time (\"" + o->input + "\" and \"" + arg + "\")";
      return false;
    }
    if (!ok)
      return false;
  }
  if (o->input.empty() && !o->help) {
    *error = "no recording given (a file, or - for Y4M on standard input)";
    return false;
  }
  return true;
}

}  // namespace zdanalyse
