#include "tools/analyse/pixels/picture_compare.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "pattern/frame_code_reader.h"

namespace zdanalyse {
namespace {

constexpr int32_t kMarginPx = 3;  // beyond the masked parts: resampling and coding spill over

int32_t ScaleDown(int64_t v, int64_t num, int64_t den) {
  return int32_t(v * num / den);
}
int32_t ScaleUp(int64_t v, int64_t num, int64_t den) {
  return int32_t((v * num + den - 1) / den);
}

// The columns of one row to compare: [x0, x1) less the excluded rectangles
// that cover the row. At most kMaxExcluded + 1 intervals.
int RowIntervals(const CompareArea& a, int32_t y, int32_t (*out)[2]) {
  int n = 1;
  out[0][0] = a.valid.x0;
  out[0][1] = a.valid.x1;
  for (int e = 0; e < a.excludedCount; ++e) {
    const Rect& r = a.excluded[e];
    if (!r.Contains(y))
      continue;
    int kept = 0;
    int32_t next[kMaxExcluded + 2][2];
    for (int i = 0; i < n; ++i) {
      if (r.x1 <= out[i][0] || r.x0 >= out[i][1]) {
        next[kept][0] = out[i][0];
        next[kept++][1] = out[i][1];
        continue;
      }
      if (r.x0 > out[i][0]) {
        next[kept][0] = out[i][0];
        next[kept++][1] = r.x0;
      }
      if (r.x1 < out[i][1] && kept < kMaxExcluded + 1) {
        next[kept][0] = r.x1;
        next[kept++][1] = out[i][1];
      }
    }
    n = kept;
    std::copy(&next[0][0], &next[0][0] + 2 * n, &out[0][0]);
  }
  return n;
}

// Squared errors of one plane over the area (in the plane's own samples).
void PlaneErrors(const uint8_t* a, const uint8_t* b, int32_t stride, const CompareArea& area,
                 int32_t rowStep, double* sse, int64_t* count) {
  int32_t spans[kMaxExcluded + 2][2];
  uint64_t total = 0;
  int64_t n = 0;
  for (int32_t y = area.valid.y0; y < area.valid.y1; y += rowStep) {
    const int count2 = RowIntervals(area, y, spans);
    const uint8_t* ra = a + ptrdiff_t(y) * stride;
    const uint8_t* rb = b + ptrdiff_t(y) * stride;
    for (int i = 0; i < count2; ++i) {
      uint32_t rowSum = 0;  // at most 16384 * 255^2 < 2^32
      for (int32_t x = spans[i][0]; x < spans[i][1]; ++x) {
        const int32_t d = int32_t(ra[x]) - int32_t(rb[x]);
        rowSum += uint32_t(d * d);
      }
      total += rowSum;
      n += spans[i][1] - spans[i][0];
    }
  }
  *sse += double(total);
  *count += n;
}

// The area in chroma samples: rectangles scaled, valid inward, excluded outward.
CompareArea ChromaArea(const CompareArea& a, int32_t w, int32_t h, int32_t cw, int32_t ch) {
  CompareArea c;
  c.valid = {ScaleUp(a.valid.x0, cw, w), ScaleUp(a.valid.y0, ch, h), ScaleDown(a.valid.x1, cw, w),
             ScaleDown(a.valid.y1, ch, h)};
  c.excludedCount = a.excludedCount;
  for (int e = 0; e < a.excludedCount; ++e) {
    const Rect& r = a.excluded[e];
    c.excluded[e] = {ScaleDown(r.x0, cw, w), ScaleDown(r.y0, ch, h), ScaleUp(r.x1, cw, w),
                     ScaleUp(r.y1, ch, h)};
  }
  return c;
}

}  // namespace

CompareArea UprightArea(int32_t w, int32_t h, int32_t sh, int32_t textH, bool settingsBlock) {
  CompareArea a;
  a.valid = {0, 0, w, h};
  const int32_t text = ScaleUp(textH, h, std::max(sh, 1)) + kMarginPx;
  a.excluded[0] = {0, 0, w, text};
  a.excluded[1] = {0, h - text, w, h};
  // The frame slot (units y 27 to 38) and the field slot (units 51 to 62 of
  // each field, so the same units of the frame), a unit or so around each.
  const int32_t ux0 = 3, ux1 = kFrameCodeBlockUnitsX + 5;
  const int32_t x0 = ScaleDown(int64_t(ux0) * w, 1, kFrameCodeGridX) - kMarginPx;
  const int32_t x1 = ScaleUp(int64_t(ux1) * w, 1, kFrameCodeGridX) + kMarginPx;
  // Layout 2's settings block (units 39 to 50) joins them into one.
  int32_t slots[2][2] = {{26, 40}, {50, 64}};
  if (settingsBlock)
    slots[0][1] = slots[1][0] = 45;
  for (int k = 0; k < 2; ++k)
    a.excluded[2 + k] = {x0, ScaleDown(int64_t(slots[k][0]) * h, 1, kFrameCodeGridY) - kMarginPx,
                         x1, ScaleUp(int64_t(slots[k][1]) * h, 1, kFrameCodeGridY) + kMarginPx};
  a.excludedCount = 4;
  return a;
}

Rect MarkerRect(const PictureView& rec, const PictureView& expect, const CompareArea& area,
                int32_t markerW, int32_t markerH, int32_t rowStep) {
  if (!rec.SameLayout(expect) || markerW < 1 || markerH < 1 || rowStep < 1)
    return {};
  const int32_t x0 = std::max(0, area.valid.x0), x1 = std::min(rec.width, area.valid.x1);
  const int32_t y0 = std::max(0, area.valid.y0), y1 = std::min(rec.height, area.valid.y1);
  if (x1 <= x0 || y1 <= y0)
    return {};
  const int32_t gx = (x1 - x0 + markerW - 1) / markerW, gy = (y1 - y0 + markerH - 1) / markerH;
  std::vector<double> cells(size_t(gx) * size_t(gy), 0.0);
  double total = 0;
  for (int32_t y = y0; y < y1; y += rowStep) {
    const uint8_t* a = rec.y + ptrdiff_t(y) * rec.width;
    const uint8_t* b = expect.y + ptrdiff_t(y) * rec.width;
    double* row = cells.data() + size_t((y - y0) / markerH) * size_t(gx);
    int32_t spans[kMaxExcluded + 2][2];
    const int n = RowIntervals(area, y, spans);
    for (int i = 0; i < n; ++i) {
      for (int32_t x = std::max(x0, spans[i][0]); x < std::min(x1, spans[i][1]); ++x) {
        const int32_t d = int32_t(a[x]) - int32_t(b[x]);
        row[(x - x0) / markerW] += double(d * d);
      }
    }
  }
  double best = -1;
  int32_t bx = 0, by = 0;
  for (int32_t cy = 0; cy < gy; ++cy) {
    for (int32_t cx = 0; cx < gx; ++cx) {
      total += cells[size_t(cy) * size_t(gx) + size_t(cx)];
      double block = 0;
      for (int32_t k = 0; k < 4; ++k) {
        const int32_t x = cx + k % 2, y = cy + k / 2;
        if (x < gx && y < gy)
          block += cells[size_t(y) * size_t(gx) + size_t(x)];
      }
      if (block > best) {
        best = block;
        bx = cx;
        by = cy;
      }
    }
  }
  const double others = (total - best) / std::max(1.0, double(gx) * double(gy) - 4.0);
  if (best <= 0 || best < 32.0 * 4.0 * others)
    return {};
  return {x0 + bx * markerW - kMarginPx, y0 + by * markerH - kMarginPx,
          std::min(x1, x0 + (bx + 2) * markerW + kMarginPx),
          std::min(y1, y0 + (by + 2) * markerH + kMarginPx)};
}

void Exclude(CompareArea* area, const Rect& r) {
  if (r.x1 > r.x0 && r.y1 > r.y0 && area->excludedCount < kMaxExcluded)
    area->excluded[area->excludedCount++] = r;
}

PictureErrors ComparePictures(const PictureView& rec, const PictureView& expect,
                              const CompareArea& area, int32_t rowStep) {
  PictureErrors e;
  if (!rec.SameLayout(expect) || rowStep < 1)
    return e;
  CompareArea luma = area;
  luma.valid = {std::max(0, area.valid.x0), std::max(0, area.valid.y0),
                std::min(rec.width, area.valid.x1), std::min(rec.height, area.valid.y1)};
  PlaneErrors(rec.y, expect.y, rec.width, luma, rowStep, &e.sseY, &e.countY);
  const CompareArea chroma =
      ChromaArea(luma, rec.width, rec.height, rec.chromaWidth, rec.chromaHeight);
  const int32_t chromaStep = rowStep;
  PlaneErrors(rec.cb, expect.cb, rec.chromaWidth, chroma, chromaStep, &e.sseC, &e.countC);
  PlaneErrors(rec.cr, expect.cr, rec.chromaWidth, chroma, chromaStep, &e.sseC, &e.countC);
  return e;
}

double Psnr(double sse, int64_t count) {
  if (count <= 0)
    return 0.0;
  if (sse <= 0.0)
    return std::numeric_limits<double>::infinity();
  return 10.0 * std::log10(255.0 * 255.0 * double(count) / sse);
}

}  // namespace zdanalyse
