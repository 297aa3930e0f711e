#pragma once

// The fetch loop's memory figures, one file per platform
// (loop_memory_posix.cpp, loop_memory_win32.cpp); -1 when unknown.
// Resident memory of this process in KiB.
long residentKib();
// The largest resident memory since the last resetPeak() (on Windows, which
// cannot lower its peak, since the process started), in KiB.
long peakKib();
void resetPeak();
