// zd-analyse: reads a recording made from the source back and says, frame by
// frame and in summary, what the capture pipeline did to the stream.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/module_path.h"
#include "stream/stream_settings.h"
#include "tools/analyse/analyse_options.h"
#include "tools/analyse/read/open_recording.h"
#include "tools/analyse/pixels/picture_check.h"
#include "tools/analyse/pixels/picture_verdict.h"
#include "tools/analyse/pixels/picture_worker.h"
#include "tools/analyse/report/progress_line.h"
#include "tools/analyse/identity/read_recording.h"
#include "tools/analyse/report/reports.h"
#include "tools/analyse/sequence/stream_analysis.h"

namespace {

using namespace zdanalyse;

constexpr int kExitClean = 0;
constexpr int kExitAnomalies = 1;
constexpr int kExitUnreadable = 2;
constexpr int kExitPageNotWritten = 3;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

int Fail(const std::string& message) {
  std::fprintf(stderr, "zd-analyse: %s\n", message.c_str());
  return kExitUnreadable;
}

// The settings the options name, or the shipped ones beside the program.
std::string SettingsPath(const AnalyseOptions& opt) {
  std::error_code ec;
  return opt.ini.empty() ? JoinModulePath(ModuleDirectory(), kSettingsFileName)
                         : std::filesystem::absolute(opt.ini, ec).string();
}

// The status line's candidates from the settings the options name, or from
// the shipped settings beside the program.
bool LoadStatusCandidates(const AnalyseOptions& opt, const SourceInfo& info,
                          std::vector<StatusLineCandidate>* out, std::string* error) {
  std::error_code ec;
  const std::string ini = SettingsPath(opt);
  if (!std::filesystem::is_regular_file(ini, ec)) {
    *error =
        "settings file not found: " + ini +
        (opt.ini.empty() ? " (the shipped one belongs beside the program; or --ini PATH)" : "");
    return false;
  }
  StreamSettings settings;
  if (!settings.LoadSettings(ini) || settings.m_presetNum < 1 || !settings.m_presetTable) {
    *error = "cannot read the presets of " + ini;
    return false;
  }
  if (opt.preset > settings.m_presetNum) {
    *error = "preset " + std::to_string(opt.preset) + " does not exist: " + ini + " has " +
             std::to_string(settings.m_presetNum);
    return false;
  }
  return StatusLineCandidates(settings, DirectoryOfModulePath(ini), opt.preset, info.width,
                              info.height, out, error);
}

// The pixel comparison, unless asked not to or without settings to make the
// originals from (then a note says so, and the analysis goes on without it).
std::unique_ptr<PictureChecker> OpenPictureChecker(const AnalyseOptions& opt, FrameSource& source) {
  if (!opt.pixels || opt.identity == IdentityChoice::kStatusLine)
    return nullptr;
  auto checker = std::make_unique<PictureChecker>();
  std::string error;
  std::error_code ec;
  const std::string ini = SettingsPath(opt);
  if (!std::filesystem::is_regular_file(ini, ec) ||
      !checker->Open(ini, ExpectedFrames(source.Info()), source.Info().nominalRate, &error)) {
    std::fprintf(stderr, "zd-analyse: note: no pixel comparison: %s\n",
                 error.empty() ? ("settings file not found: " + ini).c_str() : error.c_str());
    return nullptr;
  }
  source.KeepColour(true);
  return checker;
}

// The comparison's result into the analysis: its picture faults, and its
// threshold's anomaly.
void AddPictureCheck(PictureWorker* checker, const AnalyseOptions& opt, AnalysisResult* result) {
  if (!checker) {
    result->picture.note = "not compared";
    return;
  }
  result->picture = checker->Finish();
  if (result->identity != IdentitySource::kFrameCode)
    result->picture.note = "the pixel comparison needs the frame code (frame_code=1)";
  JudgePictures(&result->picture, opt.expect, &result->anomalies);
  const PictureCheck& p = result->picture;
  const Thresholds& t = opt.thresholds;
  if (p.compared && t.minPsnrDb >= 0 && p.minPsnrY < t.minPsnrDb) {
    char text[128];
    std::snprintf(text, sizeof text, "luma PSNR %.2f dB below %.2f dB", p.minPsnrY, t.minPsnrDb);
    result->anomalies.push_back(text);
  }
}

void WriteReport(const AnalysisResult& result, ReportForm form) {
  switch (form) {
    case ReportForm::kJson:
      WriteJsonReport(result, stdout);
      break;
    case ReportForm::kCsv:
      WriteCsvReport(result, stdout);
      break;
    case ReportForm::kText:
      WriteTextReport(result, stdout);
      break;
  }
  std::fflush(stdout);
}

// The page, written whole or not at all (a partial file is removed).
bool WritePage(const AnalysisResult& result, const std::string& path, std::string* error) {
  FilePtr file(std::fopen(path.c_str(), "wb"));
  bool written = file && WriteHtmlReport(result, file.get());
  written = file && std::fclose(file.release()) == 0 && written;
  if (!written) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
    *error = "cannot write the page " + path;
  }
  return written;
}

}  // namespace

