#include "StandardSystems.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace robust {
namespace {

// Writes J(i, j) when the Jacobian is wanted; every entry starts at 0.
class JacobianWriter {
 public:
  JacobianWriter(std::span<double> jacobian, int n) : jacobian_(jacobian), n_(n) {
    for (double& entry : jacobian_) entry = 0;
  }
  bool Wanted() const { return !jacobian_.empty(); }
  void Set(int i, int j, double value) {
    if (Wanted()) jacobian_[static_cast<std::size_t>(i * n_ + j)] = value;
  }

 private:
  std::span<double> jacobian_;
  int n_;
};

}  // namespace

double MaxAbsAt(const StandardSystem& system, std::span<const double> x) {
  std::vector<double> f(static_cast<std::size_t>(system.n));
  system.function(x, f, {});
  double largest = 0;
  for (double value : f)
    largest = std::isfinite(value) ? std::max(largest, std::abs(value)) : std::numeric_limits<double>::infinity();
  return largest;
}

// The function is copied: the result does not depend on the system's lifetime.
std::function<double(std::span<const double>)> EquationOf(const StandardSystem& system, int i) {
  return [function = system.function, n = system.n, i](std::span<const double> x) {
    std::vector<double> f(static_cast<std::size_t>(n));
    function(x, f, {});
    return f[static_cast<std::size_t>(i)];
  };
}

