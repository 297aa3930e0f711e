#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "bridge_binding.h"
#include "replay_board.h"
#include "report.h"
#include "speed_statistics.h"

namespace zorv::check {

// What --compare found, for its reports (text and JUnit today): plain data,
// no wording beyond each library's result of a differing call.
struct Comparison {
  // One build's result of a differing call, as data a report words itself.
  struct Answer {
    Outcome outcome = Outcome::NotRun;
    int32_t code = 0;
    bool kept = false;      // `bytes` holds its answer from the difference's `from`
    std::string bytes;      // CP932, at most AnswerWindow::kBytes
    size_t length = 0;      // the whole answer's bytes
    bool terminated = true;
    std::string ending;     // Running: how its child ended, in the replay's words
  };
  // A call whose code or answer differs between OLD and NEW, or whose result
  // changed from round to round in one of them and not in the other.
  struct Difference {
    size_t call = 0;        // index in the record's calls
    std::string oldResult;  // in a replay's words: "code 0, answer ..." or how it ended
    std::string newResult;
    // Both answers from one byte, so a reader sees the same bytes side by
    // side; set by alignAnswers (`aligned` false when it was not called).
    bool aligned = false;
    Answer oldAnswer{};
    Answer newAnswer{};
    size_t from = 0;  // the first byte of both `bytes`: a character's start
    size_t firstDifference = kAlike;  // the first byte the two answers differ in
    static constexpr size_t kAlike = static_cast<size_t>(-1);  // or not known to
  };
  // One function's speed over the counted rounds.
  struct Speed {
    BridgeEntry entry = BridgeEntry::Login;
    size_t calls = 0;  // its calls in the record
    // Each counted round's median time of its calls (seconds a call): a round
    // is a process of its own, and the statistic draws rounds.
    std::vector<double> oldTimes;
    std::vector<double> newTimes;
    double oldMedian = 0;  // the median of the round medians
    double newMedian = 0;
    RatioInterval interval;  // at `confidence`
    RatioInterval oldSelf;   // OLD's rounds after NEW's against those before: the noise
    double bar = 1;          // the ratio that counted as slower: the threshold or OLD's own spread
    SpeedChange change = SpeedChange::TooFewCalls;
    size_t roundsNeeded = 0;  // Undecided: about how many rounds of each would settle it
    BridgeEntry after = BridgeEntry::Login;  // SlowerAfterSlowerCall: the slower function
  };

  // The records compared, when several: their calls follow one another in
  // one list, record k's from recordStarts[k], so each call has one index.
  std::vector<std::string> recordNames;
  std::vector<size_t> recordStarts;
  // "a.jsonl " for a call of record a.jsonl among several; "" for one record.
  std::string sourceOf(size_t call) const {
    if (recordNames.size() < 2) return "";
    size_t k = 0;
    while (k + 1 < recordStarts.size() && recordStarts[k + 1] <= call) ++k;
    return recordNames[k] + " ";
  }

  size_t calls = 0;   // the record's calls
  size_t rounds = 0;  // counted rounds of each library
  double threshold = 1.10;
  // Each function's interval holds this much, so that all of them together
  // hold 95 % (Bonferroni over the functions judged).
  double confidence = 0.95;
  std::vector<Difference> differences;
  // Calls whose code or answer changed from round to round of both
  // libraries: not compared, since the record's own calls changed what they read.
  std::vector<size_t> unsteady;
  size_t oldNotRun = 0;  // calls OLD never reached, its run having ended before them
  size_t newNotRun = 0;
  std::vector<Speed> speeds;  // functions the record calls, in the report's order
  std::string notMeasured;    // why there are no times, when a warm-up run did not end well
  // Promises the guard saw broken in the warm-up runs, in the checks' words:
  // by NEW alone (a regression), by OLD alone, by both.
  std::vector<Line> brokenByNewAlone;
  std::vector<Line> brokenByOldAlone;
  std::vector<Line> brokenByBoth;

  size_t slower() const { return count(SpeedChange::Slower); }
  size_t faster() const { return count(SpeedChange::Faster); }
  size_t undecided() const { return count(SpeedChange::Undecided); }
  bool clean() const {
    return differences.empty() && oldNotRun == 0 && newNotRun == 0 && slower() == 0 &&
           brokenByNewAlone.empty();
  }

 private:
  size_t count(SpeedChange change) const {
    size_t n = 0;
    for (const Speed& speed : speeds) n += speed.change == change;
    return n;
  }
};

}  // namespace zorv::check
