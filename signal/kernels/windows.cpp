// windows.cpp: the window rows and their weights.
#include "signal/kernels/windows.h"

#include <cmath>
#include <cstring>
#include <utility>

#include "signal/kernels/cache.h"

namespace qs {
namespace {

#define QM_WINDOW(ID, NAME, DESCRIPTION, ...) const double ID##_terms[] = {__VA_ARGS__};
#include "signal/kernels/windows.def"
#undef QM_WINDOW

const WindowRow kWindows[] = {
#define QM_WINDOW(ID, NAME, DESCRIPTION, ...) \
  {NAME, DESCRIPTION, ID##_terms, int(sizeof(ID##_terms) / sizeof(double))},
#include "signal/kernels/windows.def"
#undef QM_WINDOW
};
static_assert(sizeof(kWindows) / sizeof(kWindows[0]) == kWindowCount, "one row per window");
static_assert(sizeof(kRectangular_terms) == sizeof(double), "the rectangular window is one term");

const double kTwoPi = 6.283185307179586476925286766559;

std::shared_ptr<const WindowWeights> make_weights(WindowId id, size_t n) {
  auto made = std::make_shared<WindowWeights>();
  const WindowRow &row = kWindows[id];
  if (id == kRectangular) {
    made->sum = made->squares = double(n);
    return made;
  }
  // cos(2 pi j i / n) = cos(2 pi ((j i) mod n) / n): one table of n cosines,
  // the first quarter computed and reflected (cos(pi - x) = -cos x,
  // cos(2 pi - x) = cos x), so that the weights are exactly symmetric.
  std::vector<double> cosine(n);
  size_t quarter = n >= 4 ? n / 4 : n - 1;
  for (size_t i = 0; i <= quarter; ++i) cosine[i] = std::cos(kTwoPi * double(i) / double(n));
  for (size_t i = quarter + 1; i <= n / 2 && n >= 4; ++i) cosine[i] = -cosine[n / 2 - i];
  for (size_t i = n / 2 + 1; i < n && n >= 4; ++i) cosine[i] = cosine[n - i];
  made->w.assign(n, row.terms[0]);
  for (int j = 1; j < row.term_count; ++j) {
    double a = j % 2 ? -row.terms[j] : row.terms[j];
    for (size_t i = 0; i < n; ++i) made->w[i] += a * cosine[(size_t(j) * i) & (n - 1)];
  }
  made->sum = made->squares = 0.0;
  for (double v : made->w) {
    made->sum += v;
    made->squares += v * v;
  }
  return made;
}

}  // namespace

const WindowRow &window_row(WindowId id) { return kWindows[id]; }

WindowId window_named(const char *name) {
  for (int i = 0; i < kWindowCount; ++i)
    if (std::strcmp(kWindows[i].name, name) == 0) return WindowId(i);
  return kWindowCount;
}

std::shared_ptr<const WindowWeights> window_weights(WindowId id, size_t n) {
  // Never destroyed: a daemon thread may still compute while the process exits.
  static auto *cache = new Cache<std::pair<int, size_t>, WindowWeights, 6>();
  return cache->get(std::make_pair(int(id), n), [&] { return make_weights(id, n); });
}

}  // namespace qs
