#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "bridge_binding.h"
#include "two_conventions.h"

namespace zorv::check {

// Only 32-bit Windows has two conventions a bridge function may be built with:
// stdcall, where the function takes its arguments off the stack, and cdecl,
// where the caller does. Everywhere else there is one, and nothing to judge.
using bridge::kTwoConventions;

// The number of pointer-sized arguments of a bridge function.
int argumentCount(BridgeEntry entry);
// Its argument bytes on 32-bit x86, which a stdcall name decoration states.
inline uint32_t argumentBytes(BridgeEntry entry) { return 4u * argumentCount(entry); }

// What one call's callee did with its arguments.
enum class Cleanup {
  Callee,   // it took all of them off: stdcall
  Caller,   // it left them: cdecl
  Either,   // it has no arguments: both conventions make the same call
  Neither,  // it took off some other number of bytes: a wrong prototype
};

Cleanup cleanupOf(BridgeEntry entry, uint32_t bytesTakenOff);

// How the calls of one function went, gathered over the run.
struct CleanupCounts {
  uint32_t byCallee = 0;
  uint32_t byCaller = 0;
  uint32_t either = 0;
};

// The sentence of a function's "convention" line when every call fitted a
// convention; empty, with `mixed` set, when its calls disagreed.
std::string conventionSentence(BridgeEntry entry, const CleanupCounts& counts, bool& mixed);
// The failure of a function whose calls disagreed.
std::string mixedSentence(BridgeEntry entry, const CleanupCounts& counts);

// The failure of a call whose callee took off `bytesTakenOff` bytes that fit
// neither convention; `stage` says which call it was.
std::string wrongCleanupSentence(BridgeEntry entry, uint32_t bytesTakenOff,
                                 const std::string& stage);

// A decorated form of a missing entry's name that the library exports
// (ZORVlogin@4, _ZORVlogin@4, also with another byte count), found through
// `exports`, which answers whether a name is exported. Empty when none is.
std::string decoratedExport(BridgeEntry entry,
                            const std::function<bool(const std::string&)>& exports);

// The sentence of the "exported" line of an entry the library lacks under
// its plain name: the system's `reason`, what that does to the console, and,
// when the library exports it as `decorated` instead, how to fix that.
std::string missingSentence(BridgeEntry entry, const std::string& reason,
                            const std::string& decorated);

}  // namespace zorv::check
