#pragma once

// What the fetch loop needs from its platform, one file per platform
// (loop_platform_posix.cpp, loop_platform_win32.cpp).

// Makes standard output take bytes as they are: no line-end translation.
void makeOutputBinary();

// Memory figures; -1 when unknown.
// Resident memory of this process in KiB.
long residentKib();
// The largest resident memory since the last resetPeak() (on Windows, which
// cannot lower its peak, since the process started), in KiB.
long peakKib();
void resetPeak();
