#pragma once
// zd-analyse's command line.
#include <string>
#include <vector>

#include "tools/analyse/identity/read_recording.h"
#include "tools/analyse/sequence/analysis_result.h"

namespace zdanalyse {

enum class ReportForm { kText, kJson, kCsv };

struct AnalyseOptions {
  std::string input;  // a file, or "-" for Y4M on standard input
  std::string ini;    // settings file; empty: the shipped one beside the program
  int preset = 0;     // only this preset's geometry and font sheet (from 1); 0: all
  ReportForm form = ReportForm::kText;  // what goes to standard output
  std::string html;                     // also the page, to this file; empty: none
  bool progress = true;                 // a progress line when standard error is a terminal
  bool pixels = true;                   // compare the pictures with the originals
  IdentityChoice identity = IdentityChoice::kAuto;
  bool help = false;
  Thresholds thresholds;
  // Picture faults the pipeline makes on purpose (--expect): information, not
  // anomalies. As the reports name them.
  std::vector<std::string> expect;
};

// False, with a reason, for a command line that cannot be followed.
bool ParseAnalyseOptions(int argc, char** argv, AnalyseOptions* options, std::string* error);
void PrintUsage(std::FILE* to);

}  // namespace zdanalyse
