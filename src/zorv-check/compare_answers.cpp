#include "compare_answers.h"

#include <algorithm>
#include <optional>

#include "replay_report.h"

namespace zorv::check {

namespace {

// Bytes shown before the first difference, so a reader sees where it sits.
constexpr size_t kLeadBytes = 16;

// The answer's bytes from its start as far as the run kept them; none when
// it gave no answer or the run kept none. A window's run agreed with the
// record up to the window's start, so the record supplies those bytes.
std::optional<std::string> knownBytes(const RecordedCall& call, const CallResult& result,
                                      const AnswerWindow* window, Comparison::Answer& answer) {
  if (result.outcome == Outcome::Matched) {
    answer.length = call.answer.size();
    answer.terminated = call.answerTerminated;
    return call.answer;
  }
  if (!window || window->from > call.answer.size() || window->from > window->length) {
    return std::nullopt;
  }
  answer.length = window->length;
  answer.terminated = window->terminated != 0;
  const size_t kept = std::min<size_t>(AnswerWindow::kBytes, window->length - window->from);
  return call.answer.substr(0, window->from) + std::string(window->bytes, kept);
}

}  // namespace

void alignAnswers(const RecordedCall& call, const WarmUpResult& oldResult,
                  const WarmUpResult& newResult, bool codesOnly,
                  Comparison::Difference& difference) {
  difference.aligned = true;
  std::optional<std::string> known[2];
  Comparison::Answer* answers[2] = {&difference.oldAnswer, &difference.newAnswer};
  const WarmUpResult* runs[2] = {&oldResult, &newResult};
  for (int side = 0; side < 2; ++side) {
    const CallResult& result = runs[side]->result;
    Comparison::Answer& answer = *answers[side];
    answer.outcome = result.outcome;
    answer.code = result.code;
    if (result.outcome == Outcome::Running) answer.ending = runs[side]->ending;
    const bool returned = result.outcome == Outcome::Matched ||
                          result.outcome == Outcome::Differs ||
                          result.outcome == Outcome::NowReturns;
    if (!returned || codesOnly || !writesAnswer(call.entry)) continue;
    known[side] = knownBytes(call, result, runs[side]->window, answer);
  }

  size_t from = 0;
  if (known[0] && known[1]) {
    const std::string& a = *known[0];
    const std::string& b = *known[1];
    const size_t common = std::min(a.size(), b.size());
    const size_t at = static_cast<size_t>(
        std::mismatch(a.begin(), a.begin() + static_cast<ptrdiff_t>(common), b.begin()).first -
        a.begin());
    // Past the shorter one, the answers differ only if both are whole and their lengths do.
    const bool whole = a.size() == answers[0]->length && b.size() == answers[1]->length;
    if (at < common || (whole && a.size() != b.size())) {
      difference.firstDifference = at;
      // Characters start alike in both before the differing byte's neighbour.
      from = characterStart(a.size() > at ? a : b, at > kLeadBytes ? at - kLeadBytes : 0);
    }
  } else {
    // One answer alone: from where its own run first left the record.
    for (int side = 0; side < 2; ++side) {
      const AnswerWindow* window = runs[side]->window;
      if (known[side] && window && runs[side]->result.outcome != Outcome::Matched) {
        from = window->from;
      }
    }
  }
  difference.from = from;
  for (int side = 0; side < 2; ++side) {
    if (!known[side]) continue;
    answers[side]->kept = true;
    if (from < known[side]->size()) {
      answers[side]->bytes = known[side]->substr(from, AnswerWindow::kBytes);
    }
  }
}

}  // namespace zorv::check
