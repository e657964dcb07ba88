// The 64-bit tick count the Windows DLLs make from XP's 32-bit GetTickCount
// (windows/tick_count.h): wraps carried, stale readings from racing threads
// never taken for a wrap or a step back.
#include "windows/tick_count.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <thread>
#include <vector>

namespace {

using qm_windows::extend_ticks;
using qm_windows::TickState;

TEST(TickCount, FirstReadingThenStepsAcrossWraps) {
  TickState state{0};
  EXPECT_EQ(extend_ticks(state, 0xFFFFFF00u), 0xFFFFFF00u);  // 49.7 days up, as it came
  EXPECT_EQ(extend_ticks(state, 0xFFFFFFFFu), 0xFFFFFFFFu);
  EXPECT_EQ(extend_ticks(state, 0x10u), 0x100000010u);  // wrapped once
  EXPECT_EQ(extend_ticks(state, 0x10u), 0x100000010u);
  EXPECT_EQ(extend_ticks(state, 0x7FFFFFFFu), 0x17FFFFFFFu);
  EXPECT_EQ(extend_ticks(state, 0xC0000000u), 0x1C0000000u);
  EXPECT_EQ(extend_ticks(state, 0x10u), 0x200000010u);  // and again
  TickState zero{0};
  EXPECT_EQ(extend_ticks(zero, 0u), 0u);  // a first reading of 0 is a reading
  EXPECT_EQ(extend_ticks(zero, 5u), 5u);
}

TEST(TickCount, ReadingsBehindAnswerTheLastCount) {
  TickState state{0};
  extend_ticks(state, 1000u);
  EXPECT_EQ(extend_ticks(state, 990u), 1000u);  // another thread's older reading
  EXPECT_EQ(extend_ticks(state, 1001u), 1001u);
  // Across a wrap: a reading from just before it is not a step forward of 49 days.
  TickState wrapped{0};
  extend_ticks(wrapped, 0xFFFFFFF0u);
  EXPECT_EQ(extend_ticks(wrapped, 0x20u), 0x100000020u);
  EXPECT_EQ(extend_ticks(wrapped, 0xFFFFFFF8u), 0x100000020u);
  EXPECT_EQ(extend_ticks(wrapped, 0x21u), 0x100000021u);
}

TEST(TickCount, RacingThreadsNeverSeeItGoBack) {
  TickState state{0};
  std::atomic<std::uint32_t> source{0xFFFF0000u};  // wraps during the race
  std::vector<std::thread> threads;
  std::atomic<int> backwards{0};
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      std::uint64_t last = 0;
      for (int i = 0; i < 100000; ++i) {
        const std::uint32_t now = source.fetch_add(1) + 1;  // readings in any order
        const std::uint64_t count = extend_ticks(state, now);
        if (count < last) ++backwards;
        last = count;
      }
    });
  for (auto &thread : threads) thread.join();
  EXPECT_EQ(backwards.load(), 0);
  EXPECT_EQ(extend_ticks(state, source.load()), std::uint64_t{0xFFFF0000u} + 400000u);
}

}  // namespace
