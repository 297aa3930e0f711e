#include "compare.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <tuple>

#include "board.h"
#include "compare_answers.h"
#include "compare_html.h"
#include "compare_report.h"
#include "junit_writer.h"
#include "library_loader.h"
#include "record_set.h"
#include "replay.h"
#include "replay_report.h"

namespace zorv::check {

namespace {

constexpr size_t kEntries = kBridgeEntryCount;

// One library under comparison and what its rounds left, each round reduced
// as it ends to what the comparison needs: memory in the calls, not in the
// calls times the rounds.
struct Build {
  Options options;   // `library` names this build's file
  std::string name;  // "" for OLD, "new" for NEW: what a child started afresh loads
  std::unique_ptr<BridgeBindings> bindings;
  std::array<bool, kEntries> exported{};
  ReplayRun warmUp;  // its answers are the ones shown
  // By call: a counted round left another result than the warm-up's.
  std::vector<bool> unsteady;
  // By function, one a counted round: the median time of its calls.
  std::array<std::vector<double>, kEntries> roundMedians;
  // By function and the function of the call before: the round's median
  // time of its calls right after a call of that function.
  std::array<std::array<std::vector<double>, kEntries>, kEntries> afterMedians;
  // By counted round: whether the other build's round came before it in its pair.
  std::vector<bool> afterOther;
};

bool open(Build& build, const std::vector<std::string>& arguments) {
  std::array<std::string, kEntries> missing;
  build.bindings = openLibrary(build.options, arguments, build.exported, missing, build.name);
  return build.bindings != nullptr;
}

// The records compared. One record is compared as it is; several as one
// list of calls, record k's following record k-1's.
struct Compared {
  std::vector<RecordInSet> set;
  TraceRecord merged;              // the calls of several records; empty for one
  std::vector<size_t> starts;      // where each record's calls begin in the list
  const TraceRecord& calls() const { return set.size() == 1 ? set.front().record : merged; }
};

Compared compared(std::vector<RecordInSet> set) {
  Compared out;
  out.set = std::move(set);
  size_t start = 0;
  for (const RecordInSet& entry : out.set) {
    out.starts.push_back(start);
    start += entry.record.calls.size();
    if (out.set.size() == 1) break;
    out.merged.calls.insert(out.merged.calls.end(), entry.record.calls.begin(),
                            entry.record.calls.end());
  }
  return out;
}

// One round of `build`: the whole set of records at once, at the chosen
// pace, each in a guarded child; its results in the one list of calls.
ReplayRun runRound(const Compared& records, Build& build,
                   const std::vector<std::string>& arguments) {
  std::vector<ReplayRun> runs = replaySet(records.set, build.options, *build.bindings,
                                          build.exported, build.name, arguments);
  if (runs.size() == 1) return std::move(runs.front());
  ReplayRun all;
  all.results.reserve(records.calls().calls.size());
  for (size_t k = 0; k < runs.size(); ++k) {
    ReplayRun& run = runs[k];
    all.results.insert(all.results.end(), run.results.begin(), run.results.end());
    for (AnswerWindow window : run.windows) {
      window.call += static_cast<uint32_t>(records.starts[k]);
      all.windows.push_back(window);
    }
    if (all.ending.empty() && !run.ending.empty()) {
      all.ending = records.set[k].name + ": " + run.ending;
      all.end = run.end;
    }
    all.timedOut = all.timedOut || run.timedOut;
    all.brokenPromises.insert(all.brokenPromises.end(), run.brokenPromises.begin(),
                              run.brokenPromises.end());
  }
  return all;
}

// What a call's result is for the comparison: how it ended, its code and
// (unless --codes-only) its answer. Whether it matched the record is no part of it.
auto keyOf(const CallResult& result, bool codesOnly) {
  const bool returned = result.outcome == Outcome::Matched || result.outcome == Outcome::Differs ||
                        result.outcome == Outcome::NowReturns;
  const int state = returned ? 0 : static_cast<int>(result.outcome) + 1;
  return std::make_tuple(state, returned ? result.code : 0,
                         returned && !codesOnly ? result.digest : 0);
}

bool returned(const CallResult& result) { return std::get<0>(keyOf(result, true)) == 0; }

// Reused from round to round: one round's times by function, and by
// function and the function of the call before.
struct RoundTimes {
  std::array<std::vector<double>, kEntries> byEntry;
  std::array<std::array<std::vector<double>, kEntries>, kEntries> byEntryAfter;
};

// Adds one counted round's results to `build`: which calls left another
// result than the warm-up's, and the round's medians. Linear in the calls.
void absorbRound(const TraceRecord& record, const std::vector<CallResult>& results,
                 bool codesOnly, bool afterOther, Build& build, RoundTimes& times) {
  const std::vector<CallResult>& first = build.warmUp.results;
  build.unsteady.resize(results.size());
  for (auto& bucket : times.byEntry) bucket.clear();
  for (auto& row : times.byEntryAfter) {
    for (auto& bucket : row) bucket.clear();
  }
  for (size_t i = 0; i < results.size(); ++i) {
    if (keyOf(results[i], codesOnly) != keyOf(first[i], codesOnly)) build.unsteady[i] = true;
    if (!returned(results[i])) continue;
    const double seconds = static_cast<double>(results[i].nanoseconds) * 1e-9;
    const size_t entry = static_cast<size_t>(record.calls[i].entry);
    times.byEntry[entry].push_back(seconds);
    if (i > 0 && returned(results[i - 1])) {
      times.byEntryAfter[entry][static_cast<size_t>(record.calls[i - 1].entry)].push_back(seconds);
    }
  }
  for (size_t e = 0; e < kEntries; ++e) {
    if (!times.byEntry[e].empty()) build.roundMedians[e].push_back(median(times.byEntry[e]));
    for (size_t before = 0; before < kEntries; ++before) {
      const std::vector<double>& bucket = times.byEntryAfter[e][before];
      if (!bucket.empty()) build.afterMedians[e][before].push_back(median(bucket));
    }
  }
  build.afterOther.push_back(afterOther);
}

// The answer window the warm-up kept of call `i`; none when it kept none.
const AnswerWindow* windowOf(const Build& build, size_t i) { return build.warmUp.windowOf(i); }

std::string resultText(const TraceRecord& record, size_t i, const Build& build, bool codesOnly) {
  return resultOf(record.calls[i], build.warmUp.results[i], windowOf(build, i),
                  build.warmUp.ending, codesOnly);
}

// A call whose result changed from round to round in both builds is the
// record's own doing; in one build alone, it is a difference between them.
void compareBehaviour(const TraceRecord& record, const Build& oldBuild, const Build& newBuild,
                      bool codesOnly, Comparison& comparison) {
  const auto unsteadyIn = [](const Build& build, size_t i) {
    return i < build.unsteady.size() && build.unsteady[i];
  };
  const auto shown = [&](size_t i, const Build& build) {
    return resultText(record, i, build, codesOnly) +
           (unsteadyIn(build, i) ? "; another result in other rounds" : "");
  };
  for (size_t i = 0; i < record.calls.size(); ++i) {
    const CallResult& oldResult = oldBuild.warmUp.results[i];
    const CallResult& newResult = newBuild.warmUp.results[i];
    const bool oldUnsteady = unsteadyIn(oldBuild, i), newUnsteady = unsteadyIn(newBuild, i);
    if (oldUnsteady && newUnsteady) {
      comparison.unsteady.push_back(i);
      continue;
    }
    const bool oldRan = oldResult.outcome != Outcome::NotRun;
    const bool newRan = newResult.outcome != Outcome::NotRun;
    if (oldRan != newRan) {
      // After the call one run ended in: counted, not listed call by call.
      ++(oldRan ? comparison.newNotRun : comparison.oldNotRun);
      continue;
    }
    if (!oldUnsteady && !newUnsteady &&
        keyOf(oldResult, codesOnly) == keyOf(newResult, codesOnly)) {
      continue;
    }
    comparison.differences.push_back({i, shown(i, oldBuild), shown(i, newBuild)});
    alignAnswers(record.calls[i],
                 {oldResult, windowOf(oldBuild, i), oldBuild.warmUp.ending},
                 {newResult, windowOf(newBuild, i), newBuild.warmUp.ending}, codesOnly,
                 comparison.differences.back());
  }
}

// Sorts the promises each warm-up run broke by who broke them; a promise is
// its function and check, whatever call broke it.
void comparePromises(const Build& oldBuild, const Build& newBuild, Comparison& comparison) {
  auto brokenIn = [](const std::vector<Line>& lines, const Line& line) {
    return std::any_of(lines.begin(), lines.end(), [&](const Line& other) {
      return other.function == line.function && other.check == line.check;
    });
  };
  const std::vector<Line>& byOld = oldBuild.warmUp.brokenPromises;
  const std::vector<Line>& byNew = newBuild.warmUp.brokenPromises;
  for (const Line& line : byNew) {
    (brokenIn(byOld, line) ? comparison.brokenByBoth : comparison.brokenByNewAlone).push_back(line);
  }
  for (const Line& line : byOld) {
    if (!brokenIn(byNew, line)) comparison.brokenByOldAlone.push_back(line);
  }
}

// Draws of the bootstrap: enough for the far tails of a corrected interval
// with a few rounds, fewer with many rounds, whose intervals are narrow.
size_t resamplesFor(size_t rounds) {
  return std::clamp<size_t>(1'000'000 / std::max<size_t>(rounds, 1), 1000, 10000);
}

// A generous guess of the seconds the statistics take after `rounds` rounds
// of each: each draw of a round costs some 20 ns, and every function and
// every pair of a function and the one before it may be drawn.
double statisticsSeconds(size_t rounds) {
  return 2.0 * kEntries * static_cast<double>(resamplesFor(rounds) * 2 * rounds) * 30e-9;
}

// OLD's round medians split by where OLD's round stood in its pair (after
// NEW's or before it): the halves differ by noise and by what the order of
// rounds does, never by a change of the library.
std::pair<std::vector<double>, std::vector<double>> oldHalves(const Build& oldBuild, size_t e) {
  std::pair<std::vector<double>, std::vector<double>> halves;
  const std::vector<double>& medians = oldBuild.roundMedians[e];
  for (size_t r = 0; r < medians.size() && r < oldBuild.afterOther.size(); ++r) {
    (oldBuild.afterOther[r] ? halves.first : halves.second).push_back(medians[r]);
  }
  return halves;
}

// A slower function whose calls are slower right after a call of another
// slower function, and not after calls of any other, did not change: it
// shows the other's after-effect. Judged from the slowest down, so the
// function that changed stays the cause.
void sortOutAfterEffects(const Build& oldBuild, const Build& newBuild, Comparison& comparison,
                         size_t resamples) {
  std::vector<Comparison::Speed*> slower;
  for (Comparison::Speed& speed : comparison.speeds) {
    if (speed.change == SpeedChange::Slower) slower.push_back(&speed);
  }
  std::stable_sort(slower.begin(), slower.end(), [](const auto* a, const auto* b) {
    return a->interval.ratio > b->interval.ratio;
  });
  std::array<bool, kEntries> cause{};
  for (Comparison::Speed* speed : slower) {
    const size_t e = static_cast<size_t>(speed->entry);
    std::optional<BridgeEntry> after;
    bool elsewhereSlower = false, elsewhereSeen = false;
    for (size_t before = 0; before < kEntries; ++before) {
      const std::vector<double>& o = oldBuild.afterMedians[e][before];
      const std::vector<double>& n = newBuild.afterMedians[e][before];
      if (o.size() < kFewestRounds || n.size() < kFewestRounds) continue;
      const RatioInterval interval = roundsInterval(o, n, comparison.confidence, resamples);
      if (cause[before] && before != e) {
        if (interval.low > speed->bar) after = static_cast<BridgeEntry>(before);
      } else {
        elsewhereSeen = true;
        // Medians closer than the clock can tell apart are alike, whatever their ratio.
        const bool apart = std::fabs(median(n) - median(o)) >= kNoiseFloorSeconds;
        elsewhereSlower = elsewhereSlower || (apart && interval.ratio > speed->bar);
      }
    }
    if (after && elsewhereSeen && !elsewhereSlower) {
      speed->change = SpeedChange::SlowerAfterSlowerCall;
      speed->after = *after;
    } else {
      cause[e] = true;
    }
  }
}

// Each function's speed from the counted rounds' medians.
void compareSpeed(const TraceRecord& record, const Build& oldBuild, const Build& newBuild,
                  Comparison& comparison) {
  std::array<size_t, kEntries> calls{};
  for (const RecordedCall& call : record.calls) ++calls[static_cast<size_t>(call.entry)];
  // A function whose medians both lie below the noise floor can never be
  // named, so it takes no share of the 5 % the intervals may miss together.
  size_t judged = 0;
  for (size_t e = 0; e < kEntries; ++e) {
    const std::vector<double>& o = oldBuild.roundMedians[e];
    const std::vector<double>& n = newBuild.roundMedians[e];
    judged += o.size() >= kFewestRounds && n.size() >= kFewestRounds &&
              std::max(median(o), median(n)) >= kNoiseFloorSeconds;
  }
  comparison.confidence = jointConfidence(judged);
  const size_t resamples = resamplesFor(comparison.rounds);
  for (BridgeEntry entry : kReportOrder) {
    const size_t e = static_cast<size_t>(entry);
    if (calls[e] == 0) continue;
    Comparison::Speed speed;
    speed.entry = entry;
    speed.calls = calls[e];
    speed.oldTimes = oldBuild.roundMedians[e];
    speed.newTimes = newBuild.roundMedians[e];
    speed.oldMedian = median(speed.oldTimes);
    speed.newMedian = median(speed.newTimes);
    speed.interval =
        roundsInterval(speed.oldTimes, speed.newTimes, comparison.confidence, resamples);
    const auto [afterNew, beforeNew] = oldHalves(oldBuild, e);
    speed.oldSelf = roundsInterval(beforeNew, afterNew, comparison.confidence, resamples);
    const SpeedJudgement judgement =
        judgeSpeed(speed.interval, speed.oldSelf, speed.oldMedian, speed.newMedian,
                   speed.oldTimes.size(), speed.newTimes.size(), comparison.threshold);
    speed.change = judgement.change;
    speed.bar = judgement.bar;
    speed.roundsNeeded = judgement.roundsNeeded;
    comparison.speeds.push_back(std::move(speed));
  }
  sortOutAfterEffects(oldBuild, newBuild, comparison, resamples);
}

// Rounds done of rounds planned and the time left, on standard error when it
// is a terminal and the run has lasted a few seconds: one line rewritten in
// place, erased at the end.
class Progress {
 public:
  Progress(std::chrono::steady_clock::time_point started, size_t planned)
      : started_(started), planned_(planned), shown_(platform::isTerminal(stderr)) {}
  ~Progress() {
    if (written_) platform::writeText(stderr, "\r" + std::string(width_, ' ') + "\r");
  }
  void update(size_t done, double limitSeconds) {
    const double elapsed = secondsSince(started_);
    if (!shown_ || elapsed < 3 || done == 0) return;
    const double left =
        std::min(elapsed / static_cast<double>(done) * static_cast<double>(planned_ - done),
                 std::max(0.0, limitSeconds - elapsed));
    std::string line = "zorv-check: " + std::to_string(done) + " of " +
                       std::to_string(planned_) + " rounds, about " +
                       std::to_string(static_cast<long long>(std::ceil(left))) + " s left";
    const size_t length = line.size();
    if (length < width_) line += std::string(width_ - length, ' ');
    width_ = std::max(width_, length);
    platform::writeText(stderr, "\r" + line);
    written_ = true;
  }
  static double secondsSince(std::chrono::steady_clock::time_point from) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
  }

