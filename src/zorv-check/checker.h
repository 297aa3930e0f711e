#pragma once

#include <string>
#include <vector>

#include "board.h"
#include "options.h"

namespace zorv::check {

// The name of a check in report lines: "inside-buffer".
const char* checkName(Check check);

// Adds to `tallies` the broken promise a recorded fault shows.
void explainFault(Tallies& tallies, const Fault& fault);

// Runs every check, prints the report, writes the JUnit file if asked for.
// `arguments` are the checker's own, handed to children started afresh.
// Returns the exit status: 0 nothing failed, 1 a check failed, 2 the library
// cannot be loaded or a file cannot be written (after a one-line reason).
int runChecks(const Options& options, const std::vector<std::string>& arguments);

// The body of a child started afresh with kChildArgument: `arguments`
// after that one are the task (kLoadTask, or "SCENARIO:MEMORY") and then
// the checker's own.
int runChildProcess(const std::vector<std::string>& arguments);

}  // namespace zorv::check
