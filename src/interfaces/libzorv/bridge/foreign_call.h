#pragma once

#include <cstdint>
#include <span>

#include "bridge_binding.h"

namespace zorv::bridge {

struct ForeignCallResult {
  ResultCode code;
  std::uint32_t bytesTakenOff;
};

// Calls `entry` with the pointer-sized `args` pushed right to left; on 32-bit
// x86 works for stdcall and cdecl callees alike (stack pointer saved in a
// callee-saved register and restored after the call); bytesTakenOff =
// argument bytes the callee removed (0 cdecl, 4*n stdcall); elsewhere always 0.
ForeignCallResult callForeign(void* entry, std::span<void* const> args);

}  // namespace zorv::bridge
