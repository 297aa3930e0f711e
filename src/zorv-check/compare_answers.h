#pragma once

#include "comparison.h"
#include "replay.h"
#include "trace_record.h"

namespace zorv::check {

// One build's warm-up result of a call: the result, the answer window its
// run kept (none when it matched the record or kept none), and how the run
// ended.
struct WarmUpResult {
  const CallResult& result;
  const AnswerWindow* window;
  const std::string& ending;
};

// Fills `difference`'s answers from the two warm-up results of `call`: each
// build's answer as far as its run kept it (the record's bytes when it
// matched the record, else the record's up to its window and the window's
// bytes), both from one character's start a little before their first
// differing byte, so they read side by side. Answers are left unkept with
// `codesOnly` or for a function that writes none.
void alignAnswers(const RecordedCall& call, const WarmUpResult& oldResult,
                  const WarmUpResult& newResult, bool codesOnly,
                  Comparison::Difference& difference);

}  // namespace zorv::check
