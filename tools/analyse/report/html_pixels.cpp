#include "tools/analyse/report/html_pixels.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "tools/analyse/pixels/picture_verdict.h"
#include "tools/analyse/report/html_text.h"
#include "tools/analyse/report/number_text.h"

namespace zdanalyse {
namespace {

void Put16(std::vector<uint8_t>* b, uint32_t v) {
  b->push_back(uint8_t(v));
  b->push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>* b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}

std::string Base64(const std::vector<uint8_t>& in) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((in.size() + 2) / 3 * 4);
  for (size_t i = 0; i < in.size(); i += 3) {
    const uint32_t n = uint32_t(in[i]) << 16 | (i + 1 < in.size() ? uint32_t(in[i + 1]) << 8 : 0) |
                       (i + 2 < in.size() ? in[i + 2] : 0);
    out += kDigits[(n >> 18) & 63];
    out += kDigits[(n >> 12) & 63];
    out += i + 1 < in.size() ? kDigits[(n >> 6) & 63] : '=';
    out += i + 2 < in.size() ? kDigits[n & 63] : '=';
  }
  return out;
}

std::string Db(double v) {
  return FiniteOr(v, "%.2f dB", "identical");
}

void Row(std::string* page, const std::string& name, const std::string& value) {
  *page += "<tr><th>" + EscapeHtml(name) + "</th><td>" + EscapeHtml(value) + "</td></tr>\n";
}

std::string Figure(const Thumbnail& t, const std::string& caption) {
  return "<figure style=\"display:inline-block;margin:0 12px 0 0\"><img class=\"frame-picture\" "
         "alt=\"" +
         EscapeHtml(caption) + "\" width=\"" + std::to_string(t.width) + "\" height=\"" +
         std::to_string(t.height) + "\" src=\"data:image/bmp;base64," + BmpBase64(t) +
         "\"><figcaption>" + EscapeHtml(caption) + "</figcaption></figure>";
}

}  // namespace

std::string BmpBase64(const Thumbnail& t) {
  const uint32_t rowBytes = (uint32_t(t.width) * 3 + 3) & ~3u;
  const uint32_t pixels = rowBytes * uint32_t(t.height);
  std::vector<uint8_t> b;
  b.reserve(54 + pixels);
  b.push_back('B');
  b.push_back('M');
  Put32(&b, 54 + pixels);
  Put32(&b, 0);
  Put32(&b, 54);
  Put32(&b, 40);  // BITMAPINFOHEADER
  Put32(&b, uint32_t(t.width));
  Put32(&b, uint32_t(t.height));
  Put16(&b, 1);
  Put16(&b, 24);
  for (int i = 0; i < 6; ++i)
    Put32(&b, i == 1 ? pixels : 0);
  for (int32_t y = t.height - 1; y >= 0; --y) {
    const uint8_t* row = t.bgr.data() + size_t(y) * size_t(t.width) * 3;
    b.insert(b.end(), row, row + size_t(t.width) * 3);
    b.resize(b.size() + (rowBytes - uint32_t(t.width) * 3), 0);
  }
  return Base64(b);
}

std::string PixelsSection(const PictureCheck& p) {
  std::string page = "<h2>Pixels</h2>\n";
  if (!p.compared)
    return page + "<p>Not compared: " + EscapeHtml(p.note) + "</p>\n";
  page += "<table class=\"summary\">\n";
  Row(&page, "compared",
      std::to_string(p.frames) + " frames against the originals (" + p.domain +
          (p.frameStep > 1 ? ", every " + Ordinal(p.frameStep) + " frame" : "") +
          (p.steadyFrameStep <= p.frameStep ? ""
           : p.frameStep > 1 ? " (every " + Ordinal(p.steadyFrameStep) + " while steady)"
                             : ", every " + Ordinal(p.steadyFrameStep) + " frame while steady") +
          (p.rowStep > 1 ? ", every " + Ordinal(p.rowStep) + " row" : "") + ")");
  Row(&page, "PSNR", "luma " + Db(p.psnrY) + ", chroma " + Db(p.psnrC));
  if (!p.note.empty())
    Row(&page, "note", p.note);
  if (p.diagnoses.empty())
    Row(&page, "diagnosis", "none (" + std::to_string(p.diagnosedFrames) + " frames diagnosed)");
  for (const PictureDiagnosis& d : p.diagnoses) {
    char conf[128];
    std::snprintf(conf, sizeof conf,
                  " (confidence %.2f, in %lld of %lld frames diagnosed, frames %u to %u): %s",
                  d.confidence, static_cast<long long>(d.frames),
                  static_cast<long long>(p.diagnosedFrames), d.firstFrame, d.lastFrame,
                  DiagnosisRole(d));
    page += "<tr class=\"diagnosis\"><th>diagnosis</th><td>" +
            EscapeHtml(d.name + (d.detail.empty() ? "" : " " + d.detail) + conf) + "</td></tr>\n";
  }
  // The label once, beside the first of the worst frames.
  for (const PictureFrameResult& w : p.worst)
    Row(&page, &w == &p.worst.front() ? "worst frames" : "",
        std::to_string(w.frame) + " (record " + std::to_string(w.index) + "): luma " + Db(w.psnrY) +
            ", chroma " + Db(w.psnrC));
  page += "</table>\n";
  if (!p.worst.empty() && !p.worstOriginal.bgr.empty() && !p.worstRecorded.bgr.empty())
    page += "<div>" +
            Figure(p.worstOriginal,
                   "frame " + std::to_string(p.worst.front().frame) + " as the source made it") +
            Figure(p.worstRecorded, "as recorded") + "</div>\n";
  return page;
}

}  // namespace zdanalyse
