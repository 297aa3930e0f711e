#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "replay.h"
#include "trace_record.h"

namespace zorv::check {

// How a replayed call that returned in the record went, one class a call.
enum class Divergence {
  None,     // matched
  Code,     // another result code (or the function is not exported)
  Answer,   // the same code, another answer of ZORVfetch, ZORVexec, ZORVfnames or ZORVstatus
  Message,  // the same code, another ZORVmsgget answer (numbers aside)
  Rows,     // a ZORVfetch after a ZORVcursor gave a row where the record had the end, or
            // the end where it had a row: the cursor's count of rows differs
  Crash,    // the child crashed or ended in this call
  Hang,     // this call ran past the time limit
  NotRun,   // the replay ended before it
};
inline constexpr size_t kDivergenceClasses = 6;  // Code .. Hang

// Two messages alike but for their numbers (process and transaction ids,
// times): each run of ASCII digits counts as one. Safe on CP932, which never
// uses an ASCII digit as a trail byte.
bool sameButNumbers(std::string_view a, std::string_view b);

// The class of each of `record`'s calls after `run` (None for the unfinished
// call a record may end in: its outcome is judged on its own).
std::vector<Divergence> classify(const TraceRecord& record, const ReplayRun& run);

// A record's calls, or a set's, counted by class.
struct DivergenceCounts {
  size_t replayed = 0;  // calls that returned in the record
  size_t matched = 0;
  size_t notRun = 0;
  std::array<size_t, kDivergenceClasses> classes{};  // Code, Answer, Message, Rows, Crash, Hang

  size_t differed() const;
  void add(Divergence divergence);
  DivergenceCounts& operator+=(const DivergenceCounts& other);
};

// "(C code, A answer, G message, R rows, X crash, H hang)"
std::string classesText(const DivergenceCounts& counts);
// "M matched, D differed (C code, A answer, G message, R rows, X crash, H hang)"
std::string countsText(const DivergenceCounts& counts);

}  // namespace zorv::check
