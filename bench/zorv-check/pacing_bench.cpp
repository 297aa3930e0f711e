// The cost a paced replay adds to each call: finding the call's start on the
// schedule and reading the shared clock (Pacer::start for a call already
// due, so no wait is counted), and working out the schedule itself (per call
// of a record of a million calls).
#include <benchmark/benchmark.h>

#include "pace_clock.h"
#include "replay_schedule.h"

namespace {

using zorv::check::Pacer;
using zorv::check::RecordedCall;
using zorv::check::TraceRecord;

constexpr size_t kCalls = 1'000'000;

TraceRecord millionCalls() {
  TraceRecord record;
  record.started = 1'796'731'200'000'000;
  record.calls.resize(kCalls);
  for (size_t i = 0; i < kCalls; ++i) {
    record.calls[i].time = *record.started + static_cast<int64_t>(i) * 10;
  }
  return record;
}

void BM_PacerStartPerCall(benchmark::State& state) {
  const TraceRecord record = millionCalls();
  // The epoch long past: every call is due, so start() only schedules.
  const Pacer pacer(zorv::check::platform::monotonicNanoseconds() - 3'600'000'000'000,
                    zorv::check::scheduleOf(record, *record.started, 2));
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(pacer.start(i));
    if (++i == kCalls) i = 0;
  }
}
BENCHMARK(BM_PacerStartPerCall);

void BM_ScheduleOfMillionCalls(benchmark::State& state) {
  const TraceRecord record = millionCalls();
  for (auto _ : state) {
    benchmark::DoNotOptimize(zorv::check::scheduleOf(record, *record.started, 2));
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kCalls));
}
BENCHMARK(BM_ScheduleOfMillionCalls)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
