#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "bridge_binding.h"

namespace zorv::check {

// A record that cannot be replayed: `line` is its 1-based line number.
class RecordError : public std::runtime_error {
 public:
  RecordError(size_t line, const std::string& reason)
      : std::runtime_error("line " + std::to_string(line) + ": " + reason), line_(line) {}
  size_t line() const { return line_; }

 private:
  size_t line_;
};

// One call of a zorv-trace record (version 1), its texts as the exact CP932
// bytes the bridge saw and wrote.
struct RecordedCall {
  uint64_t seq = 0;
  BridgeEntry entry = BridgeEntry::Login;
  size_t line = 0;        // the call line's number
  std::string text;       // connection or statement (Login, Cursor, Exec)
  bool masked = false;    // a password in `text` was masked
  std::string bufferIn;   // the buffer before the call, up to its first NUL
  bool returned = false;  // a return line follows
  int32_t code = 0;
  std::string answer;            // up to the first NUL, or all 8192 bytes
  bool answerTerminated = true;  // false: the bridge left no NUL in 8192 bytes
  std::optional<int64_t> time;   // when the call entered, microseconds since the Unix epoch
  uint64_t thread = 0;           // the calling thread, as the recording system numbered it
  std::optional<int64_t> micros;  // how long the recorded call took
};

struct TraceRecord {
  std::string library;   // the bridge the calls went to, UTF-8
  std::string platform;  // "linux-x64", "windows-x86" ...
  std::optional<int64_t> started;  // when the trace began, microseconds since the Unix epoch
  // In `seq` order: the calls up to and including the first one without a
  // return line; any after it went on in other threads and are not kept.
  std::vector<RecordedCall> calls;
  size_t laterCalls = 0;  // calls left out after one that never returned
  bool closed = false;    // the closing line is there: the trace library was unloaded

  bool endsUnfinished() const { return !calls.empty() && !calls.back().returned; }
};

// The longest line a record may hold, its newline not counted: far more
// than a call's line with the longest statement a program sends, and the
// most memory one line of a damaged record may take.
inline constexpr size_t kLongestRecordLine = 16 * 1024 * 1024;

// Reads a record: the header, then the call and return lines in any order
// that puts each return after its call, the call lines numbered 1, 2, 3 ...
// Throws RecordError naming the line of the first thing that is not version
// 1 of the format, and the line of a "cut" mark with its reason (the trace
// lost lines there); a line longer than `longestLine` is refused once that
// many bytes of it are read, the rest of it left unread.
TraceRecord readTraceRecord(std::istream& in, size_t longestLine = kLongestRecordLine);

// A record's UTC time "2026-12-08T12:00:01.000042Z" (fewer fraction digits,
// or none, too) as microseconds since the Unix epoch; nothing when it is not one.
std::optional<int64_t> recordTimeMicros(std::string_view text);

}  // namespace zorv::check
