#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "bridge_binding.h"
#include "options.h"

namespace zorv::check {

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
// `build` is "" for LIBRARY, "new" for --compare's NEW (then `options.library`
// names NEW): a child started afresh loads that one.
std::unique_ptr<BridgeBindings> openLibrary(const Options& options,
                                            const std::vector<std::string>& arguments,
                                            std::array<bool, kBridgeEntryCount>& exported,
                                            std::array<std::string, kBridgeEntryCount>& missing,
                                            const std::string& build = "");

// Which entries the library exports, with the reasons for those it lacks.
// Throws BridgeFailure when the library itself cannot be loaded.
std::array<bool, kBridgeEntryCount> lookUpEntries(
    BridgeBindings& bindings, std::array<std::string, kBridgeEntryCount>& missing);

// For each missing entry, the decorated form of its name the library exports
// instead, if any.
std::array<std::string, kBridgeEntryCount> decoratedForms(
    const BridgeBindings& bindings, const std::array<bool, kBridgeEntryCount>& exported);

}  // namespace zorv::check
