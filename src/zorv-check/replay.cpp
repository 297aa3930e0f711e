#include "replay.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <new>

#include "board.h"
#include "checker.h"
#include "child_process.h"
#include "cp932_table.h"
#include "exerciser.h"
#include "narrow_text.h"
#include "report.h"
#include "trace_record.h"
#include "utf8.h"

namespace zorv::check {

namespace {

// What became of one recorded call in the child.
enum class Outcome : uint8_t { NotRun, Running, Matched, Differs, NotExported, Returned };

struct CallResult {
  int32_t code = 0;
  Outcome outcome = Outcome::NotRun;
};

// The new answer of a call that differs (or of the unfinished call), from
// the character before its first difference with the recorded one.
struct AnswerWindow {
  static constexpr size_t kBytes = 512;
  uint32_t call = 0;    // index in the record's calls
  uint32_t from = 0;    // the window's first byte in the answer
  uint32_t length = 0;  // the whole answer's bytes
  uint8_t terminated = 1;
  char bytes[kBytes] = {};
};

// What the replay child shares with the checker: the guard's board, the
// windows of the first differing answers, then one CallResult per call.
struct ReplayBoard {
  static constexpr size_t kWindows = 100;
  Board board;
  uint32_t windowCount = 0;  // may exceed kWindows; the first ones are kept
  std::array<AnswerWindow, kWindows> windows;

