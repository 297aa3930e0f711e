#include "trace_text.h"

#include <cstdio>

#include "cp932_table.h"
#include "narrow_text.h"
#include "utf_codec.h"

namespace zorv::trace {

namespace {
// Whether every byte is ASCII, which CP932 keeps as it is.
bool plainAscii(std::string_view bytes) {
  for (const char c : bytes) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}
}  // namespace

Json recordedText(std::string_view bytes) {
  if (plainAscii(bytes) && Cp932Table::instance().asciiIsIdentity()) return std::string(bytes);
  const std::u16string wide = wideText(bytes);
  if (narrowCopy(wide).bytes() == bytes) return utf8FromUtf16(wide);
  static const char* const digits = "0123456789abcdef";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    hex += digits[byte >> 4];
    hex += digits[byte & 15];
  }
  return Json{{"hex", std::move(hex)}};
}

void appendRecordedText(std::string& out, std::string_view bytes) {
  out += recordedText(bytes).dump(-1, ' ', false, Json::error_handler_t::replace);
}

namespace {
int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
}  // namespace

std::optional<std::string> bytesOfRecordedText(const Json& value) {
  if (value.is_string()) {
    const auto& text = value.get_ref<const std::string&>();
    const NarrowCopy bytes = narrowCopy(utf16FromUtf8(text));
    return std::string(bytes.bytes());
  }
  if (!value.is_object() || value.size() != 1 || !value.contains("hex") ||
      !value["hex"].is_string()) {
    return std::nullopt;
  }
  const auto& hex = value["hex"].get_ref<const std::string&>();
  if (hex.size() % 2 != 0) return std::nullopt;
  std::string bytes;
  for (size_t i = 0; i < hex.size(); i += 2) {
    const int high = hexDigit(hex[i]), low = hexDigit(hex[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes += static_cast<char>(high << 4 | low);
  }
  return bytes;
}

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
