#include "checker.h"

#include <chrono>
#include <cstdio>
#include <new>

#include "child_supervisor.h"
#include "convention.h"
#include "junit_writer.h"
#include "library_loader.h"
#include "replay.h"
#include "report.h"
#include "scenarios.h"

namespace zorv::check {

namespace {

// What the children found, added up.
struct Totals {
  Tallies tallies{};
  std::array<CleanupCounts, kBridgeEntryCount> cleanups{};

  std::array<Tally, kCheckCount>& operator[](size_t entry) { return tallies[entry]; }
};

// The checks in report order, and the functions each applies to.
struct CheckInfo {
  Check check;
  const char* name;
  bool (*applies)(BridgeEntry);
};

bool called(BridgeEntry e) { return e != BridgeEntry::Status; }

constexpr CheckInfo kChecks[] = {
    {Check::Returns, "returns", called},
    {Check::Convention, "convention", [](BridgeEntry e) { return kTwoConventions && called(e); }},
    {Check::TextReadOnly, "text-read-only", takesText},
    {Check::InsideBuffer, "inside-buffer", writesAnswer},
    {Check::NulWithin, "nul-within-8192", writesAnswer},
    {Check::NoKeptAddress, "no-kept-address",
     [](BridgeEntry e) { return takesText(e) || writesAnswer(e); }},
    {Check::Cp932, "cp932", writesAnswer},
};

}  // namespace

const char* checkName(Check check) {
  for (const CheckInfo& info : kChecks) {
    if (info.check == check) return info.name;
  }
  return "exported";
}

namespace {

std::string passSentence(Check check, const Tally& t, const Options& options) {
  const std::string n = std::to_string(t.judged);
  switch (check) {
    case Check::Returns:
      return "returned from all " + n + " calls within " + seconds(options.timeoutSeconds) + " s";
    case Check::TextReadOnly:
      return "only read its text argument, laid in read-only pages, on " + n + " calls";
    case Check::InsideBuffer:
      return "wrote nothing past the first 8192 bytes of the buffer, on " + n + " calls";
    case Check::NulWithin:
      return n +
             " answers started at the first byte with their NUL within the first 8192 bytes "
             "(longest " +
             std::to_string(t.longest) + " bytes)";
    case Check::NoKeptAddress:
      return "touched no revoked argument in " + n + " later calls";
    case Check::Cp932:
      return n + " answers were whole CP932 characters";
    default:
      return "";
  }
}

const char* notJudged(Check check) {
  return check == Check::NulWithin || check == Check::Cp932
             ? "not judged: no call that returned wrote an answer"
         : check == Check::NoKeptAddress ? "not judged: no call followed one that returned"
                                         : "not judged: no call returned";
}

Line verdictLine(BridgeEntry e, const CheckInfo& info, const Tally& t, const Options& options,
                 const CleanupCounts& cleanups) {
  const std::string function = bridgeEntryName(e);
  if (info.check == Check::Convention && t.failed == 0 && t.judged > 0) {
    bool mixed = false;
    const std::string sentence = conventionSentence(e, cleanups, mixed);
    if (mixed) return {Verdict::Fail, function, info.name, mixedSentence(e, cleanups)};
    return {Verdict::Pass, function, info.name, sentence};
  }
  if (t.failed > 0) {
    std::string sentence = t.failure;
    if (t.failed > 1) sentence += " (and " + std::to_string(t.failed - 1) + " more)";
    return {Verdict::Fail, function, info.name, sentence};
  }
  if (t.warned > 0) return {Verdict::Warn, function, info.name, t.warning};
  if (t.judged == 0) return {Verdict::Warn, function, info.name, notJudged(info.check)};
  return {Verdict::Pass, function, info.name, passSentence(info.check, t, options)};
}

void merge(Totals& total, const Board& board) {
  for (size_t e = 0; e < kBridgeEntryCount; ++e) {
    total.cleanups[e].byCallee += board.cleanups[e].byCallee;
    total.cleanups[e].byCaller += board.cleanups[e].byCaller;
    total.cleanups[e].either += board.cleanups[e].either;
    for (size_t c = 0; c < kCheckCount; ++c) {
      Tally& to = total[e][c];
      const Tally& from = board.tallies[e][c];
      to.judged += from.judged;
      if (from.failed && !to.failed) setText(to.failure, from.failure);
      if (from.warned && !to.warned) setText(to.warning, from.warning);
      to.failed += from.failed;
      to.warned += from.warned;
      if (from.longest > to.longest) to.longest = from.longest;
    }
  }
}

}  // namespace

// Names the promise an access to an argument's pages broke: touching a
// revoked argument fails the call that handed it out; writing into live text
// or past the buffer fails the call that did it.
void explainFault(Tallies& tallies, const Fault& fault) {
  const Region& region = fault.region;
  const auto entry = static_cast<BridgeEntry>(fault.entry);
  const auto owner = static_cast<BridgeEntry>(region.entry);
  const std::string call = fault.call;
  const std::string size = std::to_string(region.end - region.start);
  const std::string where =
      fault.address < region.start
          ? std::to_string(region.start - fault.address) + " bytes before the first byte"
          : "byte " + std::to_string(fault.address - region.start);
  auto failed = [&](BridgeEntry e, Check c, const std::string& sentence) {
    fail(tallies[static_cast<size_t>(e)][static_cast<size_t>(c)], sentence);
  };
  if (region.revoked) {
    failed(owner, Check::NoKeptAddress,
           "touched " + where + " of " + region.what + ", after that call had returned, during " +
               (owner == entry ? "its " : std::string(bridgeEntryName(entry)) + "'s ") + call);
  } else if (region.buffer) {
    failed(entry, Check::InsideBuffer,
           "touched " + where + " of the buffer's " + size +
               "-byte copy (its NUL included), "
               "beyond it, on its " +
               call);
  } else if (fault.address >= region.start && fault.address < region.end) {
    failed(entry, Check::TextReadOnly,
           "wrote into its text argument (" + where + " of " + size + "), on its " + call);
  } else {
    failed(entry, Check::Returns,
           "read outside its text argument (" + where + " of " + size + "), on its " + call);
  }
}

namespace {

// Turns a child that did not end well into the failure of the running call.
void explainEnd(Totals& total, const Board& board, const platform::ChildEnd& end, bool timedOut,
                const Options& options) {
  const std::string sentence = endSentence(board, end, timedOut, options.timeoutSeconds);
  if (!sentence.empty()) fail(total[board.entry][static_cast<size_t>(Check::Returns)], sentence);
}

int childBody(const Scenario& scenario, const Options& options, Board& board,
              BridgeBindings& bindings) {
  guardChild(board);
  try {
    return runScenario(scenario, options, board, bindings);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "zorv-check: %s\n", error.what());
    return 3;
  }
}

// Runs one scenario's child to its end, within the time limit of each call,
// and adds what it found to `total`.
void runChild(size_t index, const Scenario& scenario, const Options& options,
              const std::vector<std::string>& arguments, BridgeBindings& bindings, Totals& total) {
  platform::SharedMemory memory = platform::SharedMemory::create(sizeof(Board));
  Board& board = *new (memory.data()) Board();
  platform::ChildProcess child(
      [&] { return childBody(scenario, options, board, bindings); },
      childArguments(std::to_string(index) + ":" + memory.name(), arguments));
  const bool timedOut = superviseChild(child, board, options.timeoutSeconds);
  merge(total, board);
  const uint32_t faults = board.faultCount.load();
  for (uint32_t f = 0; f < faults && f < Board::kFaults; ++f) {
    explainFault(total.tallies, board.faults[f]);
  }
  explainEnd(total, board, child.end(), timedOut, options);
}

std::vector<Line> reportLines(const Options& options,
                              const std::array<bool, kBridgeEntryCount>& exported,
                              const std::array<std::string, kBridgeEntryCount>& missing,
                              const std::array<std::string, kBridgeEntryCount>& decorated,
                              const Totals& total) {
  std::vector<Line> lines{{Verdict::Pass, "library", "loads", "loaded " + options.library}};
  for (BridgeEntry e : kReportOrder) {
    const size_t i = static_cast<size_t>(e);
    const std::string name = bridgeEntryName(e);
    if (!exported[i]) {
      lines.push_back({e == BridgeEntry::Status ? Verdict::Warn : Verdict::Fail, name, "exported",
                       missingSentence(e, missing[i], decorated[i])});
      continue;
    }
    lines.push_back({Verdict::Pass, name, "exported", "is exported under exactly this name"});
    for (const CheckInfo& info : kChecks) {
      if (info.applies(e)) {
        lines.push_back(verdictLine(e, info, total.tallies[i][static_cast<size_t>(info.check)],
                                    options, total.cleanups[i]));
      }
    }
  }
  return lines;
}

}  // namespace

