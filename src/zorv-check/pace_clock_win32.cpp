#include <windows.h>
// After windows.h, whose types it needs.
#include <timeapi.h>

#include "pace_clock.h"

namespace zorv::check::platform {

namespace {

// Sleep's granularity is the timer period (1 ms once preparePacing ran, else
// up to 15.6 ms): the last stretch before a call's time is spun, yielding.
constexpr int64_t kSpinNanoseconds = 2'000'000;

int64_t counterFrequency() {
  static const int64_t frequency = [] {
    LARGE_INTEGER f{};
    QueryPerformanceFrequency(&f);
    return static_cast<int64_t>(f.QuadPart);
  }();
  return frequency;
}

}  // namespace

int64_t monotonicNanoseconds() {
  LARGE_INTEGER counter{};
  QueryPerformanceCounter(&counter);
  const int64_t frequency = counterFrequency();
  const int64_t ticks = static_cast<int64_t>(counter.QuadPart);
  // In two parts, so a counter of many days does not overflow.
  return ticks / frequency * 1'000'000'000 + ticks % frequency * 1'000'000'000 / frequency;
}

void preparePacing() { timeBeginPeriod(1); }

void waitUntil(int64_t nanoseconds) {
  for (;;) {
    const int64_t left = nanoseconds - monotonicNanoseconds();
    if (left <= 0) return;
    if (left > kSpinNanoseconds) {
      Sleep(static_cast<DWORD>((left - kSpinNanoseconds) / 1'000'000 + 1));
    } else {
      SwitchToThread();
    }
  }
}

}  // namespace zorv::check::platform
