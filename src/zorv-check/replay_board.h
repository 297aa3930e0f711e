#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "board.h"

namespace zorv::check {

// What became of one recorded call in the child.
enum class Outcome : uint8_t {
  NotRun,       // the replay ended before it
  Running,      // it started and never returned: the child crashed, hung or ended in it
  Matched,      // the record's code (and answer) again
  Differs,      // another code or answer than the record's
  NotExported,  // the library lacks its function
  NowReturns,   // it never returned in the record, and now it does
};

struct CallResult {
  int32_t code = 0;
  Outcome outcome = Outcome::NotRun;
  uint64_t nanoseconds = 0;  // the call alone, as the child timed it
  uint64_t digest = 0;       // of the answer and whether it had its NUL, for answer calls
  int64_t lateNanoseconds = 0;   // a paced call's start after its scheduled start
  int64_t startNanoseconds = 0;  // in a gated child, when it started after the set's epoch
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
  // The start gate of a set of records, written by the checker: with `gated`
  // the child says `ready` once it can run, then waits for `open`, after
  // which `epoch` (on the shared monotonic clock) is the set's start and
  // `originMicros` (the earliest `started` of the set) the recorded instant
  // it stands for.
  uint8_t gated = 0;
  std::atomic<uint32_t> ready{0};
  std::atomic<uint32_t> open{0};
  int64_t epoch = 0;
  int64_t originMicros = 0;
  uint32_t windowCount = 0;  // may exceed kWindows; the first ones are kept
  std::array<AnswerWindow, kWindows> windows;

  static size_t bytesFor(size_t calls) { return sizeof(ReplayBoard) + calls * sizeof(CallResult); }
  CallResult* results() {
    return reinterpret_cast<CallResult*>(reinterpret_cast<char*>(this) + sizeof(ReplayBoard));
  }
};
static_assert(sizeof(ReplayBoard) % alignof(CallResult) == 0);

}  // namespace zorv::check
