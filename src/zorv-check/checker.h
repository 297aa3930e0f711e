#pragma once

#include <memory>
#include <string>
#include <vector>

#include "bridge_binding.h"
#include "options.h"

namespace zorv::check {

// The argument that makes a checker started by itself run one child.
inline constexpr const char* kChildArgument = "--zorv-check-child";
// The task of a child that only loads the library and looks its entries up.
inline constexpr const char* kLoadTask = "load";

// Bindings to LIBRARY as the console would make them: a path is loaded from
// exactly that file; a bare name is looked for beside this executable, then
// by the system loader's search. Nothing is loaded yet. Empty, with `error`
// set, when a path names no file.
std::unique_ptr<BridgeBindings> bindingsFor(const std::string& library, std::string& error);

// The end of the load failure's line when the library is for processes of
// the other bitness (`libraryBits` 32 or 64): which zorv-check to use
// instead. Empty for any other value.
std::string otherBitsAdvice(int libraryBits);

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
