#include "Contour.h"

#include <cmath>

namespace plot {
namespace {

constexpr int kEquations = 2;
// A crossing whose value is this small next to the ends' is a zero anyway.
constexpr double kCloseToZero = 1E-6;

struct Sample {
  double x, y;
  double f[kEquations];
};

bool Defined(double value) { return !std::isnan(value); }
bool Positive(double value) { return value >= 0; }

class Tracer {
 public:
  Tracer(const std::function<void(double, double, double*)>& f, const ContourOptions& options)
      : f_(f), options_(options) {}

  Sample At(double x, double y) {
    Sample s{x, y, {0, 0}};
    f_(x, y, s.f);
    for (double& value : s.f)
      if (!std::isfinite(value)) value = std::nan("");
    ++result.evaluations;
    return s;
  }

  // Corners in the order bottom-left, bottom-right, top-right, top-left.
  void Cell(const Sample (&c)[4], int depth) {
    if (depth < options_.depth && (NeedsRefinement(c) || CentreDiffers(c))) {
      Split(c, depth);
      return;
    }
    for (int e = 0; e < kEquations; ++e) Leaf(c, e);
  }

  Contours result;

 private:
  static bool NeedsRefinement(const Sample (&c)[4]) {
    for (int e = 0; e < kEquations; ++e) {
      int defined = 0, positive = 0;
      for (const Sample& s : c) {
        defined += Defined(s.f[e]);
        positive += Defined(s.f[e]) && Positive(s.f[e]);
      }
      if (defined != 0 && defined != 4) return true;  // the edge of an undefined region
      if (defined == 4 && positive != 0 && positive != 4) return true;  // a sign change
    }
    return false;
  }

  // A curve can pass through a cell without changing the corners' signs: a
  // thin loop, or a zero beside a pole (tan near pi/2). The centre tells.
  bool CentreDiffers(const Sample (&c)[4]) {
    const Sample centre = At((c[0].x + c[2].x) / 2, (c[0].y + c[2].y) / 2);
    for (int e = 0; e < kEquations; ++e) {
      if (!Defined(centre.f[e])) continue;
      for (const Sample& s : c)
        if (Defined(s.f[e]) && Positive(s.f[e]) != Positive(centre.f[e])) return true;
    }
    return false;
  }

  void Split(const Sample (&c)[4], int depth) {
    const int r = options_.refine;
    std::vector<Sample> grid(static_cast<std::size_t>((r + 1) * (r + 1)));
    auto at = [&](int i, int j) -> Sample& { return grid[static_cast<std::size_t>(j * (r + 1) + i)]; };
    const double x0 = c[0].x, y0 = c[0].y, x1 = c[2].x, y1 = c[2].y;
    for (int j = 0; j <= r; ++j) {
      for (int i = 0; i <= r; ++i) {
        const bool cornerI = i == 0 || i == r, cornerJ = j == 0 || j == r;
        if (cornerI && cornerJ) {
          at(i, j) = c[(j == 0 ? (i == 0 ? 0 : 1) : (i == 0 ? 3 : 2))];
        } else {
          at(i, j) = At(i == r ? x1 : x0 + (x1 - x0) * i / r, j == r ? y1 : y0 + (y1 - y0) * j / r);
        }
      }
    }
    for (int j = 0; j < r; ++j)
      for (int i = 0; i < r; ++i) {
        const Sample sub[4] = {at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)};
        Cell(sub, depth + 1);
      }
  }

  // Where F_e crosses 0 on the edge from a to b, unless it is a pole.
  bool Crossing(const Sample& a, const Sample& b, int e, double& x, double& y) {
    const double fa = a.f[e], fb = b.f[e];
    if (Positive(fa) == Positive(fb)) return false;
    const double t = fa / (fa - fb);
    x = a.x + t * (b.x - a.x);
    y = a.y + t * (b.y - a.y);
    // At a zero the interpolated point is closer to 0 than either end; at a
    // pole it is at least as far from 0 as the end farther from the pole.
    const double there = std::fabs(At(x, y).f[e]);
    const double nearer = std::fmin(std::fabs(fa), std::fabs(fb)), farther = std::fmax(std::fabs(fa), std::fabs(fb));
    return Defined(there) && (there <= nearer || there <= kCloseToZero * farther);
  }

  void Leaf(const Sample (&c)[4], int e) {
    int defined = 0;
    for (const Sample& s : c) defined += Defined(s.f[e]);
    const double x0 = c[0].x, y0 = c[0].y, x1 = c[2].x, y1 = c[2].y;
    if (defined < 4) {
      // All undefined, or an edge cell whose centre is undefined.
      if (defined == 0 || !Defined(At((x0 + x1) / 2, (y0 + y1) / 2).f[e]))
        result.undefined[static_cast<std::size_t>(e)].push_back({x0, y0, x1, y1});
      return;
    }
    double px[4], py[4];
    bool cross[4];
    int count = 0;
    for (int k = 0; k < 4; ++k) {
      cross[k] = Crossing(c[k], c[(k + 1) % 4], e, px[k], py[k]);
      count += cross[k];
    }
    auto segment = [&](int a, int b) {
      result.curves[static_cast<std::size_t>(e)].push_back({px[a], py[a], px[b], py[b]});
    };
    if (count == 2) {
      int first = -1;
      for (int k = 0; k < 4; ++k) {
        if (!cross[k]) continue;
        if (first < 0) first = k;
        else segment(first, k);
      }
    } else if (count == 4) {
      // A saddle: the centre's sign says which corners the curves cut off.
      const double centre = At((x0 + x1) / 2, (y0 + y1) / 2).f[e];
      if (Defined(centre) && Positive(centre) == Positive(c[0].f[e])) {
        segment(0, 1);  // around corner 1 (bottom-right)
        segment(2, 3);  // around corner 3 (top-left)
      } else {
        segment(3, 0);
        segment(1, 2);
      }
    }
  }

  const std::function<void(double, double, double*)>& f_;
  const ContourOptions& options_;
};

}  // namespace

Contours TraceZeroCurves(double xMin, double xMax, double yMin, double yMax,
                         const std::function<void(double, double, double*)>& f,
                         const ContourOptions& options) {
  Tracer tracer(f, options);
  const int nx = options.cellsX, ny = options.cellsY;
  auto xAt = [&](int i) { return i == nx ? xMax : xMin + (xMax - xMin) * i / nx; };
  auto yAt = [&](int j) { return j == ny ? yMax : yMin + (yMax - yMin) * j / ny; };
  std::vector<Sample> below, row;
  for (int i = 0; i <= nx; ++i) below.push_back(tracer.At(xAt(i), yAt(0)));
  for (int j = 1; j <= ny; ++j) {
    row.clear();
    for (int i = 0; i <= nx; ++i) row.push_back(tracer.At(xAt(i), yAt(j)));
    for (int i = 0; i < nx; ++i) {
      if (options.stop && options.stop()) {
        tracer.result.complete = false;
        tracer.result.tracedUpTo = yAt(j - 1);
        return std::move(tracer.result);
      }
      const Sample corners[4] = {below[i], below[i + 1], row[i + 1], row[i]};
      tracer.Cell(corners, 0);
    }
    below.swap(row);
  }
  tracer.result.tracedUpTo = yMax;
  return std::move(tracer.result);
}

}  // namespace plot