int runChecks(const Options& options, const std::vector<std::string>& arguments) {
  const auto started = std::chrono::steady_clock::now();
  std::array<std::string, kBridgeEntryCount> missing;
  std::array<bool, kBridgeEntryCount> exported{};
  std::unique_ptr<BridgeBindings> bindings = openLibrary(options, arguments, exported, missing);
  if (!bindings) return 2;

  Totals total;
  const std::vector<Scenario> runs = scenarios(options, exported);
  for (size_t i = 0; i < runs.size(); ++i)
    runChild(i, runs[i], options, arguments, *bindings, total);

  const std::vector<Line> lines =
      reportLines(options, exported, missing, decoratedForms(*bindings, exported), total);
  bool failed = false;
  for (const Line& line : lines) {
    platform::writeText(stdout, textLine(line) + "\n");
    failed = failed || line.verdict == Verdict::Fail;
  }
  platform::writeText(stdout, summaryLine(lines) + "\n");
  std::fflush(stdout);
  if (!writeJUnitIfAsked(options.junitPath, options.library, lines, started)) return 2;
  return failed ? 1 : 0;
}

int runChildProcess(const std::vector<std::string>& arguments) {
  // kLoadTask or "SCENARIO:MEMORY", then the checker's own arguments.
  if (arguments.empty()) return 2;
  endChildOnFault();
  std::string error;
  auto options =
      parseOptions(std::vector<std::string>(arguments.begin() + 1, arguments.end()), error);
  if (!options) return 2;
  // A --compare child of NEW: "new:" and the task it runs.
  std::string task = arguments[0];
  if (options->newLibrary && task.rfind("new:", 0) == 0) {
    options->library = *options->newLibrary;
    task.erase(0, 4);
  }
  std::unique_ptr<BridgeBindings> bindings = bindingsFor(options->library, error);
  if (!bindings) return 2;
  std::array<std::string, kBridgeEntryCount> missing;
  std::array<bool, kBridgeEntryCount> exported{};
  try {
    exported = lookUpEntries(*bindings, missing);
  } catch (const BridgeFailure&) {
    return 2;
  }
  if (task == kLoadTask) return 0;
  if (options->replay) return runReplayChild(*options, task, *bindings, exported);
  const size_t colon = task.find(':');
  if (colon == std::string::npos) return 2;
  const size_t index = std::stoul(task.substr(0, colon));
  const std::vector<Scenario> runs = scenarios(*options, exported);
  if (index >= runs.size()) return 2;
  platform::SharedMemory memory =
      platform::SharedMemory::open(task.substr(colon + 1), sizeof(Board));
  return childBody(runs[index], *options, *static_cast<Board*>(memory.data()), *bindings);
}

}  // namespace zorv::check