int main(int argc, char** argv) {
  AnalyseOptions opt;
  std::string error;
  if (!ParseAnalyseOptions(argc, argv, &opt, &error)) {
    std::fprintf(stderr, "zd-analyse: %s\n\n", error.c_str());
    PrintUsage(stderr);
    return kExitUnreadable;
  }
  if (opt.help) {
    PrintUsage(stdout);
    return kExitClean;
  }

  std::unique_ptr<FrameSource> source = OpenRecording(opt.input, &error);
  if (!source)
    return Fail(error);

  std::vector<StatusLineCandidate> candidates;
  if (!LoadStatusCandidates(opt, source->Info(), &candidates, &error)) {
    if (opt.identity == IdentityChoice::kStatusLine)
      return Fail(error);
    std::fprintf(stderr, "zd-analyse: note: the status line cannot be read: %s\n", error.c_str());
  }

  std::unique_ptr<PictureWorker> pictures;
  if (std::unique_ptr<PictureChecker> checker = OpenPictureChecker(opt, *source))
    pictures = std::make_unique<PictureWorker>(std::move(checker));
  FrameFn compare;
  WantsColourFn wantsColour;
  if (pictures) {
    compare = [&pictures](LumaFrame* frame, const FrameRecord* records, size_t count) {
      // A short frame's rows after the cut are the reader's fill, not pixels
      // the pipeline made: it is not compared.
      if (frame->damage != FrameDamage::kShortData)
        pictures->Submit(frame, records, count);
    };
    wantsColour = [&pictures](const FrameRecord* records, size_t count) {
      return pictures->MayCompare(records, count);
    };
  }
  Reading reading;
  {
    ProgressLine progress(stderr, ExpectedFrames(source->Info()), opt.progress);
    if (!ReadRecording(
            *source, opt.identity, candidates, &reading, &error,
            [&progress](int64_t frames) { progress.Update(frames); }, compare, wantsColour))
      return Fail(opt.input + ": " + error);
  }

  AnalysisResult result =
      Analyse(std::move(reading.records), source->Info(), reading.identity, opt.thresholds);
  AddPictureCheck(pictures.get(), opt, &result);
  result.input = opt.input;
  result.identityDetail = reading.detail;
  WriteReport(result, opt.form);
  if (!opt.html.empty() && !WritePage(result, opt.html, &error)) {
    std::fprintf(stderr, "zd-analyse: %s\n", error.c_str());
    return kExitPageNotWritten;
  }

  if (!result.anyFrame)
    return Fail(opt.input +
                ": no frame identity could be read (neither frame code nor status line)");
  return result.anomalies.empty() ? kExitClean : kExitAnomalies;
}
