#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace zorv::trace {

using Json = nlohmann::ordered_json;

// The record's form of CP932 bytes: a JSON string (UTF-8) when the bytes
// decode from CP932 and encode back to the very same bytes, otherwise
// {"hex": the bytes in lowercase hexadecimal}.
Json recordedText(std::string_view bytes);
// The same, appended to `out` as JSON text.
void appendRecordedText(std::string& out, std::string_view bytes);

// The exact bytes a recorded text stands for, or nothing when `value` is
// neither form (or its hexadecimal is broken).
std::optional<std::string> bytesOfRecordedText(const Json& value);

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
