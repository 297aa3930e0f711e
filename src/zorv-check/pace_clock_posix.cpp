#include <time.h>

#include "pace_clock.h"

namespace zorv::check::platform {

namespace {

// The last stretch before a call's time is spun: a sleep overshoots by tens
// of microseconds, more on a busy machine.
constexpr int64_t kSpinNanoseconds = 200'000;

timespec timespecOf(int64_t nanoseconds) {
  timespec at{};
  at.tv_sec = static_cast<time_t>(nanoseconds / 1'000'000'000);
  at.tv_nsec = static_cast<long>(nanoseconds % 1'000'000'000);
  return at;
}

}  // namespace

int64_t monotonicNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

void preparePacing() {}

void waitUntil(int64_t nanoseconds) {
  if (nanoseconds - monotonicNanoseconds() > kSpinNanoseconds) {
    const timespec wake = timespecOf(nanoseconds - kSpinNanoseconds);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &wake, nullptr) != 0) {
    }
  }
  while (monotonicNanoseconds() < nanoseconds) {
  }
}

}  // namespace zorv::check::platform
