#pragma once

#include <functional>
#include <string>
#include <vector>

#include "board.h"
#include "child_process.h"

namespace zorv::check {

// The argument that makes a checker started by itself run one child.
inline constexpr const char* kChildArgument = "--zorv-check-child";
// The task of a child that only loads the library and looks its entries up.
inline constexpr const char* kLoadTask = "load";

// A child's arguments: kChildArgument, its task, then the checker's own.
std::vector<std::string> childArguments(const std::string& task,
                                        const std::vector<std::string>& arguments);

// In a child: any fault ends the child at once, with no debugger or dialog.
void endChildOnFault();

// In a child: from now on an access to an argument's pages on `board` is
// recorded and let through; any other fault ends the child.
void guardChild(Board& board);

// Waits for `child` to end, killing it when one of its calls on `board`
// runs past `timeoutSeconds`. True when it was killed for that.
bool superviseChild(platform::ChildProcess& child, const Board& board, double timeoutSeconds);

// A child watched with others, and the board its calls show on.
struct WatchedChild {
  platform::ChildProcess* child = nullptr;
  const Board* board = nullptr;
  bool timedOut = false;  // set when it was killed for a call past the limit
};

// Waits for every child to end, killing one whose call on its board runs past
// `timeoutSeconds` while the others go on. After each look at them all, calls
// `eachPass` with which of them have ended (in the order given).
void superviseChildren(std::vector<WatchedChild>& children, double timeoutSeconds,
                       const std::function<void(const std::vector<bool>&)>& eachPass);

// What became of the call running on `board` when its child ended so:
// empty when the child ended well.
std::string endSentence(const Board& board, const platform::ChildEnd& end, bool timedOut,
                        double timeoutSeconds);

}  // namespace zorv::check
