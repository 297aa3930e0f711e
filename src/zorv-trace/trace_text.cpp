#include "trace_text.h"

#include <cstdio>

namespace zorv::trace {

namespace {

struct Civil {
  int year;
  unsigned month, day, hour, minute, second;
  long long micros;
};

Civil civilOf(std::chrono::system_clock::time_point when) {
  using namespace std::chrono;
  const auto micros = floor<microseconds>(when);
  const auto day = floor<days>(micros);
  const year_month_day date{day};
  const hh_mm_ss clock{micros - day};
  return {static_cast<int>(date.year()),         static_cast<unsigned>(date.month()),
          static_cast<unsigned>(date.day()),      static_cast<unsigned>(clock.hours().count()),
          static_cast<unsigned>(clock.minutes().count()),
          static_cast<unsigned>(clock.seconds().count()),
          static_cast<long long>(clock.subseconds().count())};
}

}  // namespace

std::string utcTimestamp(std::chrono::system_clock::time_point when) {
  const Civil t = civilOf(when);
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02u:%02u:%02u.%06lldZ", t.year, t.month, t.day,
                t.hour, t.minute, t.second, t.micros);
  return text;
}

namespace {
std::string attemptSuffix(long long processId, unsigned attempt) {
  std::string out = "-" + std::to_string(processId);
  if (attempt > 1) out += "-" + std::to_string(attempt);
  return out;
}
}  // namespace

std::string recordFileName(std::chrono::system_clock::time_point when, long long processId,
                           unsigned attempt) {
  const Civil t = civilOf(when);
  char text[80];
  std::snprintf(text, sizeof text, "zorv-trace-%04d%02u%02u-%02u%02u%02u", t.year, t.month, t.day,
                t.hour, t.minute, t.second);
  return text + attemptSuffix(processId, attempt) + ".jsonl";
}

std::string ownRecordFileName(std::string_view file, long long processId, unsigned attempt) {
  const size_t dot = file.rfind('.');
  const size_t stem = dot == std::string_view::npos || dot == 0 ? file.size() : dot;
  return std::string(file.substr(0, stem)) + attemptSuffix(processId, attempt) +
         std::string(file.substr(stem));
}

}  // namespace zorv::trace
