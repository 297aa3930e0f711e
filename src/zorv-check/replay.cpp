#include "replay.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <new>
#include <thread>

#include "board.h"
#include "checker.h"
#include "divergence.h"
#include "child_process.h"
#include "child_supervisor.h"
#include "exerciser.h"
#include "junit_writer.h"
#include "library_loader.h"
#include "narrow_text.h"
#include "pace_clock.h"
#include "record_format.h"
#include "replay_board.h"
#include "replay_report.h"
#include "replay_schedule.h"
#include "report.h"
#include "trace_record.h"
#include "utf_codec.h"

namespace zorv::check {

namespace {

// The bytes a call's text argument gets in the replay.
std::string textFor(const RecordedCall& call, const std::optional<std::string>& login) {
  if (call.masked && login) return std::string(narrowCopy(utf16FromUtf8(*login)).bytes());
  return call.text;
}

// The buffer the call gets: what the record saw before the call, NULs after
// it, at least the console's 8192 bytes, and the copy's closing NUL.
std::string bufferFor(const RecordedCall& call) {
  std::string bytes = call.bufferIn;
  if (bytes.size() < kAnswerBytes) bytes.resize(kAnswerBytes, '\0');
  bytes += '\0';
  return bytes;
}

std::string stageOf(const RecordedCall& call) { return "call " + std::to_string(call.seq); }

// FNV-1a of an answer's bytes and its NUL: two answers alike are alike here.
uint64_t digestOf(std::string_view answer, bool terminated) {
  uint64_t hash = 14695981039346656037ull;
  for (char c : answer) hash = (hash ^ static_cast<uint8_t>(c)) * 1099511628211ull;
  return (hash ^ (terminated ? 1u : 2u)) * 1099511628211ull;
}

// In a child of a set: says it can run, waits until the checker opens the
// gate, then until the set's start epoch it finds on the board.
void waitAtGate(ReplayBoard& shared) {
  shared.ready.store(1);
  while (!shared.open.load()) std::this_thread::sleep_for(std::chrono::microseconds(200));
  platform::waitUntil(shared.epoch);
}

int replayInChild(const TraceRecord& record, const Options& options,
                  const std::optional<std::string>& login, ReplayBoard& shared,
                  BridgeBindings& bindings, const std::array<bool, kBridgeEntryCount>& exported) {
  guardChild(shared.board);
  Exerciser exerciser(shared.board, bindings);
  platform::warmPages();
  const bool paced = options.pace > 0;
  if (paced) platform::preparePacing();
  if (shared.gated) waitAtGate(shared);
  const Pacer pacer(shared.epoch,
                    paced ? scheduleOf(record, shared.originMicros, options.pace)
                          : std::vector<int64_t>());
  CallResult* results = shared.results();
  for (size_t i = 0; i < record.calls.size(); ++i) {
    const RecordedCall& call = record.calls[i];
    CallResult& result = results[i];
    if (!exported[static_cast<size_t>(call.entry)]) {
      result.outcome = Outcome::NotExported;
      continue;
    }
    std::string buffer = bufferFor(call);
    const std::string text = textFor(call, login);
    if (paced) result.lateNanoseconds = pacer.start(i);
    if (shared.gated) result.startNanoseconds = platform::monotonicNanoseconds() - shared.epoch;
    result.outcome = Outcome::Running;
    result.code = exerciser.replay(call.entry, text, buffer, stageOf(call));
    result.nanoseconds = shared.board.callNanoseconds;
    const std::string_view first = std::string_view(buffer).substr(0, kAnswerBytes);
    const size_t nul = first.find('\0');
    const std::string_view answer = first.substr(0, nul);
    const bool terminated = nul != std::string_view::npos;
    if (writesAnswer(call.entry)) result.digest = digestOf(answer, terminated);
    bool same = call.returned && result.code == call.code;
    size_t differsAt = 0;
    if (call.returned && writesAnswer(call.entry) && !options.codesOnly) {
      while (differsAt < answer.size() && differsAt < call.answer.size() &&
             answer[differsAt] == call.answer[differsAt]) {
        ++differsAt;
      }
      if (answer == call.answer) differsAt = 0;  // only the code or the NUL differs
      // A call that failed in the record and fails with the same code again
      // matches whatever it wrote; a message matches but for its numbers.
      const bool failedAlike = call.code < 0 && result.code == call.code;
      const bool sameMessage = call.entry == BridgeEntry::MsgGet && terminated &&
                               call.answerTerminated &&
                               sameButNumbers(answer, call.answer);
      same = same && ((answer == call.answer && terminated == call.answerTerminated) ||
                      failedAlike || sameMessage);
    }
    result.outcome = !call.returned ? Outcome::NowReturns
                     : same         ? Outcome::Matched
                                    : Outcome::Differs;
    if (same || !writesAnswer(call.entry)) continue;
    const uint32_t n = shared.windowCount++;
    if (n >= ReplayBoard::kWindows) continue;
    AnswerWindow& window = shared.windows[n];
    window.call = static_cast<uint32_t>(i);
    window.from =
        static_cast<uint32_t>(characterStart(answer, differsAt > 16 ? differsAt - 16 : 0));
    window.length = static_cast<uint32_t>(answer.size());
    window.terminated = terminated;
    const std::string_view shown = answer.substr(window.from, AnswerWindow::kBytes);
    std::memcpy(window.bytes, shown.data(), shown.size());
  }
  return 0;
}

// The promises the guard saw broken, in the words of zorv-check's own checks
// (a warning, such as cp932's, is no broken promise).
std::vector<Line> brokenPromises(const Board& board) {
  Tallies tallies = board.tallies;
  const uint32_t faults = board.faultCount;
  for (uint32_t f = 0; f < faults && f < Board::kFaults; ++f)
    explainFault(tallies, board.faults[f]);
  std::vector<Line> lines;
  for (size_t e = 0; e < kBridgeEntryCount; ++e) {
    for (size_t c = 0; c < kCheckCount; ++c) {
      const Tally& tally = tallies[e][c];
      if (tally.failed == 0) continue;
      std::string sentence = tally.failure;
      if (tally.failed > 1) sentence += " (and " + std::to_string(tally.failed - 1) + " more)";
      lines.push_back({Verdict::Fail, bridgeEntryName(static_cast<BridgeEntry>(e)),
                       checkName(static_cast<Check>(c)), sentence});
    }
  }
  return lines;
}

}  // namespace

int runReplayChild(const Options& options, const std::string& task, BridgeBindings& bindings,
                   const std::array<bool, kBridgeEntryCount>& exported) {
  // "replay:COUNT:MEMORY[:INDEX]": the checker's count of calls holds even
  // when the record has grown since it read it; INDEX picks a record of the
  // set, none the --compare record.
  const std::string prefix = "replay:";
  const size_t colon = task.find(':', prefix.size());
  if (task.rfind(prefix, 0) != 0 || colon == std::string::npos) return 2;
  const size_t count = std::stoul(task.substr(prefix.size(), colon - prefix.size()));
  const size_t last = task.find(':', colon + 1);
  std::string path = options.replay.value_or("");
  std::string error;
  if (last != std::string::npos) {
    const size_t index = std::stoul(task.substr(last + 1));
    const std::optional<std::vector<std::string>> paths = recordPaths(options, error);
    if (!paths || index >= paths->size()) return 2;
    path = (*paths)[index];
  }
  TraceRecord record;
  std::optional<std::string> login;
  if (!loadRecordAt(path, record, error) || !loginFor(options, path, login, error) ||
      record.calls.size() < count) {
    platform::writeText(stderr, "zorv-check: " + error + "\n");
    return 2;
  }
  record.calls.resize(count);
  platform::SharedMemory memory = platform::SharedMemory::open(
      task.substr(colon + 1, last == std::string::npos ? std::string::npos : last - colon - 1),
      ReplayBoard::bytesFor(count));
  return replayInChild(record, options, login, *static_cast<ReplayBoard*>(memory.data()), bindings,
                       exported);
}

std::vector<ReplayRun> replaySet(const std::vector<RecordInSet>& set, const Options& options,
                                 BridgeBindings& bindings,
                                 const std::array<bool, kBridgeEntryCount>& exported,
                                 const std::string& build,
                                 const std::vector<std::string>& arguments) {
  // One record at full speed runs at once; a set, or a paced record, waits
  // at the gate until every child can run, so their schedules line up.
  const bool gated = set.size() > 1 || options.pace > 0;
  std::vector<const TraceRecord*> records;
  for (const RecordInSet& entry : set) records.push_back(&entry.record);
  const int64_t origin = originOf(records);
  std::vector<platform::SharedMemory> memories;
  std::vector<ReplayBoard*> boards;
  memories.reserve(set.size());
  for (const RecordInSet& entry : set) {
    const size_t count = entry.record.calls.size();
    memories.push_back(platform::SharedMemory::create(ReplayBoard::bytesFor(count)));
    ReplayBoard* shared = new (memories.back().data()) ReplayBoard();
    for (size_t i = 0; i < count; ++i) new (&shared->results()[i]) CallResult();
    shared->gated = gated;
    shared->originMicros = origin;
    boards.push_back(shared);
  }
  // On POSIX every child is forked here, from this one thread, before the
  // checker starts anything else: a fork copies only the thread that calls it.
  std::vector<std::unique_ptr<platform::ChildProcess>> children;
  for (size_t k = 0; k < set.size(); ++k) {
    const RecordInSet& entry = set[k];
    ReplayBoard& shared = *boards[k];
    std::string task = (build.empty() ? "" : build + ":") + "replay:" +
                       std::to_string(entry.record.calls.size()) + ":" + memories[k].name();
    if (entry.index) task += ":" + std::to_string(*entry.index);
    children.push_back(std::make_unique<platform::ChildProcess>(
        [&] {
          try {
            return replayInChild(entry.record, options, entry.login, shared, bindings, exported);
          } catch (const std::exception& error) {
            std::fprintf(stderr, "zorv-check: %s\n", error.what());
            return 3;
          }
        },
        childArguments(task, arguments)));
  }
  std::vector<WatchedChild> watched;
  for (size_t k = 0; k < set.size(); ++k) watched.push_back({children[k].get(), &boards[k]->board});
  bool opened = !gated;
  const auto gateLimit = std::chrono::steady_clock::now() +
                         std::chrono::duration<double>(options.timeoutSeconds);
  superviseChildren(watched, options.timeoutSeconds, [&](const std::vector<bool>& ended) {
    if (opened) return;
    // A child not ready within the limit of a call (stuck before its first
    // call) is ended as hung, so it cannot keep the others at the gate.
    const bool late = std::chrono::steady_clock::now() > gateLimit;
    bool waiting = false;
    for (size_t k = 0; k < set.size(); ++k) {
      if (ended[k] || boards[k]->ready.load()) continue;
      if (!late) {
        waiting = true;
        continue;
      }
      watched[k].child->kill();
      watched[k].timedOut = true;
    }
    if (waiting) return;
    // A little ahead, so the first call of every child is on time.
    const int64_t epoch = platform::monotonicNanoseconds() + 10'000'000;
    for (ReplayBoard* shared : boards) {
      shared->epoch = epoch;
      shared->open.store(1);
    }
    opened = true;
  });
  std::vector<ReplayRun> runs(set.size());
  for (size_t k = 0; k < set.size(); ++k) {
    const TraceRecord& record = set[k].record;
    const size_t count = record.calls.size();
    ReplayBoard& shared = *boards[k];
    ReplayRun& run = runs[k];
    run.timedOut = watched[k].timedOut;
    run.end = children[k]->end();
    run.ending = endSentence(shared.board, run.end, run.timedOut, options.timeoutSeconds);
    if (record.endsUnfinished()) {
      // A child started afresh reads the record again: by then the call may have its return line.
      Outcome& last = shared.results()[count - 1].outcome;
      if (last == Outcome::Matched || last == Outcome::Differs) last = Outcome::NowReturns;
    }
    run.results.assign(shared.results(), shared.results() + count);
    for (uint32_t w = 0; w < shared.windowCount && w < ReplayBoard::kWindows; ++w) {
      if (shared.windows[w].call < count) run.windows.push_back(shared.windows[w]);
    }
    std::stable_sort(run.windows.begin(), run.windows.end(),
                     [](const AnswerWindow& a, const AnswerWindow& b) { return a.call < b.call; });
    run.brokenPromises = brokenPromises(shared.board);
  }
  return runs;
}

const AnswerWindow* ReplayRun::windowOf(size_t i) const {
  const auto found = std::lower_bound(
      windows.begin(), windows.end(), i,
      [](const AnswerWindow& window, size_t call) { return window.call < call; });
  return found != windows.end() && found->call == i ? &*found : nullptr;
}

int runReplay(const Options& options, const std::vector<std::string>& arguments) {
  const auto started = std::chrono::steady_clock::now();
  std::vector<RecordInSet> set;
  if (!loadRecordSet(options, set)) return 2;
  std::array<std::string, kBridgeEntryCount> missing;
  std::array<bool, kBridgeEntryCount> exported{};
  std::unique_ptr<BridgeBindings> bindings = openLibrary(options, arguments, exported, missing);
  if (!bindings) return 2;
  if (set.size() > 1 || options.pace > 0) {
    return runReplaySet(options, arguments, set, *bindings, exported, started);
  }
  const TraceRecord& record = set.front().record;
  // A record made on another platform replays the same: its calls and
  // answers are the bridge's bytes, whatever wrote them down.
  if (!record.platform.empty() && record.platform != trace::kThisPlatform) {
    platform::writeText(stdout, "NOTE the record was made on " + record.platform +
                                    ", replayed on " + trace::kThisPlatform + "\n");
  }

  const size_t count = record.calls.size();
  const ReplayRun run = std::move(replaySet(set, options, *bindings, exported, "", arguments).front());
  const bool timedOut = run.timedOut;
  const platform::ChildEnd& end = run.end;
  const std::string& ending = run.ending;
  std::vector<Line> lines;
  size_t matched = 0, differed = 0, notRun = 0;
  std::string last;
  for (size_t i = 0; i < count; ++i) {
    const RecordedCall& call = record.calls[i];
    const AnswerWindow* window = run.windowOf(i);
    const CallReport report = reportCall(call, run.results[i], window, ending, options.codesOnly);
    platform::writeText(stdout, report.text);
    lines.push_back({report.verdict, bridgeEntryName(call.entry), stageOf(call), report.sentence});
    const Outcome outcome = run.results[i].outcome;
    if (!call.returned) {
      last = outcome == Outcome::NowReturns      ? "now returns"
             : outcome == Outcome::NotExported ? "is not exported"
             : outcome == Outcome::NotRun      ? "was not reached"
             : timedOut                        ? "still hangs"
             : end.crashed                     ? "still crashes"
                                               : "ends the process";
      continue;
    }
    matched += outcome == Outcome::Matched;
    notRun += outcome == Outcome::NotRun;
    differed += outcome != Outcome::Matched && outcome != Outcome::NotRun;
  }
  const std::vector<Line>& promises = run.brokenPromises;
  for (const Line& line : promises) platform::writeText(stdout, textLine(line) + "\n");
  lines.insert(lines.end(), promises.begin(), promises.end());
  const size_t broken = promises.size();

  const size_t returned = count - (record.endsUnfinished() ? 1 : 0);
  std::string summary =
      counted(returned, "call") + " replayed" + (options.codesOnly ? " (codes only)" : "") + ": " +
      std::to_string(matched) + " matched, " + std::to_string(differed) + " differed";
  if (differed) {
    DivergenceCounts counts;
    for (Divergence divergence : classify(record, run)) counts.add(divergence);
    if (counts.differed()) summary += " " + classesText(counts);
  }
  if (notRun) summary += ", " + std::to_string(notRun) + " not run";
  if (!last.empty()) summary += "; the call that never returned in the record " + last;
  if (broken) summary += "; " + counted(broken, "promise") + " broken";
  if (record.laterCalls) {
    summary += "; " + counted(record.laterCalls, "later call") + " of other threads left out";
  }
  if (!record.closed && !record.endsUnfinished()) {
    platform::writeText(stdout,
                        "NOTE the record has no closing line: the process ended without "
                        "unloading the trace library (a crash, a kill or an exit that skipped "
                        "it)\n");
  }
  platform::writeText(stdout, summary + "\n");
  std::fflush(stdout);
  if (!writeJUnitIfAsked(options.junitPath, options.library, lines, started)) return 2;
  const bool clean =
      differed == 0 && notRun == 0 && broken == 0 && (last.empty() || last == "now returns");
  return clean ? 0 : 1;
}

}  // namespace zorv::check
