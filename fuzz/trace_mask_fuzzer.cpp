// Any CP932 connection text: the trace library's masking leaves a text that
// our own libzorv parses to the same pairs, with every non-empty password
// value (password=, and PWD= or PASSWORD= inside odbc=) as "********" and
// every other value unchanged (an empty password may be masked too).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "connection_mask.h"
#include "connection_text.h"
#include "narrow_text.h"
#include "odbc_connection_string.h"
#include "utf_codec.h"
#include "zorv_error.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

std::string lowered(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string utf8Of(std::string_view cp932) { return zorv::utf8FromUtf16(zorv::wideText(cp932)); }

// Whether `after` is the masked form of the password value `before`.
bool maskedFrom(std::string_view before, std::string_view after) {
  return after == zorv::trace::kMaskedPassword || (before.empty() && after.empty());
}

void checkOdbc(std::string_view before, std::string_view after) {
  const zorv::lib::odbc::OdbcConnectionString in(before), out(after);
  for (const char* secret : {"pwd", "password"}) {
    const auto was = in.values(secret), now = out.values(secret);
    check(was.size() == now.size());
    for (size_t i = 0; i < was.size(); ++i) check(maskedFrom(was[i], now[i]));
  }
  for (const char* kept : {"dsn", "driver", "uid", "database", "server", "port"}) {
    check(in.values(kept) == out.values(kept));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using zorv::lib::ConnectionText;
  const std::string text(reinterpret_cast<const char*>(data), size);
  const zorv::trace::MaskedConnection masked = zorv::trace::maskPasswords(text);
  // Only texts that are whole CP932 characters reach the parser unchanged.
  if (zorv::narrowCopy(zorv::wideText(text)).bytes() != text) return 0;
  std::vector<zorv::lib::ConnectionOption> before;
  try {
    before = ConnectionText::parse(utf8Of(text));
  } catch (const zorv::lib::ZorvError&) {
    return 0;
  }
  const auto after = ConnectionText::parse(utf8Of(masked.text));  // throws (and fails) if broken
  check(before.size() == after.size());
  bool anyMasked = false;
  for (size_t i = 0; i < before.size(); ++i) {
    check(before[i].keyword == after[i].keyword);
    const std::string keyword = lowered(std::string(before[i].keyword));
    if (keyword == "password") {
      check(maskedFrom(before[i].value, after[i].value));
      anyMasked = anyMasked || after[i].value != before[i].value;
    } else if (keyword == "odbc") {
      checkOdbc(before[i].value, after[i].value);
      anyMasked = anyMasked || after[i].value != before[i].value;
    } else {
      check(before[i].value == after[i].value);
    }
  }
  check(!anyMasked || masked.masked);
  return 0;
}
