#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "bridge_binding.h"
#include "convention.h"
#include "zorv.h"

namespace zorv::check {

// The promises the checker judges, one report line per function and check.
enum class Check : uint8_t {
  Exported,       // the name is there, spelled exactly
  Returns,        // every call returns in time, without a crash
  TextReadOnly,   // text arguments are only read
  InsideBuffer,   // nothing is written past the first 8192 bytes of the buffer
  NulWithin,      // an answer starts at the first byte and has its NUL within 8192 bytes
  NoKeptAddress,  // no argument is touched after its call has returned
  Cp932,          // an answer is whole CP932 characters (a warning only)
  Convention,     // each call takes off the stack what stdcall or cdecl would (32-bit x86)
};
inline constexpr size_t kCheckCount = 8;
inline constexpr size_t kAnswerBytes = ZORV_ANSWER_CAPACITY;

// Report order: the console's buttons, then the function nothing calls.
inline constexpr BridgeEntry kReportOrder[] = {
    BridgeEntry::Login,  BridgeEntry::Cursor, BridgeEntry::FNames, BridgeEntry::Fetch,
    BridgeEntry::MsgGet, BridgeEntry::Exec,   BridgeEntry::Close,  BridgeEntry::Status};

inline bool takesText(BridgeEntry e) {
  return e == BridgeEntry::Login || e == BridgeEntry::Cursor || e == BridgeEntry::Exec;
}
inline bool writesAnswer(BridgeEntry e) {
  return e == BridgeEntry::Fetch || e == BridgeEntry::MsgGet || e == BridgeEntry::Exec ||
         e == BridgeEntry::FNames;
}

// What a child found for one function and one check. Plain data: it lives in
// memory shared with the checker, which reads it after the child has ended.
struct Tally {
  uint32_t judged = 0;  // calls that were judged and kept the promise
  uint32_t failed = 0;
  uint32_t warned = 0;
  uint32_t longest = 0;    // the longest answer seen, in bytes
  char failure[384] = {};  // the first failure, a short sentence
  char warning[384] = {};  // the first warning
};

using Tallies = std::array<std::array<Tally, kCheckCount>, kBridgeEntryCount>;

// One argument laid in guarded pages: [start, end) holds its bytes and its
// closing NUL; the page at `end` is never accessible; the pages go back to no
// access when the call returns.
struct Region {
  uintptr_t start = 0;
  uintptr_t end = 0;
  uintptr_t guardEnd = 0;
  uintptr_t pagesStart = 0;  // the slot's first page
  size_t pages = 0;          // the slot's pages, the inaccessible one included
  uint8_t entry = 0;         // BridgeEntry of the call that handed it out
  bool buffer = false;
  bool revoked = false;
  char what[160] = {};  // e.g. "the buffer of ZORVfetch's 2nd call in a row"
};

// An access to an argument's pages that they refused: the argument as it was
// then, and the call that made the access.
struct Fault {
  uintptr_t address = 0;
  Region region;
  uint8_t entry = 0;
  char call[200] = {};
};

// Everything a child tells the checker, in memory both of them map: which
// call runs now (for time limits and crashes), the arguments laid out (to
// explain a fault's address) and the tallies.
struct Board {
  static constexpr size_t kRegions = 8;

  std::atomic<uint32_t> calls{0};          // library calls started
  std::atomic<uint32_t> inCall{0};         // 1 while a library call runs
  uint8_t entry = 0;                       // BridgeEntry of the latest call
  char call[200] = {};                     // what the latest call is, for a report line
  uint64_t callNanoseconds = 0;            // how long the latest call took, the call alone
  std::atomic<uintptr_t> faultAddress{0};  // a fault outside every argument, the last one
  std::atomic<uint32_t> faulted{0};
  std::array<Region, kRegions> regions;
  static constexpr size_t kFaults = 8;
  std::atomic<uint32_t> faultCount{0};  // may exceed kFaults; the first ones are kept
  std::array<Fault, kFaults> faults;
  std::array<std::array<Tally, kCheckCount>, kBridgeEntryCount> tallies;
  std::array<CleanupCounts, kBridgeEntryCount> cleanups;  // calls that fitted a convention

  Tally& tally(BridgeEntry e, Check c) {
    return tallies[static_cast<size_t>(e)][static_cast<size_t>(c)];
  }
};

// Copies `text` into a fixed field, cut to fit, always NUL-ended.
template <size_t N>
void setText(char (&field)[N], const std::string& text) {
  const size_t n = text.size() < N - 1 ? text.size() : N - 1;
  text.copy(field, n);
  field[n] = '\0';
}

void fail(Tally& tally, const std::string& sentence);
void warn(Tally& tally, const std::string& sentence);

}  // namespace zorv::check
