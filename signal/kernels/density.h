// density.h: the code-density (histogram) test of a sine, IEEE 1241's
// method. A sine does not visit codes evenly: its values follow the arcsine
// density, so the transition level below code k is read off the cumulative
// histogram through the sine's inverse distribution,
//     T[k] = C - A cos(pi CH[k-1]),   CH[k-1] = counts below k / counts,
// with the sine's offset C and amplitude A fitted so that the transitions
// above the first end code and below the last one (the end codes hold the
// sine's tips and whatever overdrive clipped) fall at their ideal places.
// Code k (an index into the counts) ideally holds [k - 1/2, k + 1/2).
#ifndef QM_SIGNAL_KERNELS_DENSITY_H
#define QM_SIGNAL_KERNELS_DENSITY_H

#include <cstddef>
#include <vector>

namespace qs {

struct Density {
  double offset = 0.0;          ///< C, in the counts' index units
  double amplitude = 0.0;       ///< A, in LSB
  std::vector<size_t> missing;  ///< inner codes that never came
};

/// The first and last nonzero of `count` counts (false when all are 0).
bool density_ends(const double *counts, size_t count, size_t *first, size_t *last);

/// DNL and INL of the inner codes first + 1 .. last - 1 (first + 1 < last,
/// counts finite, not negative, some between the ends) into dnl[] and inl[]
/// (last - first - 1 each), in LSB: DNL the width less 1, INL the upper
/// transition's distance from its ideal place (the running sum of DNL; 0
/// for the last inner code). False when nothing came between the ends.
bool code_density(const double *counts, size_t first, size_t last, double *dnl, double *inl,
                  Density *out);

}  // namespace qs

#endif
