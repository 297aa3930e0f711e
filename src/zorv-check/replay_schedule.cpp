#include "replay_schedule.h"

#include <algorithm>
#include <cmath>

#include "pace_clock.h"

namespace zorv::check {

int64_t originOf(const std::vector<const TraceRecord*>& records) {
  bool any = false;
  int64_t origin = 0;
  for (const TraceRecord* record : records) {
    std::optional<int64_t> start = record->started;
    for (const RecordedCall& call : record->calls) {
      if (start) break;
      start = call.time;
    }
    if (start && (!any || *start < origin)) origin = *start;
    any = any || start.has_value();
  }
  return origin;
}

std::vector<int64_t> scheduleOf(const TraceRecord& record, int64_t originMicros, double pace) {
  std::vector<int64_t> offsets;
  offsets.reserve(record.calls.size());
  int64_t previous = 0;
  for (const RecordedCall& call : record.calls) {
    if (call.time && *call.time >= originMicros) {
      const double nanoseconds = static_cast<double>(*call.time - originMicros) * 1000.0 / pace;
      previous = std::max(previous, static_cast<int64_t>(std::llround(nanoseconds)));
    }
    offsets.push_back(previous);
  }
  return offsets;
}

int64_t Pacer::start(size_t i) const {
  const int64_t due = epoch_ + offsets_[i];
  int64_t now = platform::monotonicNanoseconds();
  if (now < due) {
    platform::waitUntil(due);
    now = platform::monotonicNanoseconds();
  }
  return now - due;
}

}  // namespace zorv::check