 private:
  std::chrono::steady_clock::time_point started_;
  size_t planned_;
  bool shown_;
  bool written_ = false;
  size_t width_ = 0;
};

}  // namespace

int runCompare(const Options& options, const std::vector<std::string>& arguments) {
  const auto started = std::chrono::steady_clock::now();
  std::vector<RecordInSet> set;
  if (!loadRecordSet(options, set)) return 2;
  const Compared records = compared(std::move(set));
  const TraceRecord& record = records.calls();
  Build oldBuild{options, "", nullptr, {}, {}, {}, {}, {}, {}};
  Build newBuild{options, "new", nullptr, {}, {}, {}, {}, {}, {}};
  newBuild.options.library = *options.newLibrary;
  if (!open(oldBuild, arguments) || !open(newBuild, arguments)) return 2;

  Comparison comparison;
  comparison.calls = record.calls.size();
  if (records.set.size() > 1) {
    for (const RecordInSet& entry : records.set) comparison.recordNames.push_back(entry.name);
    comparison.recordStarts = records.starts;
  }
  comparison.threshold = options.threshold;
  {
    Progress progress(started, 2 * options.rounds + 2);
    oldBuild.warmUp = runRound(records, oldBuild, arguments);
    newBuild.warmUp = runRound(records, newBuild, arguments);
    if (!oldBuild.warmUp.ending.empty() || !newBuild.warmUp.ending.empty()) {
      comparison.notMeasured = !oldBuild.warmUp.ending.empty() ? "OLD did not end its run well"
                                                               : "NEW did not end its run well";
    }
    // Pairs of rounds, new then old, then old then new, ...: a drift of the
    // machine's speed within a pair falls on both alike. A pair starts only
    // when the slowest pair so far and the statistics after it would still
    // end within --time; the first always runs, so each build's results are
    // seen twice.
    RoundTimes times;
    double slowestPair = 0;
    for (size_t pair = 0; comparison.notMeasured.empty() && pair < options.rounds; ++pair) {
      const auto pairStarted = std::chrono::steady_clock::now();
      if (pair > 0 && Progress::secondsSince(started) + slowestPair +
                             statisticsSeconds(pair + 1) > options.timeSeconds) {
        break;
      }
      Build* order[2] = {&newBuild, &oldBuild};
      if (pair % 2 == 1) std::swap(order[0], order[1]);
      for (Build* build : order) {
        ReplayRun run = runRound(records, *build, arguments);
        if (!run.ending.empty()) {
          comparison.notMeasured = std::string(build == &oldBuild ? "OLD" : "NEW") +
                                   " did not end a later run well: " + run.ending;
        }
        absorbRound(record, run.results, options.codesOnly, build == order[1], *build, times);
      }
      if (comparison.notMeasured.empty()) comparison.rounds = pair + 1;
      slowestPair = std::max(slowestPair, Progress::secondsSince(pairStarted));
      progress.update(2 * pair + 4, options.timeSeconds);
    }
  }
  compareBehaviour(record, oldBuild, newBuild, options.codesOnly, comparison);
  comparePromises(oldBuild, newBuild, comparison);
  if (comparison.notMeasured.empty()) compareSpeed(record, oldBuild, newBuild, comparison);

  const CompareReport report = reportComparison(record, comparison, options.codesOnly);
  platform::writeText(stdout, report.text);
  std::fflush(stdout);
  if (!writeJUnitIfAsked(options.junitPath, options.library + " against " + *options.newLibrary,
                         report.lines, started)) {
    return 2;
  }
  if (!options.htmlPath.empty() &&
      !writeComparisonPage(options.htmlPath, record, comparison, options.codesOnly,
                           options.library, *options.newLibrary)) {
    return 2;
  }
  return comparison.clean() ? 0 : 1;
}

}  // namespace zorv::check
