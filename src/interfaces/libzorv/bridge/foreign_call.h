#pragma once

#include <cstdint>
#include <span>

#include "bridge_binding.h"
#include "two_conventions.h"

namespace zorv::bridge {

// What a foreign call returned, and how many argument bytes the callee took
// off the stack itself.
struct ForeignCallResult {
  ResultCode code;
  std::uint32_t bytesTakenOff;
};

// Calls `entry` with the pointer-sized `args` pushed right to left and returns
// its 32-bit result. On 32-bit x86 it works for a stdcall and a cdecl callee
// alike: the stack pointer is saved in a callee-saved register before the
// pushes and restored after the call; bytesTakenOff is how many argument bytes
// the callee removed (0 for cdecl, 4*n for stdcall). Elsewhere there is one
// convention and bytesTakenOff is 0.
#if ZORV_TWO_CONVENTIONS
ForeignCallResult callForeign(void* entry, std::span<void* const> args);
#endif

}  // namespace zorv::bridge

#if !ZORV_TWO_CONVENTIONS
#include "foreign_call_typed.h"
#endif
