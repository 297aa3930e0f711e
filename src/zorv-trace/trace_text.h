#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include "record_format.h"

namespace zorv::trace {

// "2026-12-08T12:00:01.000042Z": the time in UTC to the microsecond.
std::string utcTimestamp(std::chrono::system_clock::time_point when);

// The name of a process's record inside a trace folder, by the time (UTC)
// and the process id: "zorv-trace-20261208-120001-4711.jsonl"; from the
// second `attempt` on, when that name is taken, "...-4711-2.jsonl".
std::string recordFileName(std::chrono::system_clock::time_point when, long long processId,
                           unsigned attempt = 1);

// The name beside a record file `file` that another process writes:
// "session.jsonl" -> "session-4711.jsonl", "session-4711-2.jsonl" ...
std::string ownRecordFileName(std::string_view file, long long processId, unsigned attempt = 1);

}  // namespace zorv::trace
