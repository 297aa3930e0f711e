// Any connection text: the parser either refuses it with a bad-connection
// code or gives pairs that, written back in quoted form, parse to the same
// pairs.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "connection_text.h"
#include "zorv_error.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

std::string quoted(std::string_view value) {
  std::string out = "'";
  for (char c : value) {
    if (c == '\'' || c == '\\') out += '\\';
    out += c;
  }
  return out + "'";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using zorv::lib::ConnectionText;
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<zorv::lib::ConnectionOption> options;
  try {
    options = ConnectionText::parse(text);
  } catch (const zorv::lib::ZorvError& error) {
    check(error.code() == zorv::lib::kBadConnectionText);
    return 0;
  }
  std::string again;
  for (const auto& option : options) {
    check(!option.keyword.empty());
    again += option.keyword + "=" + quoted(option.value) + " ";
  }
  check(ConnectionText::parse(again) == options);
  return 0;
}
