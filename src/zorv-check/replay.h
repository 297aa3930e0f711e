#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "bridge_binding.h"
#include "child_process.h"
#include "options.h"
#include "replay_board.h"
#include "report.h"
#include "trace_record.h"

namespace zorv::check {

// Runs the calls of the zorv-trace record `options.replay` in `seq` order
// against LIBRARY, all in one guarded child (the bridge keeps state between
// calls), and compares each result code and answer with the record. A
// record ending in a call that never returned is replayed up to it, and that
// call is then run and watched. Prints each difference and a summary line,
// writes JUnit with --junit. Returns 0 when every call matched (and the
// unfinished call, if any, now returns), 1 when not, 2 when the record, the
// login or the library cannot be used (after a one-line reason).
int runReplay(const Options& options, const std::vector<std::string>& arguments);

// Reads the record named by `options.replay` and makes sure each masked
// connection text has a stand-in (--login or ZORV_LOGIN). False, after a
// one-line reason on standard error, when the record cannot be used.
bool loadUsableRecord(const Options& options, TraceRecord& record);

// What one run of a record's calls in a guarded child left.
struct ReplayRun {
  std::vector<CallResult> results;                   // one a call, in the record's order
  std::vector<std::optional<AnswerWindow>> windows;  // the answers kept, by call
  std::string ending;  // what became of the call the child ended in; empty when it ended well
  bool timedOut = false;
  platform::ChildEnd end;
  std::vector<Line> brokenPromises;  // as the guard saw them, in the checks' words
};

// Runs `record`'s calls against `bindings` in one guarded child and compares
// each with the record. `build` is "" for LIBRARY, "new" for --compare's NEW:
// a child started afresh loads that one.
ReplayRun replayOnce(const TraceRecord& record, const Options& options, BridgeBindings& bindings,
                     const std::array<bool, kBridgeEntryCount>& exported, const std::string& build,
                     const std::vector<std::string>& arguments);

// The body of a replay child started afresh: `task` is "replay:COUNT:MEMORY".
int runReplayChild(const Options& options, const std::string& task, BridgeBindings& bindings,
                   const std::array<bool, kBridgeEntryCount>& exported);

}  // namespace zorv::check
