#pragma once

#include <string>
#include <string_view>

#include "replay_board.h"
#include "report.h"
#include "trace_record.h"

namespace zorv::check {

// The start of the CP932 character that holds byte `at` of `bytes`, the
// bytes split as the console reads them: a lead byte before a byte that
// cannot trail it is a character of its own.
size_t characterStart(std::string_view bytes, size_t at);

// "call 4 ZORVfetch"
std::string callName(const RecordedCall& call);

// The arguments of a call as the record shows them (a masked password stays
// masked): `connection "file=x"`, `buffer ""`.
std::string argumentsOf(const RecordedCall& call);

// What one library did with `call`, in the words of a replay's "now:" line:
// "code 0, answer \"row 1\" (5 bytes)", "not exported by this library",
// `ending` for the call its child ended in. An answer that matched the record
// is the record's.
std::string resultOf(const RecordedCall& call, const CallResult& result,
                     const AnswerWindow* window, const std::string& ending, bool codesOnly);

// What the replay says of one call.
struct CallReport {
  Verdict verdict = Verdict::Pass;
  std::string text;      // the lines printed; empty for a call that matched
  std::string sentence;  // one line, for JUnit
};

// The report of `call` after the child's `result`: texts shown as a person
// reads them (a masked password stays masked), cut to a readable width;
// answers from `window` (the new one, when the child kept it) and the
// record, from a little before their first difference. `ending` says how
// the child ended, for the call it was in.
CallReport reportCall(const RecordedCall& call, const CallResult& result,
                      const AnswerWindow* window, const std::string& ending, bool codesOnly);

}  // namespace zorv::check