std::vector<StandardSystem> SmallSystems() {
  using std::numbers::pi;
  std::vector<StandardSystem> systems;
  systems.push_back({"rosenbrock", 2, {-1.2, 1}, {1, 1}, true,
                     [](std::span<const double> x, std::span<double> f, std::span<double> jac) {
                       JacobianWriter j(jac, 2);
                       f[0] = 10 * (x[1] - x[0] * x[0]);
                       f[1] = 1 - x[0];
                       j.Set(0, 0, -20 * x[0]);
                       j.Set(0, 1, 10);
                       j.Set(1, 0, -1);
                     }});
  systems.push_back({"powell badly scaled", 2, {0, 1}, {}, true,
                     [](std::span<const double> x, std::span<double> f, std::span<double> jac) {
                       JacobianWriter j(jac, 2);
                       f[0] = 1E4 * x[0] * x[1] - 1;
                       f[1] = std::exp(-x[0]) + std::exp(-x[1]) - 1.0001;
                       j.Set(0, 0, 1E4 * x[1]);
                       j.Set(0, 1, 1E4 * x[0]);
                       j.Set(1, 0, -std::exp(-x[0]));
                       j.Set(1, 1, -std::exp(-x[1]));
                     }});
  // A local least-squares minimum near (11.41, -0.8968) that is no root.
  systems.push_back({"freudenstein-roth", 2, {0.5, -2}, {5, 4}, true,
                     [](std::span<const double> x, std::span<double> f, std::span<double> jac) {
                       JacobianWriter j(jac, 2);
                       f[0] = -13 + x[0] + ((5 - x[1]) * x[1] - 2) * x[1];
                       f[1] = -29 + x[0] + ((x[1] + 1) * x[1] - 14) * x[1];
                       j.Set(0, 0, 1);
                       j.Set(0, 1, (-3 * x[1] + 10) * x[1] - 2);
                       j.Set(1, 0, 1);
                       j.Set(1, 1, (3 * x[1] + 2) * x[1] - 14);
                     }});
  systems.push_back({"helical valley", 3, {-1, 0, 0}, {1, 0, 0}, true,
                     [](std::span<const double> x, std::span<double> f, std::span<double> jac) {
                       JacobianWriter j(jac, 3);
                       double theta = x[0] == 0 ? std::copysign(0.25, x[1])
                                                : std::atan(x[1] / x[0]) / (2 * pi) + (x[0] < 0 ? 0.5 : 0);
                       const double r2 = x[0] * x[0] + x[1] * x[1];
                       const double r = std::sqrt(r2);
                       f[0] = 10 * (x[2] - 10 * theta);
                       f[1] = 10 * (r - 1);
                       f[2] = x[2];
                       j.Set(0, 0, 100 * x[1] / (2 * pi * r2));
                       j.Set(0, 1, -100 * x[0] / (2 * pi * r2));
                       j.Set(0, 2, 10);
                       j.Set(1, 0, 10 * x[0] / r);
                       j.Set(1, 1, 10 * x[1] / r);
                       j.Set(2, 2, 1);
                     }});
  // The root 0 is singular: J has rank 2 there.
  systems.push_back({"powell singular", 4, {3, -1, 0, 1}, {0, 0, 0, 0}, true,
                     [](std::span<const double> x, std::span<double> f, std::span<double> jac) {
                       JacobianWriter j(jac, 4);
                       const double s5 = std::sqrt(5.0), s10 = std::sqrt(10.0);
                       const double a = x[1] - 2 * x[2], b = x[0] - x[3];
                       f[0] = x[0] + 10 * x[1];
                       f[1] = s5 * (x[2] - x[3]);
                       f[2] = a * a;
                       f[3] = s10 * b * b;
                       j.Set(0, 0, 1);
                       j.Set(0, 1, 10);
                       j.Set(1, 2, s5);
                       j.Set(1, 3, -s5);
                       j.Set(2, 1, 2 * a);
                       j.Set(2, 2, -4 * a);
                       j.Set(3, 0, 2 * s10 * b);
                       j.Set(3, 3, -2 * s10 * b);
                     }});
  // Newton overshoots further at every step from any |x| above 1.39.
  systems.push_back({"arctangent", 1, {2}, {0}, true,
                     [](std::span<const double> x, std::span<double> f, std::span<double> jac) {
                       JacobianWriter j(jac, 1);
                       f[0] = std::atan(x[0]);
                       j.Set(0, 0, 1 / (1 + x[0] * x[0]));
                     }});
  // Defined only for x1 > 0 and x2 >= 0; Newton's first step leaves that region.
  systems.push_back({"logarithm and root", 2, {20, 25}, {std::numbers::e, 4}, true,
                     [](std::span<const double> x, std::span<double> f, std::span<double> jac) {
                       JacobianWriter j(jac, 2);
                       f[0] = std::log(x[0]) - 1;
                       f[1] = std::sqrt(x[1]) - 2;
                       j.Set(0, 0, 1 / x[0]);
                       j.Set(1, 1, 0.5 / std::sqrt(x[1]));
                     }});
  // No real root: the least-squares minimum is at 0 with max|F| = 1.
  systems.push_back({"no real root", 2, {1, 2}, {}, false,
                     [](std::span<const double> x, std::span<double> f, std::span<double> jac) {
                       JacobianWriter j(jac, 2);
                       f[0] = x[0] * x[0] + x[1] * x[1] + 1;
                       f[1] = x[0] - x[1];
                       j.Set(0, 0, 2 * x[0]);
                       j.Set(0, 1, 2 * x[1]);
                       j.Set(1, 0, 1);
                       j.Set(1, 1, -1);
                     }});
  systems.push_back({"trigonometric 10", 10, std::vector<double>(10, 0.1), std::vector<double>(10, 0.0), true,
                     [](std::span<const double> x, std::span<double> f, std::span<double> jac) {
                       const int n = 10;
                       JacobianWriter j(jac, n);
                       double cosSum = 0;
                       for (double value : x) cosSum += std::cos(value);
                       for (int i = 0; i < n; ++i) {
                         f[i] = n - cosSum + (i + 1) * (1 - std::cos(x[i])) - std::sin(x[i]);
                         for (int k = 0; k < n; ++k) j.Set(i, k, std::sin(x[k]));
                         j.Set(i, i, (i + 2) * std::sin(x[i]) - std::cos(x[i]));
                       }
                     }});
  systems.push_back({"brown almost linear 10", 10, std::vector<double>(10, 0.5), std::vector<double>(10, 1.0),
                     true, [](std::span<const double> x, std::span<double> f, std::span<double> jac) {
                       const int n = 10;
                       JacobianWriter j(jac, n);
                       double sum = 0;
                       double product = 1;
                       for (double value : x) {
                         sum += value;
                         product *= value;
                       }
                       for (int i = 0; i < n - 1; ++i) {
                         f[i] = x[i] + sum - (n + 1);
                         for (int k = 0; k < n; ++k) j.Set(i, k, k == i ? 2 : 1);
                       }
                       f[n - 1] = product - 1;
                       for (int k = 0; k < n; ++k) {
                         double others = 1;
                         for (int m = 0; m < n; ++m)
                           if (m != k) others *= x[m];
                         j.Set(n - 1, k, others);
                       }
                     }});
  systems.push_back(Wood());
  systems.push_back(Chebyquad(7));
  systems.push_back(Chebyquad(8));
  systems.push_back(VariablyDimensioned(10));
  systems.push_back(DiscreteIntegral(10));
  systems.push_back(BroydenBanded(10));
  return systems;
}

