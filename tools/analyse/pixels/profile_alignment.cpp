// EstimateScaleShift (picture_hypotheses.h): the scale and shift of each axis
// from the pictures' mean column and row profiles, coarse to fine.
#include <algorithm>
#include <cmath>
#include <vector>

#include "tools/analyse/pixels/picture_hypotheses.h"

namespace zdanalyse {
namespace {

constexpr double kMinScale = 0.8, kMaxScale = 1.25;
constexpr double kMaxShiftShare = 0.1;  // of the axis's length
constexpr int32_t kCoarseSamples = 256;

struct Profile {
  std::vector<float> v;
  std::vector<uint8_t> ok;  // 0 where the profile runs through masked parts
};

bool Covered(const CompareArea& a, int32_t y, int32_t margin) {
  for (int e = 0; e < a.excludedCount; ++e)
    if (a.excluded[e].x1 - a.excluded[e].x0 > 0 && y >= a.excluded[e].y0 - margin &&
        y < a.excluded[e].y1 + margin)
      return true;
  return false;
}

// Mean of each column over the rows no masked part comes near.
Profile Columns(const PictureView& p, const CompareArea& a) {
  Profile r;
  r.v.assign(size_t(p.width), 0.0f);
  r.ok.assign(size_t(p.width), 1);
  const int32_t margin = p.height / 20;
  int32_t rows = 0;
  std::vector<uint32_t> sum(size_t(p.width), 0);
  for (int32_t y = 0; y < p.height; ++y) {
    if (Covered(a, y, margin))
      continue;
    ++rows;
    for (int32_t x = 0; x < p.width; ++x)
      sum[size_t(x)] += p.y[size_t(y) * size_t(p.width) + size_t(x)];
  }
  for (int32_t x = 0; x < p.width; ++x)
    r.v[size_t(x)] = rows ? float(sum[size_t(x)]) / float(rows) : 0.0f;
  if (!rows)
    r.ok.assign(size_t(p.width), 0);
  return r;
}

// Mean of each row right of the frame code; rows of the text lines left out.
Profile Rows(const PictureView& p, const CompareArea& a) {
  Profile r;
  r.v.assign(size_t(p.height), 0.0f);
  r.ok.assign(size_t(p.height), 1);
  int32_t from = 0;
  for (int e = 0; e < a.excludedCount; ++e)
    if (a.excluded[e].x1 < p.width)
      from = std::max(from, a.excluded[e].x1 + p.width / 20);
  from = std::min(from, p.width - 1);
  const int32_t margin = p.height / 20;
  for (int32_t y = 0; y < p.height; ++y) {
    uint32_t sum = 0;
    for (int32_t x = from; x < p.width; ++x)
      sum += p.y[size_t(y) * size_t(p.width) + size_t(x)];
    r.v[size_t(y)] = float(sum) / float(std::max(1, p.width - from));
    for (int e = 0; e < a.excludedCount; ++e)
      if (a.excluded[e].x1 >= p.width && y >= a.excluded[e].y0 - margin &&
          y < a.excluded[e].y1 + margin)
        r.ok[size_t(y)] = 0;
  }
  return r;
}

// Block means of f samples (a block is usable when all its samples are).
Profile Reduce(const Profile& p, int32_t f) {
  Profile r;
  const size_t n = p.v.size() / size_t(f);
  r.v.assign(n, 0.0f);
  r.ok.assign(n, 1);
  for (size_t j = 0; j < n; ++j) {
    float sum = 0;
    for (int32_t k = 0; k < f; ++k) {
      sum += p.v[j * size_t(f) + size_t(k)];
      r.ok[j] &= p.ok[j * size_t(f) + size_t(k)];
    }
    r.v[j] = sum / float(f);
  }
  return r;
}

// Mean absolute difference of rec against orig moved by scale s and shift t
// (in samples of these profiles); a large value when they overlap too little.
double Cost(const Profile& rec, const Profile& orig, double s, double t) {
  const int32_t n = int32_t(orig.v.size());
  double sum = 0;
  int32_t count = 0;
  for (int32_t i = 0; i < int32_t(rec.v.size()); ++i) {
    if (!rec.ok[size_t(i)])
      continue;
    const double pos = (i + 0.5 - t) / s - 0.5;
    if (pos < 0 || pos > n - 1)
      continue;
    const int32_t k = std::min(int32_t(pos), n - 2);
    if (!orig.ok[size_t(k)] || !orig.ok[size_t(k + 1)])
      continue;
    const double frac = pos - k;
    const double o = orig.v[size_t(k)] + frac * (orig.v[size_t(k + 1)] - orig.v[size_t(k)]);
    sum += std::fabs(rec.v[size_t(i)] - o);
    ++count;
  }
  return count * 2 >= int32_t(rec.v.size()) ? sum / count : 1e9;
}

// The best scale and shift (in full samples) of one axis.
void AlignAxis(const Profile& rec, const Profile& orig, double* scale, double* shift) {
  const int32_t n = int32_t(rec.v.size());
  const int32_t f = std::max(1, n / kCoarseSamples);
  const Profile rc = Reduce(rec, f), oc = Reduce(orig, f);
  const double maxShift = kMaxShiftShare * n;
  double best = 1e18, bs = 1, bt = 0;
  for (double s = kMinScale; s <= kMaxScale + 1e-9; s += 0.01)
    for (double t = -maxShift; t <= maxShift; t += f) {
      const double c = Cost(rc, oc, s, t / f);
      if (c < best)
        best = c, bs = s, bt = t;
    }
  const double cs = bs, ct = bt;
  best = 1e18;
  for (double s = cs - 0.01; s <= cs + 0.01 + 1e-9; s += 0.001)
    for (double t = ct - 1.5 * f; t <= ct + 1.5 * f + 1e-9; t += 0.25) {
      const double c = Cost(rec, orig, s, t);
      if (c < best)
        best = c, bs = s, bt = t;
    }
  *scale = bs;
  *shift = bt;
}

}  // namespace

void EstimateScaleShift(const PictureView& rec, const PictureView& orig, const CompareArea& area,
                        Geometry* g) {
  if (rec.width < 16 || rec.height < 16 || !rec.SameLayout(orig))
    return;
  AlignAxis(Columns(rec, area), Columns(orig, area), &g->sx, &g->tx);
  AlignAxis(Rows(rec, area), Rows(orig, area), &g->sy, &g->ty);
}

}  // namespace zdanalyse