  static size_t bytesFor(size_t calls) { return sizeof(ReplayBoard) + calls * sizeof(CallResult); }
  CallResult* results() {
    return reinterpret_cast<CallResult*>(reinterpret_cast<char*>(this) + sizeof(ReplayBoard));
  }
};
static_assert(sizeof(ReplayBoard) % alignof(CallResult) == 0);

// Reads the record named by --replay, or says why it cannot (exit 2).
bool loadRecord(const Options& options, TraceRecord& record) {
  std::ifstream in(::zorv::platform::pathFromUtf8(*options.replay), std::ios::binary);
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

// The start of the character that holds byte `at`, or of an earlier one.
size_t characterStart(std::string_view bytes, size_t at) {
  const Cp932Table& table = Cp932Table::instance();
  size_t start = 0;
  for (size_t i = 0; i < bytes.size() && i <= at;) {
    start = i;
    i += table.isLead(static_cast<uint8_t>(bytes[i])) && i + 1 < bytes.size() ? 2 : 1;
  }
  return start;
}

// CP932 bytes as a person reads them in a report: quoted, control characters
// escaped (\t, \r, \n, \x01), at most `width` characters, "..." where cut.
std::string shownText(std::string_view bytes, size_t width = 60) {
  const std::u16string wide = wideText(bytes);
  std::u16string cut;
  size_t characters = 0;
  bool more = false;
  for (size_t i = 0; i < wide.size(); ++i) {
    if (characters == width) {
      more = true;
      break;
    }
    const char16_t unit = wide[i];
    if (unit == u'\t' || unit == u'\r' || unit == u'\n' || unit == u'"' || unit == u'\\') {
      cut += u'\\';
      cut += unit == u'\t' ? u't' : unit == u'\r' ? u'r' : unit == u'\n' ? u'n' : unit;
    } else if (unit < 0x20 || unit == 0x7F) {
      static const char16_t* digits = u"0123456789abcdef";
      cut += u"\\x";
      cut += digits[unit >> 4];
      cut += digits[unit & 15];
    } else {
      cut += unit;
      // A surrogate pair is one character.
      if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < wide.size()) cut += wide[++i];
    }
    ++characters;
  }
  return "\"" + utf8FromUtf16(cut) + (more ? "...\"" : "\"");
}

std::string counted(size_t n, const std::string& noun) {
  return std::to_string(n) + " " + noun + (n == 1 ? "" : "s");
}

std::string callName(const RecordedCall& call) {
  return "call " + std::to_string(call.seq) + " " + bridgeEntryName(call.entry);
}

std::string stageOf(const RecordedCall& call) { return "call " + std::to_string(call.seq); }

int replayInChild(const TraceRecord& record, const Options& options, ReplayBoard& shared,
                  BridgeBindings& bindings, const std::array<bool, kBridgeEntryCount>& exported) {
  guardChild(shared.board);
  const std::optional<std::string> login = loginText(options);
  Exerciser exerciser(shared.board, bindings);
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
    const std::string_view first = std::string_view(buffer).substr(0, kAnswerBytes);
    const size_t nul = first.find('\0');
    const std::string_view answer = first.substr(0, nul);
    const bool terminated = nul != std::string_view::npos;
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
    result.outcome = !call.returned ? Outcome::Returned
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

// The arguments of a call as the record shows them (a masked password stays masked).
std::string argumentsOf(const RecordedCall& call) {
  std::string out;
  if (call.entry == BridgeEntry::Login) out = "connection " + shownText(call.text);
  if (call.entry == BridgeEntry::Cursor || call.entry == BridgeEntry::Exec) {
    out = "statement " + shownText(call.text);
  }
  if (writesAnswer(call.entry))
    out += (out.empty() ? "" : ", ") + std::string("buffer ") + shownText(call.bufferIn);
  return out.empty() ? "no arguments" : out;
}

// An answer of `length` bytes, shown from byte `from`; `shown` holds its bytes from there.
std::string answerOf(std::string_view shown, size_t from, size_t length, bool terminated) {
  std::string out = "answer " + std::string(from > 0 ? "..." : "") + shownText(shown) + " (" +
                    std::to_string(length) + " bytes";
  if (from > 0) out += ", shown from byte " + std::to_string(from);
  return out + (terminated ? ")" : ", no NUL)");
}

// The report of one replayed call; `window` is its new answer when it has one.
struct CallReport {
  Verdict verdict = Verdict::Pass;
  std::string text;      // the lines printed; empty for a call that matched
  std::string sentence;  // one line, for JUnit
};

CallReport reportCall(const RecordedCall& call, const CallResult& result,
                      const AnswerWindow* window, const std::string& ending, bool codesOnly) {
  CallReport report;
  const std::string head = callName(call) + " (line " + std::to_string(call.line) + ")";
  std::string now;
  if (result.outcome == Outcome::NotExported) {
    now = "not exported by this library";
  } else if (result.outcome == Outcome::Running) {
    now = ending;
  } else {
    now = "code " + std::to_string(result.code);
    if (window && !(codesOnly && call.returned)) {
      const size_t kept = std::min<size_t>(AnswerWindow::kBytes, window->length - window->from);
      now += ", " + answerOf(std::string_view(window->bytes, kept), window->from, window->length,
                             window->terminated);
    } else if (writesAnswer(call.entry) && !codesOnly) {
      now += ", answer not kept (over " + std::to_string(ReplayBoard::kWindows) +
             " calls differed before)";
    }
  }
  if (!call.returned) {
    const bool returns = result.outcome == Outcome::Returned;
    report.verdict = returns ? Verdict::Pass : Verdict::Fail;
    if (returns) now = "returns " + now;
    report.sentence = "never returned in the record; now " + now;
    report.text = (returns ? "NOW  " : "FAIL ") + head +
                  ", which never returned in the record: " + argumentsOf(call) +
                  "\n  now:      " + now + "\n";
    return report;
  }
  if (result.outcome == Outcome::Matched) {
    report.sentence = "matched";
    return report;
  }
  if (result.outcome == Outcome::NotRun) {
    report.verdict = Verdict::Warn;
    report.sentence = "not run: the replay ended before it";
    return report;
  }
  std::string recorded = "code " + std::to_string(call.code);
  if (writesAnswer(call.entry) && !codesOnly) {
    const size_t from = window ? window->from : 0;
    recorded += ", " + answerOf(std::string_view(call.answer).substr(from), from,
                                call.answer.size(), call.answerTerminated);
  }
  report.verdict = Verdict::Fail;
  report.sentence = "recorded " + recorded + "; now " + now;
  report.text = "DIFF " + head + ": " + argumentsOf(call) + "\n  recorded: " + recorded +
                "\n  now:      " + now + "\n";
  return report;
}

}  // namespace

int runReplayChild(const Options& options, const std::string& task, BridgeBindings& bindings,
                   const std::array<bool, kBridgeEntryCount>& exported) {
  const std::string prefix = "replay:";
  if (task.rfind(prefix, 0) != 0) return 2;
  TraceRecord record;
  if (!loadRecord(options, record)) return 2;
  platform::SharedMemory memory = platform::SharedMemory::open(
      task.substr(prefix.size()), ReplayBoard::bytesFor(record.calls.size()));
  return replayInChild(record, options, *static_cast<ReplayBoard*>(memory.data()), bindings,
                       exported);
}

int runReplay(const Options& options, const std::vector<std::string>& arguments) {
  const auto started = std::chrono::steady_clock::now();
  TraceRecord record;
  if (!loadRecord(options, record)) return 2;
  const std::optional<std::string> login = loginText(options);
  for (const RecordedCall& call : record.calls) {
    if (call.masked && !login) {
      platform::writeText(stderr, "zorv-check: the connection text of " + callName(call) +
                                      " (line " + std::to_string(call.line) +
                                      ") had its password masked: give the connection text "
                                      "with --login TEXT or ZORV_LOGIN\n");
      return 2;
    }
  }
  std::array<std::string, kBridgeEntryCount> missing;
  std::array<bool, kBridgeEntryCount> exported{};
  std::unique_ptr<BridgeBindings> bindings = openLibrary(options, arguments, exported, missing);
  if (!bindings) return 2;

  const size_t count = record.calls.size();
  platform::SharedMemory memory = platform::SharedMemory::create(ReplayBoard::bytesFor(count));
  auto& shared = *new (memory.data()) ReplayBoard();
  for (size_t i = 0; i < count; ++i) new (&shared.results()[i]) CallResult();
  bool timedOut = false;
  platform::ChildEnd end;
  {
    platform::ChildProcess child(
        [&] {
          try {
            return replayInChild(record, options, shared, *bindings, exported);
          } catch (const std::exception& error) {
            std::fprintf(stderr, "zorv-check: %s\n", error.what());
            return 3;
          }
        },
        childArguments("replay:" + memory.name(), arguments));
    timedOut = superviseChild(child, shared.board, options.timeoutSeconds);
    end = child.end();
  }
  const std::string ending = endSentence(shared.board, end, timedOut, options.timeoutSeconds);

  std::vector<const AnswerWindow*> windows(count, nullptr);
  for (uint32_t w = 0; w < shared.windowCount && w < ReplayBoard::kWindows; ++w) {
    if (shared.windows[w].call < count) windows[shared.windows[w].call] = &shared.windows[w];
  }
  std::vector<Line> lines;
  size_t matched = 0, differed = 0, notRun = 0;
  std::string last;
  for (size_t i = 0; i < count; ++i) {
    const RecordedCall& call = record.calls[i];
    const CallReport report =
        reportCall(call, shared.results()[i], windows[i], ending, options.codesOnly);
    platform::writeText(stdout, report.text);
    lines.push_back({report.verdict, bridgeEntryName(call.entry), stageOf(call), report.sentence});
    if (!call.returned) {
      switch (shared.results()[i].outcome) {
        case Outcome::Returned:
          last = "now returns";
          break;
        case Outcome::Running:
          last = timedOut ? "still hangs" : end.crashed ? "still crashes" : "ends the process";
          break;
        case Outcome::NotExported:
          last = "is not exported";
          break;
        default:
          last = "was not reached";
      }
      continue;
    }
    const Outcome outcome = shared.results()[i].outcome;
    matched += outcome == Outcome::Matched;
    notRun += outcome == Outcome::NotRun;
    differed += outcome != Outcome::Matched && outcome != Outcome::NotRun;
  }
  // The promises the guard saw broken, as zorv-check's own checks word them.
  Tallies tallies = shared.board.tallies;
  const uint32_t faults = shared.board.faultCount;
  for (uint32_t f = 0; f < faults && f < Board::kFaults; ++f) {
    explainFault(tallies, shared.board.faults[f]);
  }
  size_t broken = 0;
  for (size_t e = 0; e < kBridgeEntryCount; ++e) {
    for (const auto& [check, name] : {std::pair{Check::TextReadOnly, "text-read-only"},
                                      {Check::InsideBuffer, "inside-buffer"},
                                      {Check::NulWithin, "nul-within-8192"},
                                      {Check::NoKeptAddress, "no-kept-address"},
                                      {Check::Returns, "returns"},
                                      {Check::Convention, "convention"}}) {
      const Tally& tally = tallies[e][static_cast<size_t>(check)];
      if (tally.failed == 0) continue;
      std::string sentence = tally.failure;
      if (tally.failed > 1) sentence += " (and " + std::to_string(tally.failed - 1) + " more)";
      const Line line{Verdict::Fail, bridgeEntryName(static_cast<BridgeEntry>(e)), name, sentence};
      platform::writeText(stdout, textLine(line) + "\n");
      lines.push_back(line);
      ++broken;
    }
  }

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
  platform::writeText(stdout, summary + "\n");
  std::fflush(stdout);
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (!options.junitPath.empty() &&
      !writeJUnit(options.junitPath, options.library, lines, elapsed)) {
    platform::writeText(stderr, "zorv-check: cannot write " + options.junitPath + "\n");
    return 2;
  }
  const bool clean =
      differed == 0 && notRun == 0 && broken == 0 && (last.empty() || last == "now returns");
  return clean ? 0 : 1;
}

}  // namespace zorv::check
