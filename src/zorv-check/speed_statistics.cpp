#include "speed_statistics.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>

namespace zorv::check {

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  const size_t middle = values.size() / 2;
  std::nth_element(values.begin(), values.begin() + middle, values.end());
  const double upper = values[middle];
  if (values.size() % 2 == 1) return upper;
  const double lower = *std::max_element(values.begin(), values.begin() + middle);
  return (lower + upper) / 2;
}

namespace {

// A ratio of two medians that stays finite when OLD's is 0 (a clock too
// coarse for the call): both are lifted by a nanosecond.
double ratioOf(double oldMedian, double newMedian) {
  return (newMedian + 1e-9) / (oldMedian + 1e-9);
}

// `from`'s values drawn with replacement into `into`, as many as it has.
void draw(const std::vector<double>& from, std::vector<double>& into, std::mt19937_64& random) {
  into.resize(from.size());
  // The modulo's bias is below 1e-15 for any count of calls, and unlike a
  // distribution object it draws the same on every standard library.
  for (double& value : into) value = from[random() % from.size()];
}

}  // namespace

RatioInterval ratioInterval(const std::vector<double>& oldTimes,
                            const std::vector<double>& newTimes, size_t resamples) {
  RatioInterval interval;
  if (oldTimes.empty() || newTimes.empty()) return interval;
  interval.ratio = interval.low = interval.high = ratioOf(median(oldTimes), median(newTimes));
  if (resamples == 0) return interval;
  std::mt19937_64 random(20261209);
  std::vector<double> ratios(resamples);
  std::vector<double> oldDraw, newDraw;
  for (double& ratio : ratios) {
    draw(oldTimes, oldDraw, random);
    draw(newTimes, newDraw, random);
    ratio = ratioOf(median(oldDraw), median(newDraw));
  }
  std::sort(ratios.begin(), ratios.end());
  const auto at = [&](double share) {
    return ratios[std::min(ratios.size() - 1, static_cast<size_t>(share * ratios.size()))];
  };
  interval.low = std::min(at(0.025), interval.ratio);
  interval.high = std::max(at(0.975), interval.ratio);
  return interval;
}

SpeedChange judgeSpeed(const RatioInterval& interval, double oldMedian, double newMedian,
                       size_t oldCount, size_t newCount, double threshold) {
  if (oldCount < kFewestTimes || newCount < kFewestTimes) return SpeedChange::TooFewCalls;
  if (std::fabs(newMedian - oldMedian) < kNoiseFloorSeconds) return SpeedChange::NoClearChange;
  if (interval.low > threshold) return SpeedChange::Slower;
  if (interval.high < 1 / threshold) return SpeedChange::Faster;
  return SpeedChange::NoClearChange;
}

}  // namespace zorv::check
