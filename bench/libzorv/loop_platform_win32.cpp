#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <psapi.h>

#include <cstdio>

#include "loop_platform.h"

namespace {

PROCESS_MEMORY_COUNTERS counters() {
  PROCESS_MEMORY_COUNTERS c{};
  c.cb = sizeof c;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &c, sizeof c)) c.cb = 0;
  return c;
}

}  // namespace

long residentKib() {
  const auto c = counters();
  return c.cb != 0 ? static_cast<long>(c.WorkingSetSize / 1024) : -1;
}

long peakKib() {
  const auto c = counters();
  return c.cb != 0 ? static_cast<long>(c.PeakWorkingSetSize / 1024) : -1;
}

void resetPeak() {}

void makeOutputBinary() { _setmode(_fileno(stdout), _O_BINARY); }
