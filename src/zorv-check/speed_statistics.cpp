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

// The most rounds --rounds allows: what more rounds than that would take is
// not worth telling apart.
constexpr size_t kMostRounds = 10000;

// A ratio of two medians that stays finite when OLD's is 0 (a clock too
// coarse for the call): both are lifted by a nanosecond.
double ratioOf(double oldMedian, double newMedian) {
  return (newMedian + 1e-9) / (oldMedian + 1e-9);
}

// `from`'s values drawn with replacement into `into`, as many as it has.
void draw(const std::vector<double>& from, std::vector<double>& into, std::mt19937_64& random) {
  into.resize(from.size());
  // The modulo's bias is below 1e-15 for any count of rounds, and unlike a
  // distribution object it draws the same on every standard library.
  for (double& value : into) value = from[random() % from.size()];
}

}  // namespace

RatioInterval roundsInterval(const std::vector<double>& oldRounds,
                             const std::vector<double>& newRounds, double confidence,
                             size_t resamples) {
  RatioInterval interval;
  if (oldRounds.empty() || newRounds.empty()) return interval;
  interval.ratio = interval.low = interval.high = ratioOf(median(oldRounds), median(newRounds));
  if (resamples == 0) return interval;
  std::mt19937_64 random(20261209);
  std::vector<double> ratios(resamples);
  std::vector<double> oldDraw, newDraw;
  for (double& ratio : ratios) {
    draw(oldRounds, oldDraw, random);
    draw(newRounds, newDraw, random);
    ratio = ratioOf(median(oldDraw), median(newDraw));
  }
  std::sort(ratios.begin(), ratios.end());
  const auto at = [&](double share) {
    return ratios[std::min(ratios.size() - 1, static_cast<size_t>(share * ratios.size()))];
  };
  const double tail = (1 - confidence) / 2;
  interval.low = std::min(at(tail), interval.ratio);
  interval.high = std::max(at(1 - tail), interval.ratio);
  return interval;
}

double jointConfidence(size_t judged) {
  return 1 - 0.05 / static_cast<double>(std::max<size_t>(judged, 1));
}

SpeedJudgement judgeSpeed(const RatioInterval& interval, const RatioInterval& oldSelf,
                          double oldMedian, double newMedian, size_t oldRounds, size_t newRounds,
                          double threshold) {
  SpeedJudgement judgement;
  if (oldRounds < kFewestRounds || newRounds < kFewestRounds) return judgement;
  // What of OLD's disagreement with itself is sure, not noise (the noise
  // between rounds is in `interval` already): its interval's edge nearer 1.
  const double selfApart = oldSelf.low > 1    ? oldSelf.low
                           : oldSelf.high < 1 ? 1 / oldSelf.high
                                              : 1;
  judgement.bar = std::max(threshold, selfApart);
  const double bar = judgement.bar;
  judgement.change = SpeedChange::NoClearChange;
  if (std::fabs(newMedian - oldMedian) < kNoiseFloorSeconds) return judgement;
  if (interval.low > bar) {
    judgement.change = SpeedChange::Slower;
  } else if (interval.high < 1 / bar) {
    judgement.change = SpeedChange::Faster;
  } else if (interval.low < 1 / bar || interval.high > bar) {
    // How far the interval must shrink, in logarithms, for its side nearer a
    // bar to clear it with a margin as wide again (the ratio itself moves as
    // rounds are added); the rounds grow as the square of that.
    judgement.change = SpeedChange::Undecided;
    const double ratio = std::log(interval.ratio), top = std::log(bar);
    const double below = ratio - std::log(interval.low), above = std::log(interval.high) - ratio;
    const auto share = [](double width, double room) {
      return room <= 0 ? HUGE_VAL : (2 * width / room) * (2 * width / room);
    };
    double grow = 0;
    if (ratio > top) {
      grow = share(below, ratio - top);
    } else if (ratio < -top) {
      grow = share(above, -top - ratio);
    } else {
      grow = std::max(share(above, top - ratio), share(below, ratio + top));
    }
    const double rounds = std::min(oldRounds, newRounds);
    const double needed = std::ceil(rounds * std::min(grow, 1e9));
    judgement.roundsNeeded =
        static_cast<size_t>(std::clamp(needed, rounds + 1, static_cast<double>(kMostRounds)));
  }
  return judgement;
}

}  // namespace zorv::check
