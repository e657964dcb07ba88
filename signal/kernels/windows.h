// windows.h: the window table (windows.def) and window weights with their
// gains, made once per (window, length) and shared by the threads that use them.
#ifndef QM_SIGNAL_KERNELS_WINDOWS_H
#define QM_SIGNAL_KERNELS_WINDOWS_H

#include <cstddef>
#include <memory>
#include <vector>

namespace qs {

enum WindowId {
#define QM_WINDOW(ID, NAME, DESCRIPTION, ...) ID,
#include "signal/kernels/windows.def"
#undef QM_WINDOW
  kWindowCount
};

/// One row of windows.def.
struct WindowRow {
  const char *name;         ///< the name callers give ("hann")
  const char *description;  ///< as figures print it ("Hann")
  const double *terms;      ///< a0, a1, ... (all positive; odd ones are subtracted)
  int term_count;           ///< also the main lobe's half-width in bins
};

const WindowRow &window_row(WindowId id);
/// The id of the window called `name`, or kWindowCount.
WindowId window_named(const char *name);

/// The weights of one window for one length, with the sums its gains come from.
struct WindowWeights {
  std::vector<double> w;  ///< empty for the rectangular window (every weight 1)
  double sum;             ///< sum of the weights
  double squares;         ///< sum of their squares
};

/// The weights of window `id` for `n` samples (n a power of two), from a
/// small cache. Throws std::bad_alloc.
std::shared_ptr<const WindowWeights> window_weights(WindowId id, size_t n);

}  // namespace qs

#endif
