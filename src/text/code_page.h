#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zorv::platform {

// Asks the platform's own CP932 converter about single characters. Used only
// to build the conversion tables once; never on a hot path.
class CodePageProbe {
 public:
  CodePageProbe();
  ~CodePageProbe();
  CodePageProbe(const CodePageProbe&) = delete;
  CodePageProbe& operator=(const CodePageProbe&) = delete;

  // The CP932 bytes of one UTF-16 unit, or nothing when the platform has no
  // form for it (the unit alone; a surrogate half never has one).
  std::optional<std::string> encode(char16_t unit);

  // The one UTF-16 unit that these bytes (one or two) decode to, or nothing
  // when they are not exactly one complete valid character.
  std::optional<char16_t> decode(std::string_view bytes);

 private:
  struct State;
  State* state_;
};

}  // namespace zorv::platform
