#include "tools/analyse/pixels/picture_verdict.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace zdanalyse {

const std::vector<DiagnosisName>& DiagnosisNames() {
  static const std::vector<DiagnosisName> names = {
      {"flipped_vertically", "flipped", DiagnosisKind::kFault},
      {"mirrored_horizontally", "mirrored", DiagnosisKind::kFault},
      {"shifted", nullptr, DiagnosisKind::kTransformation},
      {"scaled", nullptr, DiagnosisKind::kTransformation},
      {"red_blue_swapped", nullptr, DiagnosisKind::kFault},
      {"cb_cr_swapped", nullptr, DiagnosisKind::kFault},
      {"bt601_as_bt709", nullptr, DiagnosisKind::kFault},
      {"bt709_as_bt601", nullptr, DiagnosisKind::kFault},
      {"limited_as_full", nullptr, DiagnosisKind::kFault},
      {"full_as_limited", nullptr, DiagnosisKind::kFault},
  };
  return names;
}

const DiagnosisName* FindDiagnosisName(const std::string& nameOrAlias) {
  for (const DiagnosisName& d : DiagnosisNames())
    if (nameOrAlias == d.name || (d.alias && nameOrAlias == d.alias))
      return &d;
  return nullptr;
}

namespace {

// Whether the diagnosis, of whatever kind its name is, broke the picture.
bool BrokeThePicture(const PictureDiagnosis& d, int32_t width, int32_t height) {
  const DiagnosisName* name = FindDiagnosisName(d.name);
  if (!name)
    return false;
  if (d.name == "shifted")
    return width > 0 && height > 0 &&
           (std::fabs(d.shiftX) > kSmallShiftShare * width ||
            std::fabs(d.shiftY) > kSmallShiftShare * height);
  return name->kind == DiagnosisKind::kFault;
}

}  // namespace

void JudgePictures(PictureCheck* picture, const std::vector<std::string>& expected,
                   std::vector<std::string>* anomalies) {
  for (PictureDiagnosis& d : picture->diagnoses) {
    d.fault =
        d.confidence >= kFaultConfidence && BrokeThePicture(d, picture->width, picture->height);
    d.expected = std::find(expected.begin(), expected.end(), d.name) != expected.end();
    if (!d.Anomaly())
      continue;
    char text[160];
    std::snprintf(text, sizeof text, "picture %s%s%s (confidence %.2f, frames %u to %u)",
                  d.name.c_str(), d.detail.empty() ? "" : " ", d.detail.c_str(), d.confidence,
                  d.firstFrame, d.lastFrame);
    anomalies->push_back(text);
  }
}

const char* DiagnosisRole(const PictureDiagnosis& d) {
  return d.Anomaly() ? "picture fault" : d.fault ? "expected" : "information";
}

}  // namespace zdanalyse
