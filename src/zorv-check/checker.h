#pragma once

#include <memory>
#include <string>
#include <vector>

#include "board.h"
#include "bridge_binding.h"
#include "child_process.h"
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

// Binds LIBRARY after loading it once in a child, and finds which entries it
// exports (`missing` holds the reasons for the others). Empty, after a
// one-line reason on standard error, when the library cannot be used.
std::unique_ptr<BridgeBindings> openLibrary(const Options& options,
                                            const std::vector<std::string>& arguments,
                                            std::array<bool, kBridgeEntryCount>& exported,
                                            std::array<std::string, kBridgeEntryCount>& missing);

// A child's arguments: kChildArgument, its task, then the checker's own.
std::vector<std::string> childArguments(const std::string& task,
                                        const std::vector<std::string>& arguments);

// In a child: from now on an access to an argument's pages on `board` is
// recorded and let through; any other fault ends the child.
void guardChild(Board& board);

// Waits for `child` to end, killing it when one of its calls on `board`
// runs past `timeoutSeconds`. True when it was killed for that.
bool superviseChild(platform::ChildProcess& child, const Board& board, double timeoutSeconds);

// The name of a check in report lines: "inside-buffer".
const char* checkName(Check check);

// Adds to `tallies` the broken promise a recorded fault shows.
void explainFault(Tallies& tallies, const Fault& fault);

// What became of the call running on `board` when its child ended so:
// empty when the child ended well.
std::string endSentence(const Board& board, const platform::ChildEnd& end, bool timedOut,
                        double timeoutSeconds);

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
