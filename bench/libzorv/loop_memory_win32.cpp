#include <windows.h>
#include <psapi.h>

#include "loop_memory.h"

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
