#pragma once

#include "comparison.h"
#include "replay.h"
#include "trace_record.h"

namespace zorv::check {

// Fills `difference`'s answers from the two warm-up runs of call `i`: each
// build's answer as far as its run kept it (the record's bytes when it
// matched the record, else the record's up to its window and the window's
// bytes), both from one character's start a little before their first
// differing byte, so they read side by side. Answers are left unkept with
// `codesOnly` or for a function that writes none.
void alignAnswers(const RecordedCall& call, size_t i, const ReplayRun& oldRun,
                  const ReplayRun& newRun, bool codesOnly, Comparison::Difference& difference);

}  // namespace zorv::check
