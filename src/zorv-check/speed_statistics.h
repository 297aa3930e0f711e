#pragma once

#include <cstddef>
#include <vector>

namespace zorv::check {

// The middle value of `values` (the mean of the two middle ones for an even
// count); 0 for none.
double median(std::vector<double> values);

// NEW's median time over OLD's, with a 95 % percentile-bootstrap interval:
// each of `resamples` rounds draws as many times as each build has, with
// replacement, from that build's own times, and takes the ratio of the two
// medians. The draws come from a fixed seed, so the same times give the same
// interval on every run and platform.
struct RatioInterval {
  double ratio = 1;
  double low = 1;
  double high = 1;
};
RatioInterval ratioInterval(const std::vector<double>& oldTimes,
                            const std::vector<double>& newTimes, size_t resamples = 2000);

// A function's verdict. Undecided: the interval straddles the threshold, so
// more rounds would settle it one way or the other. SlowerAfterSlowerCall:
// the function itself did not change, but its calls run slower right after
// a call of a function that did (an after-effect, not a change of its own).
enum class SpeedChange {
  Slower,
  Faster,
  NoClearChange,
  TooFewCalls,
  Undecided,
  SlowerAfterSlowerCall
};

// Timing cannot tell apart medians this close, whatever their ratio: the
// clock's own reading and the call routine cost about as much.
inline constexpr double kNoiseFloorSeconds = 1e-6;
// A build's calls of a function fewer than this are too few to judge.
inline constexpr size_t kFewestTimes = 5;

// Slower only when the whole interval lies above `threshold`, faster only
// when it lies below 1/`threshold`; never for medians within the noise floor
// of each other or for too few times.
SpeedChange judgeSpeed(const RatioInterval& interval, double oldMedian, double newMedian,
                       size_t oldCount, size_t newCount, double threshold);

}  // namespace zorv::check
