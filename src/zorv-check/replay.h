#pragma once

#include <array>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "bridge_binding.h"
#include "child_process.h"
#include "options.h"
#include "record_set.h"
#include "replay_board.h"
#include "report.h"
#include "trace_record.h"

namespace zorv::check {

// --replay of several records, or at a pace: replays `set` at once (see
// replaySet), then prints each record's differing calls after its name, a
// line a record and a total with the differences in classes, each function's
// recorded and replayed call times, and with a pace how late calls started.
// Writes JUnit with --junit, one suite a record. Returns 0 when every call of
// every record matched, 1 when not, 2 when --junit cannot be written.
int runReplaySet(const Options& options, const std::vector<std::string>& arguments,
                 const std::vector<RecordInSet>& set, BridgeBindings& bindings,
                 const std::array<bool, kBridgeEntryCount>& exported,
                 std::chrono::steady_clock::time_point started);

// --replay: reads every record named (exit 2, after a line naming the first
// that cannot be used, before anything runs) and loads LIBRARY. Several
// records, or a pace, go to runReplaySet. One record at full speed: runs its
// calls in `seq` order against LIBRARY, all in one guarded child (the bridge
// keeps state between calls), and compares each result code and answer with
// the record. A record ending in a call that never returned is replayed up
// to it, and that call is then run and watched. Prints each difference and a
// summary line, writes JUnit with --junit. Returns 0 when every call matched
// (and the unfinished call, if any, now returns), 1 when not, 2 when the
// record, the login or the library cannot be used (after a one-line reason).
int runReplay(const Options& options, const std::vector<std::string>& arguments);

// What one run of a record's calls in a guarded child left.
struct ReplayRun {
  std::vector<CallResult> results;  // one a call, in the record's order
  // The few answers kept (the first differing ones), in call order: memory
  // in the differences, not in the calls.
  std::vector<AnswerWindow> windows;
  std::string ending;  // what became of the call the child ended in; empty when it ended well
  bool timedOut = false;
  platform::ChildEnd end;
  std::vector<Line> brokenPromises;  // as the guard saw them, in the checks' words

  // The answer kept of call `i`; none when its run kept none.
  const AnswerWindow* windowOf(size_t i) const;
};

// Replays every record of `set` once and at once, each in its own guarded
// child (on POSIX all forked before anything else starts), at
// `options.pace`: with several records or a pace, every child waits until
// all can run, then their calls start on one schedule from one epoch. Each
// call's time limit is `options.timeoutSeconds`; a child that hangs is
// killed while the others go on. Returns each record's run, in `set`'s
// order, each call's lateness in its CallResult. `build` as for replayOnce.
std::vector<ReplayRun> replaySet(const std::vector<RecordInSet>& set, const Options& options,
                                 BridgeBindings& bindings,
                                 const std::array<bool, kBridgeEntryCount>& exported,
                                 const std::string& build,
                                 const std::vector<std::string>& arguments);

// The body of a replay child started afresh: `task` is "replay:COUNT:MEMORY",
// with ":INDEX" for the INDEXth of the records --replay names.
int runReplayChild(const Options& options, const std::string& task, BridgeBindings& bindings,
                   const std::array<bool, kBridgeEntryCount>& exported);

}  // namespace zorv::check
