#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "bridge_binding.h"
#include "setup_problem.h"
#include "trace_platform.h"
#include "trace_text.h"
#include "zorv.h"

namespace zorv::trace {

// What every call answers while the trace library cannot forward (the
// settings are missing or wrong, the library named cannot be used, the
// record cannot be written): ZORV_CONNECT_FAILED, since no database can be
// reached through it. ZORVmsgget also writes what to fix.
inline constexpr ResultCode kCannotForward = ZORV_CONNECT_FAILED;

// The addresses of the trace library's own eight entries, in BridgeEntry
// order, so a library that resolves to them is known to be this one.
using OwnEntries = std::array<const void*, kBridgeEntryCount>;

// Stands between a program and its real bridge library: forwards each call
// unchanged, with the same argument addresses, and writes the record's line
// before the call and the line after it, each whole and written through to
// the system. When a line cannot be written (the disk is full, the device
// gone) the record is cut back to its last whole line and ends with a "cut"
// line giving the reason, for which room is kept aside; calls go on being
// forwarded, unrecorded. finish() ends the record with its closing line.
// Calls from several threads are taken one at a time, so the record's lines
// follow the order in which the bridge ran them. Set up at the first call: the
// settings are read, the library loaded and its eight entries bound, the
// record opened; when any of that fails, every later call answers
// kCannotForward and nothing is written.
class Tracer {
 public:
  Tracer(OwnEntries own, std::chrono::system_clock::time_point loaded);

  // Ends the record with its closing line, when the trace library is
  // unloaded; later calls are still forwarded, unrecorded. Never waits: while
  // another thread is inside a call, the record is left as it is.
  void finish() noexcept;

  // Runs `forward(bindings)` as the call of `entry` whose text argument is
  // `text` and answer buffer `buffer` (either may be absent) and returns its
  // result, recording it. Never throws: a failure of the record's own is
  // kept to the record (which is cut), never turned into the call's result.
  template <typename Forward>
  ResultCode call(BridgeEntry entry, const char* text, char* buffer, Forward&& forward) noexcept {
    std::lock_guard lock(mutex_);
    if (!ready()) return refuse(entry, buffer);
    const uint64_t seq = ++calls_;
    writeCall(seq, entry, text, buffer);
    const auto start = std::chrono::steady_clock::now();
    const ResultCode code = forward(*bindings_);
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - start);
    writeReturn(seq, entry, code, micros.count(), buffer);
    return code;
  }

 private:
  // Sets up on the first call; whether calls may be forwarded.
  bool ready() noexcept;
  void setUp();
  ResultCode refuse(BridgeEntry entry, char* buffer) noexcept;
  void writeCall(uint64_t seq, BridgeEntry entry, const char* text, const char* buffer) noexcept;
  void writeReturn(uint64_t seq, BridgeEntry entry, ResultCode code, int64_t micros,
                   const char* buffer) noexcept;
  void openRecord(const std::string& trace, const std::filesystem::path& folder,
                  const SettingSource& source);
  void writeLine(const Json& line);
  void writeText(std::string line);
  void cut(const std::string& reason) noexcept;

  OwnEntries own_;
  std::chrono::system_clock::time_point loaded_;
  std::recursive_mutex mutex_;  // a bridge that calls an entry back does not deadlock
  bool setUpDone_ = false;
  std::optional<SetupProblem> problem_;
  std::unique_ptr<BridgeBindings> bindings_;
  std::unique_ptr<platform::RecordFile> record_;
  bool recordBroken_ = false;  // nothing more is written
  uint64_t written_ = 0;       // the bytes of the record's whole lines
  uint64_t reserved_ = 0;      // the bytes the disk has set aside for the record
  uint64_t calls_ = 0;
};

}  // namespace zorv::trace
