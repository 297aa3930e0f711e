#pragma once

#include <cstdint>

// The clock a paced replay's processes share. One file per platform: every
// process of the machine reads the same monotonic clock alike
// (CLOCK_MONOTONIC on POSIX, the performance counter on Windows), so a start
// epoch one process writes means the same instant to another.
namespace zorv::check::platform {

// Nanoseconds on the machine-wide monotonic clock.
int64_t monotonicNanoseconds();

// In a paced child, once before its first wait: makes short sleeps as short
// as the system allows.
void preparePacing();

// Returns at `nanoseconds` on that clock or at once when it has passed:
// sleeps while the wait is long, then spins the last stretch, so a call
// starts within microseconds of its time on an idle machine.
void waitUntil(int64_t nanoseconds);

}  // namespace zorv::check::platform
