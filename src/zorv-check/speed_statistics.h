#pragma once

#include <cstddef>
#include <vector>

namespace zorv::check {

// The middle value of `values` (the mean of the two middle ones for an even
// count); 0 for none. Linear in the count.
double median(std::vector<double> values);

// NEW's median time over OLD's, with a percentile-bootstrap interval.
struct RatioInterval {
  double ratio = 1;
  double low = 1;
  double high = 1;
};

// The interval of the ratio of medians of round medians: each round is a
// process of its own with its own speed, so the rounds, not the calls, are
// what is drawn. Each of `resamples` draws takes as many rounds as each
// build has, with replacement, from that build's own round medians, and
// takes the ratio of the two medians; the interval holds the middle
// `confidence` of those ratios. The draws come from a fixed seed, so the
// same times give the same interval on every run and platform.
RatioInterval roundsInterval(const std::vector<double>& oldRounds,
                             const std::vector<double>& newRounds, double confidence,
                             size_t resamples = 10000);

// The confidence of each function's interval when `judged` functions are
// judged at once (Bonferroni): 95 % for all of them together, 1 - 0.05/k each.
double jointConfidence(size_t judged);

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
// A build's rounds that timed a function fewer than this are too few to judge.
inline constexpr size_t kFewestRounds = 5;

// What judging one function found.
struct SpeedJudgement {
  SpeedChange change = SpeedChange::TooFewCalls;
  double bar = 1;           // the ratio NEW/OLD that counted as slower
  size_t roundsNeeded = 0;  // Undecided: about how many rounds of each would settle it
};

// Judges NEW's round medians against OLD's. `oldSelf` is OLD's rounds
// against OLD's own other rounds: what they surely disagree by (the edge of
// its interval nearer 1, when the interval leaves 1 out) comes of how the
// rounds are run, not of a library, so a change counts only beyond both it
// and `threshold` (the bar). Slower when the whole interval lies above the
// bar, Faster when below 1/bar, NoClearChange when it lies between them,
// Undecided when it straddles one of them, with the rounds that would narrow
// it to clear the bar by a margin as wide again (its width shrinks as
// 1/sqrt(rounds)). Never a change for medians within the noise floor of
// each other; TooFewCalls for fewer than kFewestRounds rounds of either.
SpeedJudgement judgeSpeed(const RatioInterval& interval, const RatioInterval& oldSelf,
                          double oldMedian, double newMedian, size_t oldRounds, size_t newRounds,
                          double threshold);

}  // namespace zorv::check