StandardSystem BroydenTridiagonal(int n) {
  return {"broyden tridiagonal " + std::to_string(n), n, std::vector<double>(n, -1.0), {}, true,
          [n](std::span<const double> x, std::span<double> f, std::span<double> jac) {
            JacobianWriter j(jac, n);
            for (int i = 0; i < n; ++i) {
              const double left = i > 0 ? x[i - 1] : 0, right = i + 1 < n ? x[i + 1] : 0;
              f[i] = (3 - 2 * x[i]) * x[i] - left - 2 * right + 1;
              j.Set(i, i, 3 - 4 * x[i]);
              if (i > 0) j.Set(i, i - 1, -1);
              if (i + 1 < n) j.Set(i, i + 1, -2);
            }
          }};
}

StandardSystem DiscreteBoundaryValue(int n) {
  const double h = 1.0 / (n + 1);
  std::vector<double> start(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) start[i] = (i + 1) * h * ((i + 1) * h - 1);
  return {"discrete boundary value " + std::to_string(n), n, start, {}, true,
          [n, h](std::span<const double> x, std::span<double> f, std::span<double> jac) {
            JacobianWriter j(jac, n);
            for (int i = 0; i < n; ++i) {
              const double t = (i + 1) * h;
              const double left = i > 0 ? x[i - 1] : 0, right = i + 1 < n ? x[i + 1] : 0;
              const double u = x[i] + t + 1;
              f[i] = 2 * x[i] - left - right + h * h * u * u * u / 2;
              j.Set(i, i, 2 + 1.5 * h * h * u * u);
              if (i > 0) j.Set(i, i - 1, -1);
              if (i + 1 < n) j.Set(i, i + 1, -1);
            }
          }};
}

StandardSystem ExtendedRosenbrock(int n) {
  std::vector<double> start(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) start[i] = i % 2 == 0 ? -1.2 : 1;
  return {"extended rosenbrock " + std::to_string(n), n, start, std::vector<double>(n, 1.0), true,
          [n](std::span<const double> x, std::span<double> f, std::span<double> jac) {
            JacobianWriter j(jac, n);
            for (int i = 0; i + 1 < n; i += 2) {
              f[i] = 10 * (x[i + 1] - x[i] * x[i]);
              f[i + 1] = 1 - x[i];
              j.Set(i, i, -20 * x[i]);
              j.Set(i, i + 1, 10);
              j.Set(i + 1, i, -1);
            }
          }};
}

StandardSystem Wood() {
  return {"wood", 4, {-3, -1, -3, -1}, {1, 1, 1, 1}, true,
          [](std::span<const double> x, std::span<double> f, std::span<double> jac) {
            JacobianWriter j(jac, 4);
            const double a = x[1] - x[0] * x[0], b = x[3] - x[2] * x[2];
            f[0] = -200 * x[0] * a - (1 - x[0]);
            f[1] = 200 * a + 20.2 * (x[1] - 1) + 19.8 * (x[3] - 1);
            f[2] = -180 * x[2] * b - (1 - x[2]);
            f[3] = 180 * b + 20.2 * (x[3] - 1) + 19.8 * (x[1] - 1);
            j.Set(0, 0, -200 * a + 400 * x[0] * x[0] + 1);
            j.Set(0, 1, -200 * x[0]);
            j.Set(1, 0, -400 * x[0]);
            j.Set(1, 1, 220.2);
            j.Set(1, 3, 19.8);
            j.Set(2, 2, -180 * b + 360 * x[2] * x[2] + 1);
            j.Set(2, 3, -180 * x[2]);
            j.Set(3, 1, 19.8);
            j.Set(3, 2, -360 * x[2]);
            j.Set(3, 3, 200.2);
          }};
}

