// --compare's speed verdicts: a real slowdown is named, and two builds alike
// are never called slower or faster.
#include "speed_statistics.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using zorv::check::SpeedChange;

TEST(SpeedStatistics, Median) {
  EXPECT_EQ(zorv::check::median({}), 0);
  EXPECT_EQ(zorv::check::median({3, 1, 2}), 2);
  EXPECT_EQ(zorv::check::median({4, 1, 3, 2}), 2.5);
}

// Times in microseconds around `base`, spread by a repeating pattern of +-20 %.
std::vector<double> times(double base, size_t count) {
  static const double spread[] = {1.0, 0.8, 1.2, 0.9, 1.1, 1.05, 0.95};
  std::vector<double> out;
  for (size_t i = 0; i < count; ++i) out.push_back(base * spread[i % 7] * 1e-6);
  return out;
}

TEST(SpeedStatistics, JudgesOnlyAWholeIntervalBeyondTheThreshold) {
  const struct {
    const char* name;
    std::vector<double> oldTimes, newTimes;
    SpeedChange change;
  } cases[] = {
      {"the same times", times(50, 40), times(50, 40), SpeedChange::NoClearChange},
      {"the same times, shuffled", times(50, 40), times(50, 41), SpeedChange::NoClearChange},
      {"2 ms more a call", times(50, 40), times(2050, 40), SpeedChange::Slower},
      {"three times as fast", times(300, 40), times(100, 40), SpeedChange::Faster},
      {"5 % slower, under 1.10", times(50, 40), times(52.5, 40), SpeedChange::NoClearChange},
      {"15 % slower, the interval reaching below 1.10", times(50, 7), times(57.5, 7),
       SpeedChange::NoClearChange},
      {"twice as slow, within the noise floor", times(0.1, 40), times(0.2, 40),
       SpeedChange::NoClearChange},
      {"fewer than five calls", times(50, 4), times(5000, 4), SpeedChange::TooFewCalls},
  };
  for (const auto& c : cases) {
    const auto interval = zorv::check::ratioInterval(c.oldTimes, c.newTimes);
    EXPECT_LE(interval.low, interval.ratio) << c.name;
    EXPECT_GE(interval.high, interval.ratio) << c.name;
    EXPECT_EQ(zorv::check::judgeSpeed(interval, zorv::check::median(c.oldTimes),
                                      zorv::check::median(c.newTimes), c.oldTimes.size(),
                                      c.newTimes.size(), 1.10),
              c.change)
        << c.name << ": " << interval.low << " to " << interval.high;
  }
}

}  // namespace
