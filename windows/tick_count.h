// tick_count.h: a 64-bit millisecond count from readings of a 32-bit one that
// wraps every 49.7 days, as Windows XP's GetTickCount gives it (XP has no
// GetTickCount64). Plain C++ with no Windows header, so that the native tests
// check it too (tests/cpp/test_tick_count.cpp).
#ifndef QM_WINDOWS_TICK_COUNT_H
#define QM_WINDOWS_TICK_COUNT_H

#include <atomic>
#include <cstdint>

namespace qm_windows {

/// The last 64-bit count given out, plus 2^32 so that 0 means "no reading
/// yet"; its low half is the reading it came from. Starts at 0.
using TickState = std::atomic<std::uint64_t>;

/// The 64-bit count for `now`, a reading of the 32-bit count: the first
/// reading itself, then the last count moved on by the reading's distance from
/// the last one, modulo 2^32, so that a wrap carries into the high half by
/// itself. Readings taken by several threads may arrive out of order: one
/// that lies behind the last by less than half the period (24.8 days) is
/// answered with the last count, so the counts of all threads together never
/// go back. A gap of half a period or more between two calls is taken for a
/// reading behind; no 32-bit reading could tell it apart.
inline std::uint64_t extend_ticks(TickState &state, std::uint32_t now) {
  constexpr std::uint64_t offset = std::uint64_t{1} << 32;
  std::uint64_t seen = state.load(std::memory_order_acquire);
  for (;;) {
    std::uint64_t next;
    if (seen == 0) {
      next = offset + now;
    } else {
      const std::uint32_t ahead = now - static_cast<std::uint32_t>(seen);
      if (ahead == 0 || ahead >= 0x80000000u) return seen - offset;
      next = seen + ahead;
    }
    if (state.compare_exchange_weak(seen, next, std::memory_order_acq_rel,
                                    std::memory_order_acquire))
      return next - offset;
  }
}

}  // namespace qm_windows

#endif  // QM_WINDOWS_TICK_COUNT_H