StandardSystem Chebyquad(int n) {
  std::vector<double> start(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) start[i] = (i + 1.0) / (n + 1);
  return {"chebyquad " + std::to_string(n), n, start, {}, n <= 7 || n == 9,
          [n](std::span<const double> x, std::span<double> f, std::span<double> jac) {
            JacobianWriter j(jac, n);
            for (int i = 0; i < n; ++i) f[i] = 0;
            for (int k = 0; k < n; ++k) {
              // Shifted Chebyshev polynomials T_1..T_n at 2x - 1 and their slopes.
              const double y = 2 * x[k] - 1;
              double t0 = 1, t1 = y, d0 = 0, d1 = 1;
              for (int i = 0; i < n; ++i) {
                f[i] += t1 / n;
                j.Set(i, k, 2 * d1 / n);
                const double t2 = 2 * y * t1 - t0, d2 = 2 * t1 + 2 * y * d1 - d0;
                t0 = t1;
                t1 = t2;
                d0 = d1;
                d1 = d2;
              }
            }
            // The integral of T_i over [0, 1] is -1/(i^2 - 1) for even i, 0 for odd.
            for (int i = 1; i < n; i += 2) f[i] += 1.0 / ((i + 1) * (i + 1) - 1);
          }};
}

StandardSystem VariablyDimensioned(int n) {
  std::vector<double> start(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) start[i] = 1 - (i + 1.0) / n;
  return {"variably dimensioned " + std::to_string(n), n, start, std::vector<double>(n, 1.0), true,
          [n](std::span<const double> x, std::span<double> f, std::span<double> jac) {
            JacobianWriter j(jac, n);
            double sum = 0;
            for (int k = 0; k < n; ++k) sum += (k + 1) * (x[k] - 1);
            const double temp = sum * (1 + 2 * sum * sum), slope = 1 + 6 * sum * sum;
            for (int i = 0; i < n; ++i) {
              f[i] = x[i] - 1 + (i + 1) * temp;
              for (int k = 0; k < n; ++k) j.Set(i, k, (i + 1) * (k + 1) * slope + (i == k ? 1 : 0));
            }
          }};
}

StandardSystem DiscreteIntegral(int n) {
  const double h = 1.0 / (n + 1);
  std::vector<double> start(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) start[i] = (i + 1) * h * ((i + 1) * h - 1);
  return {"discrete integral " + std::to_string(n), n, start, {}, true,
          [n, h](std::span<const double> x, std::span<double> f, std::span<double> jac) {
            JacobianWriter j(jac, n);
            for (int k = 0; k < n; ++k) {
              const double tk = (k + 1) * h;
              double lower = 0, upper = 0;
              for (int m = 0; m < n; ++m) {
                const double tm = (m + 1) * h, u = x[m] + tm + 1;
                const double weight = m <= k ? (1 - tk) * tm : tk * (1 - tm);
                (m <= k ? lower : upper) += (m <= k ? tm : 1 - tm) * u * u * u;
                j.Set(k, m, 1.5 * h * weight * u * u + (m == k ? 1 : 0));
              }
              f[k] = x[k] + h * ((1 - tk) * lower + tk * upper) / 2;
            }
          }};
}

StandardSystem BroydenBanded(int n) {
  return {"broyden banded " + std::to_string(n), n, std::vector<double>(n, -1.0), {}, true,
          [n](std::span<const double> x, std::span<double> f, std::span<double> jac) {
            JacobianWriter j(jac, n);
            for (int i = 0; i < n; ++i) {
              double sum = 0;
              for (int k = std::max(0, i - 5); k <= std::min(n - 1, i + 1); ++k) {
                if (k == i) continue;
                sum += x[k] * (1 + x[k]);
                j.Set(i, k, -(1 + 2 * x[k]));
              }
              f[i] = x[i] * (2 + 5 * x[i] * x[i]) + 1 - sum;
              j.Set(i, i, 2 + 15 * x[i] * x[i]);
            }
          }};
}

}  // namespace robust
