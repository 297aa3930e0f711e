#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "trace_record.h"

namespace zorv::check {

// The recorded instant a set of records starts from: the earliest header
// `started` of them (a record without one counts from its first call's time);
// 0 when none of them tells.
int64_t originOf(const std::vector<const TraceRecord*>& records);

// When each call of `record` starts, in nanoseconds after the set's start:
// its recorded `time` less `originMicros`, divided by `pace` (2 = twice as
// fast). A call without a time, or one recorded before the origin, keeps the
// offset of the call before it (0 for the first), so the schedule never
// runs backwards.
std::vector<int64_t> scheduleOf(const TraceRecord& record, int64_t originMicros, double pace);

// Starts a child's calls on their schedule, from `epoch` on the shared clock.
class Pacer {
 public:
  Pacer(int64_t epoch, std::vector<int64_t> offsets)
      : epoch_(epoch), offsets_(std::move(offsets)) {}

  // Waits for call `i`'s start and returns how late it is, in nanoseconds:
  // the clock now less the scheduled start, 0 when it started on time.
  int64_t start(size_t i) const;

 private:
  int64_t epoch_;
  std::vector<int64_t> offsets_;
};

}  // namespace zorv::check
