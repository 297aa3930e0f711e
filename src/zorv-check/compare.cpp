#include "compare.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <tuple>

#include "board.h"
#include "compare_answers.h"
#include "compare_html.h"
#include "compare_report.h"
#include "junit_writer.h"
#include "library_loader.h"
#include "replay.h"
#include "replay_report.h"

namespace zorv::check {

namespace {

// One library under comparison and what its rounds left.
struct Build {
  Options options;   // `library` names this build's file
  std::string name;  // "" for OLD, "new" for NEW: what a child started afresh loads
  std::unique_ptr<BridgeBindings> bindings;
  std::array<bool, kBridgeEntryCount> exported{};
  ReplayRun warmUp;                             // kept whole: its answers are the ones shown
  std::vector<std::vector<CallResult>> rounds;  // the counted rounds' results
};

bool open(Build& build, const std::vector<std::string>& arguments) {
  std::array<std::string, kBridgeEntryCount> missing;
  build.bindings = openLibrary(build.options, arguments, build.exported, missing, build.name);
  return build.bindings != nullptr;
}

ReplayRun runRound(const TraceRecord& record, Build& build,
                   const std::vector<std::string>& arguments) {
  return replayOnce(record, build.options, *build.bindings, build.exported, build.name, arguments);
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

// Whether call `i` left the same result in every round of `build`.
bool steady(const Build& build, size_t i, bool codesOnly) {
  const auto first = keyOf(build.warmUp.results[i], codesOnly);
  for (const std::vector<CallResult>& round : build.rounds) {
    if (keyOf(round[i], codesOnly) != first) return false;
  }
  return true;
}

std::string resultText(const TraceRecord& record, size_t i, const Build& build, bool codesOnly) {
  const ReplayRun& run = build.warmUp;
  const AnswerWindow* window = run.windows[i] ? &*run.windows[i] : nullptr;
  return resultOf(record.calls[i], run.results[i], window, run.ending, codesOnly);
}

void compareBehaviour(const TraceRecord& record, const Build& oldBuild, const Build& newBuild,
                      bool codesOnly, Comparison& comparison) {
  for (size_t i = 0; i < record.calls.size(); ++i) {
    const CallResult& oldResult = oldBuild.warmUp.results[i];
    const CallResult& newResult = newBuild.warmUp.results[i];
    if (!steady(oldBuild, i, codesOnly) || !steady(newBuild, i, codesOnly)) {
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
    if (keyOf(oldResult, codesOnly) == keyOf(newResult, codesOnly)) continue;
    comparison.differences.push_back({i, resultText(record, i, oldBuild, codesOnly),
                                      resultText(record, i, newBuild, codesOnly)});
    alignAnswers(record.calls[i], i, oldBuild.warmUp, newBuild.warmUp, codesOnly,
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

// Each function's per-call times in the counted rounds, of the calls that returned.
void compareSpeed(const TraceRecord& record, const Build& oldBuild, const Build& newBuild,
                  Comparison& comparison) {
  std::array<Comparison::Speed, kBridgeEntryCount> speeds;
  auto collect = [&](const Build& build, bool isNew) {
    for (const std::vector<CallResult>& round : build.rounds) {
      for (size_t i = 0; i < round.size(); ++i) {
        const CallResult& result = round[i];
        if (std::get<0>(keyOf(result, true)) != 0) continue;
        Comparison::Speed& speed = speeds[static_cast<size_t>(record.calls[i].entry)];
        (isNew ? speed.newTimes : speed.oldTimes).push_back(result.nanoseconds * 1e-9);
      }
    }
  };
  collect(oldBuild, false);
  collect(newBuild, true);
  for (const RecordedCall& call : record.calls) ++speeds[static_cast<size_t>(call.entry)].calls;
  for (BridgeEntry entry : kReportOrder) {
    Comparison::Speed& speed = speeds[static_cast<size_t>(entry)];
    if (speed.calls == 0) continue;
    speed.entry = entry;
    speed.oldMedian = median(speed.oldTimes);
    speed.newMedian = median(speed.newTimes);
    speed.interval = ratioInterval(speed.oldTimes, speed.newTimes);
    speed.change = judgeSpeed(speed.interval, speed.oldMedian, speed.newMedian,
                              speed.oldTimes.size(), speed.newTimes.size(), comparison.threshold);
    comparison.speeds.push_back(std::move(speed));
  }
}

}  // namespace

int runCompare(const Options& options, const std::vector<std::string>& arguments) {
  const auto started = std::chrono::steady_clock::now();
  TraceRecord record;
  if (!loadUsableRecord(options, record)) return 2;
  Build oldBuild{options, "", nullptr, {}, {}, {}};
  Build newBuild{options, "new", nullptr, {}, {}, {}};
  newBuild.options.library = *options.newLibrary;
  if (!open(oldBuild, arguments) || !open(newBuild, arguments)) return 2;

  oldBuild.warmUp = runRound(record, oldBuild, arguments);
  newBuild.warmUp = runRound(record, newBuild, arguments);
  Comparison comparison;
  comparison.calls = record.calls.size();
  comparison.threshold = options.threshold;
  if (!oldBuild.warmUp.ending.empty() || !newBuild.warmUp.ending.empty()) {
    comparison.notMeasured = !oldBuild.warmUp.ending.empty() ? "OLD did not end its run well"
                                                             : "NEW did not end its run well";
  }
  // Pairs of rounds, new then old, then old then new, ...: a drift of the
  // machine's speed within a pair falls on both alike.
  const auto limit = std::chrono::duration<double>(options.timeSeconds);
  for (size_t pair = 0; comparison.notMeasured.empty() && pair < options.rounds; ++pair) {
    if (pair > 0 && std::chrono::steady_clock::now() - started > limit) break;
    Build* order[2] = {&newBuild, &oldBuild};
    if (pair % 2 == 1) std::swap(order[0], order[1]);
    for (Build* build : order) {
      ReplayRun run = runRound(record, *build, arguments);
      if (!run.ending.empty()) {
        comparison.notMeasured = std::string(build == &oldBuild ? "OLD" : "NEW") +
                                 " did not end a later run well: " + run.ending;
      }
      build->rounds.push_back(std::move(run.results));
    }
    if (comparison.notMeasured.empty()) comparison.rounds = pair + 1;
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
