#include "replay.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>

#include "board.h"
#include "checker.h"
#include "child_process.h"
#include "child_supervisor.h"
#include "exerciser.h"
#include "junit_writer.h"
#include "library_loader.h"
#include "narrow_text.h"
#include "record_format.h"
#include "replay_board.h"
#include "replay_report.h"
#include "report.h"
#include "trace_record.h"
#include "utf_codec.h"

namespace zorv::check {

namespace {

// What a record's path names when it is no regular file, in a reader's
// words; empty for a regular file or one that cannot be looked at (opening
// it then tells why). Asked before opening: opening a FIFO with no writer
// would wait for one for ever.
std::string notARegularFile(const std::filesystem::path& path) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (error || fs::is_regular_file(status)) return "";
  switch (status.type()) {
    case fs::file_type::not_found:
      return "";
    case fs::file_type::directory:
      return "a folder";
    case fs::file_type::fifo:
      return "a FIFO";
    case fs::file_type::socket:
      return "a socket";
    case fs::file_type::block:
    case fs::file_type::character:
      return "a device";
    default:
      return "no regular file";
  }
}

// Reads the record named by --replay, or says why it cannot (exit 2).
bool loadRecord(const Options& options, TraceRecord& record) {
  const std::filesystem::path path = ::zorv::platform::pathFromUtf8(*options.replay);
  if (const std::string kind = notARegularFile(path); !kind.empty()) {
    platform::writeText(stderr, "zorv-check: " + *options.replay + " is " + kind +
                                    ", not a record: give a record file\n");
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    platform::writeText(stderr, "zorv-check: cannot read the record " + *options.replay + "\n");
    return false;
  }
  try {
    record = readTraceRecord(in);
    return true;
  } catch (const RecordError& error) {
    platform::writeText(stderr, "zorv-check: " + *options.replay + ": " + error.what() + "\n");
    return false;
  }
}

// The connection text that stands in for a masked one: --login, else ZORV_LOGIN.
std::optional<std::string> loginText(const Options& options) {
  return options.login ? options.login : platform::environmentText("ZORV_LOGIN");
}

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

int replayInChild(const TraceRecord& record, const Options& options, ReplayBoard& shared,
                  BridgeBindings& bindings, const std::array<bool, kBridgeEntryCount>& exported) {
  guardChild(shared.board);
  const std::optional<std::string> login = loginText(options);
  Exerciser exerciser(shared.board, bindings);
  platform::warmPages();
  CallResult* results = shared.results();
  for (size_t i = 0; i < record.calls.size(); ++i) {
    const RecordedCall& call = record.calls[i];
    CallResult& result = results[i];
    if (!exported[static_cast<size_t>(call.entry)]) {
      result.outcome = Outcome::NotExported;
      continue;
    }
    std::string buffer = bufferFor(call);
    result.outcome = Outcome::Running;
    result.code = exerciser.replay(call.entry, textFor(call, login), buffer, stageOf(call));
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
      same = same && answer == call.answer && terminated == call.answerTerminated;
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
  // "replay:COUNT:MEMORY": the checker's count of calls holds even when the
  // record has grown since it read it.
  const std::string prefix = "replay:";
  const size_t colon = task.find(':', prefix.size());
  if (task.rfind(prefix, 0) != 0 || colon == std::string::npos) return 2;
  const size_t count = std::stoul(task.substr(prefix.size(), colon - prefix.size()));
  TraceRecord record;
  if (!loadRecord(options, record) || record.calls.size() < count) return 2;
  record.calls.resize(count);
  platform::SharedMemory memory =
      platform::SharedMemory::open(task.substr(colon + 1), ReplayBoard::bytesFor(count));
  return replayInChild(record, options, *static_cast<ReplayBoard*>(memory.data()), bindings,
                       exported);
}

bool loadUsableRecord(const Options& options, TraceRecord& record) {
  if (!loadRecord(options, record)) return false;
  // With no call to run, "0 differed" would pass a run that ran nothing.
  if (record.calls.empty()) {
    platform::writeText(stderr, "zorv-check: " + *options.replay +
                                    ": the record holds no calls: nothing to replay\n");
    return false;
  }
  const std::optional<std::string> login = loginText(options);
  for (const RecordedCall& call : record.calls) {
    if (call.masked && !login) {
      platform::writeText(stderr, "zorv-check: the connection text of " + callName(call) +
                                      " (line " + std::to_string(call.line) +
                                      ") had its password masked: give the connection text "
                                      "with --login TEXT or ZORV_LOGIN\n");
      return false;
    }
  }
  return true;
}

ReplayRun replayOnce(const TraceRecord& record, const Options& options, BridgeBindings& bindings,
                     const std::array<bool, kBridgeEntryCount>& exported, const std::string& build,
                     const std::vector<std::string>& arguments) {
  const size_t count = record.calls.size();
  platform::SharedMemory memory = platform::SharedMemory::create(ReplayBoard::bytesFor(count));
  auto& shared = *new (memory.data()) ReplayBoard();
  for (size_t i = 0; i < count; ++i) new (&shared.results()[i]) CallResult();
  ReplayRun run;
  {
    platform::ChildProcess child(
        [&] {
          try {
            return replayInChild(record, options, shared, bindings, exported);
          } catch (const std::exception& error) {
            std::fprintf(stderr, "zorv-check: %s\n", error.what());
            return 3;
          }
        },
        childArguments((build.empty() ? "" : build + ":") + "replay:" + std::to_string(count) +
                           ":" + memory.name(),
                       arguments));
    run.timedOut = superviseChild(child, shared.board, options.timeoutSeconds);
    run.end = child.end();
  }
  run.ending = endSentence(shared.board, run.end, run.timedOut, options.timeoutSeconds);
  if (record.endsUnfinished()) {
    // A child started afresh reads the record again: by then the call may have its return line.
    Outcome& last = shared.results()[count - 1].outcome;
    if (last == Outcome::Matched || last == Outcome::Differs) last = Outcome::NowReturns;
  }
  run.results.assign(shared.results(), shared.results() + count);
  run.windows.resize(count);
  for (uint32_t w = 0; w < shared.windowCount && w < ReplayBoard::kWindows; ++w) {
    if (shared.windows[w].call < count) run.windows[shared.windows[w].call] = shared.windows[w];
  }
  run.brokenPromises = brokenPromises(shared.board);
  return run;
}

int runReplay(const Options& options, const std::vector<std::string>& arguments) {
  const auto started = std::chrono::steady_clock::now();
  TraceRecord record;
  if (!loadUsableRecord(options, record)) return 2;
  std::array<std::string, kBridgeEntryCount> missing;
  std::array<bool, kBridgeEntryCount> exported{};
  std::unique_ptr<BridgeBindings> bindings = openLibrary(options, arguments, exported, missing);
  if (!bindings) return 2;
  // A record made on another platform replays the same: its calls and
  // answers are the bridge's bytes, whatever wrote them down.
  if (!record.platform.empty() && record.platform != trace::kThisPlatform) {
    platform::writeText(stdout, "NOTE the record was made on " + record.platform +
                                    ", replayed on " + trace::kThisPlatform + "\n");
  }

  const size_t count = record.calls.size();
  const ReplayRun run = replayOnce(record, options, *bindings, exported, "", arguments);
  const bool timedOut = run.timedOut;
  const platform::ChildEnd& end = run.end;
  const std::string& ending = run.ending;
  std::vector<Line> lines;
  size_t matched = 0, differed = 0, notRun = 0;
  std::string last;
  for (size_t i = 0; i < count; ++i) {
    const RecordedCall& call = record.calls[i];
    const AnswerWindow* window = run.windows[i] ? &*run.windows[i] : nullptr;
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
