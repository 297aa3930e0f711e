#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

namespace zorv::platform {

// What a Windows library's file says about the processes that can load it.
// Read from the PE header's Machine field: 0x14c is 32-bit x86, 0x8664 is
// 64-bit x64. Pure over bytes, so the same code answers on every platform.

inline constexpr uint16_t kMachineX86 = 0x014c;
inline constexpr uint16_t kMachineX64 = 0x8664;

// The Machine field of the PE image that `bytes` begin with, or 0 when they
// begin no PE image (no "MZ" header, no "PE\0\0" signature where the header
// points, or too few bytes).
uint16_t peMachine(std::string_view bytes);

// The same, read from the start of `file`; 0 when it cannot be read.
uint16_t peMachineOfFile(const std::filesystem::path& file);

// 32 or 64 for the two Windows machines, 0 for any other value.
int machineBits(uint16_t machine);

// The bitness of this process: 32 or 64.
inline constexpr int kProcessBits = static_cast<int>(sizeof(void*) * 8);

}  // namespace zorv::platform
