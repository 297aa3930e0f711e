// --compare's speed statistic on simulated builds whose rounds each run at a
// speed of their own: its intervals hold what they claim, and its verdicts
// follow the threshold, OLD's own noise and the rounds it has.
#include "speed_statistics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

using zorv::check::RatioInterval;
using zorv::check::SpeedChange;

// `count` round medians of a function taking `micros` a call, each round's
// speed off by up to `spread` (a share) either way; drawn alike on every
// standard library.
std::vector<double> rounds(std::mt19937_64& random, double micros, size_t count, double spread) {
  std::vector<double> out;
  for (size_t i = 0; i < count; ++i) {
    const double even = static_cast<double>(random() >> 11) * 0x1p-53;
    out.push_back(micros * 1e-6 * (1 + spread * (2 * even - 1)));
  }
  return out;
}

// In `trials` comparisons of `functions` functions alike in OLD and NEW, how
// many had an interval of any function (at the joint confidence) without 1.
size_t trialsMissingOne(size_t trials, size_t functions, size_t count, double spread) {
  std::mt19937_64 random(7);
  size_t missed = 0;
  for (size_t t = 0; t < trials; ++t) {
    bool any = false;
    for (size_t f = 0; f < functions; ++f) {
      const RatioInterval interval = zorv::check::roundsInterval(
          rounds(random, 50, count, spread), rounds(random, 50, count, spread),
          zorv::check::jointConfidence(functions), 2000);
      any = any || interval.low > 1 || interval.high < 1;
    }
    missed += any;
  }
  return missed;
}

TEST(SpeedStatistics, IntervalsHoldTheirConfidenceOverRoundsOfTheirOwnSpeed) {
  const struct {
    const char* name;
    size_t trials, functions, rounds;
    double spread;
    size_t mostMissed;
  } cases[] = {
      // 5 % expected; a 50 % interval, or NEW's rounds not drawn, misses far more.
      {"one function, 20 rounds, 5 % apart", 200, 1, 20, 0.05, 18},
      {"one function, 8 rounds, 20 % apart", 200, 1, 8, 0.2, 18},
      // 5 % for all eight together: without the correction about a third.
      {"eight functions judged at once", 100, 8, 20, 0.05, 9},
  };
  for (const auto& c : cases) {
    EXPECT_LE(trialsMissingOne(c.trials, c.functions, c.rounds, c.spread), c.mostMissed) << c.name;
  }
}

// Judges NEW at `ratio` times OLD's time, both with `count` rounds 3 % apart;
// OLD's halves disagree by `oldSelf`.
zorv::check::SpeedJudgement judge(double ratio, size_t count, double threshold,
                                  double oldSelf = 1, double micros = 50) {
  std::mt19937_64 random(11);
  const std::vector<double> oldRounds = rounds(random, micros, count, 0.03);
  const std::vector<double> newRounds = rounds(random, micros * ratio, count, 0.03);
  const RatioInterval interval = zorv::check::roundsInterval(
      oldRounds, newRounds, zorv::check::jointConfidence(8), 4000);
  return zorv::check::judgeSpeed(interval, {oldSelf, oldSelf, oldSelf},
                                 zorv::check::median(oldRounds), zorv::check::median(newRounds),
                                 oldRounds.size(), newRounds.size(), threshold);
}

TEST(SpeedStatistics, VerdictFollowsThresholdNoiseAndRounds) {
  const struct {
    const char* name;
    double ratio;
    size_t rounds;
    double threshold, oldSelf, micros;
    SpeedChange change;
  } cases[] = {
      {"alike", 1.0, 20, 1.10, 1, 50, SpeedChange::NoClearChange},
      {"2 ms more a call", 41, 20, 1.10, 1, 50, SpeedChange::Slower},
      {"three times as fast", 1 / 3.0, 20, 1.10, 1, 50, SpeedChange::Faster},
      {"5 % slower, under 1.10", 1.05, 20, 1.10, 1, 50, SpeedChange::NoClearChange},
      {"5 % slower, over 1.02", 1.05, 20, 1.02, 1, 50, SpeedChange::Slower},
      {"5 % slower, 5 rounds, near 1.02", 1.05, 5, 1.02, 1, 50, SpeedChange::Undecided},
      {"20 % slower, OLD 30 % apart from itself", 1.2, 20, 1.10, 1.3, 50,
       SpeedChange::NoClearChange},
      {"25 % slower, OLD 25 % apart from itself", 1.25, 20, 1.10, 1.25, 50,
       SpeedChange::Undecided},
      {"20 % slower, OLD 2 % apart from itself", 1.2, 20, 1.10, 1.02, 50, SpeedChange::Slower},
      {"twice as slow, within the noise floor", 2, 20, 1.10, 1, 0.1, SpeedChange::NoClearChange},
      {"fewer than five rounds", 100, 4, 1.10, 1, 50, SpeedChange::TooFewCalls},
  };
  for (const auto& c : cases) {
    const auto judgement = judge(c.ratio, c.rounds, c.threshold, c.oldSelf, c.micros);
    EXPECT_EQ(judgement.change, c.change) << c.name;
    EXPECT_EQ(judgement.roundsNeeded > 0, c.change == SpeedChange::Undecided) << c.name;
  }
}

// The rounds an undecided verdict asks for are enough: with them it is settled.
TEST(SpeedStatistics, UndecidedAsksForRoundsThatSettleIt) {
  const auto first = judge(1.05, 5, 1.02);
  ASSERT_EQ(first.change, SpeedChange::Undecided);
  ASSERT_GT(first.roundsNeeded, 5u);
  ASSERT_LT(first.roundsNeeded, 200u);
  EXPECT_EQ(judge(1.05, first.roundsNeeded, 1.02).change, SpeedChange::Slower);
}

}  // namespace
