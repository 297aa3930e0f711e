#pragma once

#include <array>
#include <string>
#include <vector>

#include "bridge_binding.h"
#include "options.h"

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

// The body of a replay child started afresh: `task` is "replay:COUNT:MEMORY".
int runReplayChild(const Options& options, const std::string& task, BridgeBindings& bindings,
                   const std::array<bool, kBridgeEntryCount>& exported);

}  // namespace zorv::check
