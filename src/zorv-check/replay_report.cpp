#include "replay_report.h"

#include <algorithm>

#include "cp932_table.h"
#include "narrow_text.h"
#include "utf_codec.h"

namespace zorv::check {

size_t characterStart(std::string_view bytes, size_t at) {
  const Cp932Table& table = Cp932Table::instance();
  size_t start = 0;
  for (size_t i = 0; i < bytes.size() && i <= at;) {
    start = i;
    i += table.characterAt(bytes, i).length;
  }
  return start;
}

namespace {

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

// An answer of `length` bytes, shown from byte `from`; `shown` holds its bytes from there.
std::string answerOf(std::string_view shown, size_t from, size_t length, bool terminated) {
  std::string out = "answer " + std::string(from > 0 ? "..." : "") + shownText(shown) + " (" +
                    std::to_string(length) + " bytes";
  if (from > 0) out += ", shown from byte " + std::to_string(from);
  return out + (terminated ? ")" : ", no NUL)");
}

}  // namespace

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

namespace {

std::string nowText(const RecordedCall& call, const CallResult& result,
                    const AnswerWindow* window, const std::string& ending, bool codesOnly) {
  if (result.outcome == Outcome::NotExported) return "not exported by this library";
  if (result.outcome == Outcome::Running) return ending;
  std::string now = "code " + std::to_string(result.code);
  if (window && !(codesOnly && call.returned)) {
    const size_t kept = std::min<size_t>(AnswerWindow::kBytes, window->length - window->from);
    now += ", " + answerOf(std::string_view(window->bytes, kept), window->from, window->length,
                           window->terminated);
  } else if (writesAnswer(call.entry) && !codesOnly) {
    now += ", answer not kept (over " + std::to_string(ReplayBoard::kWindows) +
           " calls differed before)";
  }
  return now;
}

}  // namespace

std::string resultOf(const RecordedCall& call, const CallResult& result,
                     const AnswerWindow* window, const std::string& ending, bool codesOnly) {
  if (result.outcome == Outcome::NotRun) return "not run: the replay ended before it";
  if (result.outcome == Outcome::Matched && writesAnswer(call.entry) && !codesOnly) {
    return "code " + std::to_string(result.code) + ", " +
           answerOf(call.answer, 0, call.answer.size(), call.answerTerminated);
  }
  return nowText(call, result, window, ending, codesOnly);
}

std::string callName(const RecordedCall& call) {
  return "call " + std::to_string(call.seq) + " " + bridgeEntryName(call.entry);
}

CallReport reportCall(const RecordedCall& call, const CallResult& result,
                      const AnswerWindow* window, const std::string& ending, bool codesOnly) {
  CallReport report;
  const std::string head = callName(call) + " (line " + std::to_string(call.line) + ")";
  std::string now = nowText(call, result, window, ending, codesOnly);
  if (!call.returned) {
    const bool returns = result.outcome == Outcome::NowReturns;
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

}  // namespace zorv::check
