#pragma once
// What each diagnosis means for the verdict. A picture fault says the pipeline
// broke the picture (upside down, mirrored, channels or Cb and Cr exchanged,
// the wrong matrix or range): an anomaly. A transformation is something an
// application may do on purpose (scale it, move it a little): information.
// A user who expects a fault (a self-view is mirrored) names it with --expect
// and it becomes information too.
#include <string>
#include <vector>

#include "tools/analyse/pixels/picture_result.h"

namespace zdanalyse {

enum class DiagnosisKind { kFault, kTransformation };

struct DiagnosisName {
  const char* name;   // as the reports give it
  const char* alias;  // a shorter name --expect takes too, or null
  DiagnosisKind kind;
};

// Every diagnosis the comparison can give, in the order the docs list them.
const std::vector<DiagnosisName>& DiagnosisNames();
// The diagnosis a name or alias stands for; null for none.
const DiagnosisName* FindDiagnosisName(const std::string& nameOrAlias);

// The least confidence with which a picture fault counts as an anomaly: below
// it the diagnosis stays information (a guess on a picture too damaged to say).
constexpr double kFaultConfidence = 0.5;
// A shift by more than this share of the picture's width or height is a fault
// (a picture cut in two, a wrong row offset); a smaller one is a crop.
constexpr double kSmallShiftShare = 0.05;

// Marks each diagnosis a fault or not, and expected or not (expected: the
// names --expect gave, as DiagnosisNames spells them); the anomalies' lines,
// one per fault that is not expected, go to anomalies.
void JudgePictures(PictureCheck* picture, const std::vector<std::string>& expected,
                   std::vector<std::string>* anomalies);

// What a judged diagnosis counts as, for the reports: "picture fault" (an
// anomaly), "expected" (a fault --expect named) or "information".
const char* DiagnosisRole(const PictureDiagnosis& d);

}  // namespace zdanalyse
