#pragma once

#include <string>
#include <vector>

#include "board.h"
#include "bridge_binding.h"
#include "options.h"

namespace zorv::check {

// One child's run of calls. A single function's run calls it before any
// Open, twice in a row and after Close, on the buffers the console would
// hand over; the session opens the --connect text and goes through the
// query, its fetches and the --exec texts.
struct Scenario {
  BridgeEntry entry;  // the function called alone; ZORVlogin for the session
  bool session;
};

// The children to run, in order; functions the library lacks are left out.
std::vector<Scenario> scenarios(const Options& options,
                                const std::array<bool, kBridgeEntryCount>& exported);

// The body of a child: makes the scenario's calls, judging each on `board`.
// Returns the child's exit status, 0 when every call returned.
int runScenario(const Scenario& scenario, const Options& options, Board& board,
                BridgeBindings& bindings);

}  // namespace zorv::check
