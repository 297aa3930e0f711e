#pragma once

#include <string>
#include <vector>

#include "options.h"

namespace zorv::check {

// --compare: runs the calls of the record `options.replay` against OLD
// (`options.library`) and NEW (`options.newLibrary`) in rounds that alternate
// between them (old, new, new, old, ...), each round in a guarded child as
// --replay runs it, so a slow spell of the machine falls on both. The first
// round of each is a warm-up, not timed. Prints the comparison and writes
// JUnit with --junit. Returns 0 when both behave the same and no function is
// slower, 1 when not, 2 when the record, a login or a library cannot be used
// (after a one-line reason).
int runCompare(const Options& options, const std::vector<std::string>& arguments);

}  // namespace zorv::check
