#include <windows.h>

#include "pace_clock.h"

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace zorv::check::platform {

namespace {

// The waiting timer: a high-resolution one where the system has it (Windows
// 10 1803 on, and Wine), which wakes within a fraction of a millisecond; else
// an ordinary one, which wakes at the timer period (1 ms once preparePacing
// ran). The last stretch before a call's time is spun, yielding: as short as
// the timer allows, so many paced children do not spin each other off the
// processors.
struct WaitTimer {
  HANDLE handle = nullptr;
  int64_t spinNanoseconds = 2'000'000;

  WaitTimer() {
    handle = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                    TIMER_ALL_ACCESS);
    if (handle) {
      spinNanoseconds = 300'000;
    } else {
      handle = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
    }
  }
};

const WaitTimer& waitTimer() {
  static const WaitTimer timer;
  return timer;
}

// Asks for a timer period of 1 ms for the rest of the process, from the
// multimedia timer library looked for in the system folder alone, at run
// time: the program imports nothing a plain system may lack. Without it the
// ordinary timer keeps its period and the spin before each call covers it.
void askForOneMillisecondTimer() {
  HMODULE winmm = LoadLibraryExW(L"winmm.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!winmm) return;
  using TimeBeginPeriod = UINT(WINAPI*)(UINT);
  void* begin = reinterpret_cast<void*>(GetProcAddress(winmm, "timeBeginPeriod"));
  if (begin) reinterpret_cast<TimeBeginPeriod>(begin)(1);
}

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

void preparePacing() {
  askForOneMillisecondTimer();
  waitTimer();
}

void waitUntil(int64_t nanoseconds) {
  const WaitTimer& timer = waitTimer();
  for (;;) {
    const int64_t left = nanoseconds - monotonicNanoseconds();
    if (left <= 0) return;
    if (left <= timer.spinNanoseconds) {
      SwitchToThread();
      continue;
    }
    // A relative due time, negative, in units of 100 ns.
    LARGE_INTEGER due{};
    due.QuadPart = -static_cast<LONGLONG>((left - timer.spinNanoseconds) / 100);
    if (timer.handle && SetWaitableTimer(timer.handle, &due, 0, nullptr, nullptr, FALSE)) {
      WaitForSingleObject(timer.handle, INFINITE);
    } else {
      Sleep(static_cast<DWORD>((left - timer.spinNanoseconds) / 1'000'000 + 1));
    }
  }
}

}  // namespace zorv::check::platform
