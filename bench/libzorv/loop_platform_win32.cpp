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

// The C runtime may leave stdout without a buffer when it is not a console;
// fwrite then writes what does not fill a whole buffer a byte at a time, one
// system call each, and the loop would time those calls instead of the library.
void makeOutputBinary() {
  _setmode(_fileno(stdout), _O_BINARY);
  std::setvbuf(stdout, nullptr, _IOFBF, 64 << 10);
}
