#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "secret_text.h"

namespace zorv::lib {

// One keyword=value pair of a connection text.
struct ConnectionOption {
  std::string keyword;
  SecretString value;  // may be a password

  bool operator==(const ConnectionOption&) const = default;
};

// Parses a connection text (UTF-8): blank-separated keyword=value pairs,
// blanks allowed around '='; a value is either a run of non-blanks or
// single-quoted, and a backslash in either takes the next character as it is.
class ConnectionText {
 public:
  // The pairs in text order. Throws ZorvError(kBadConnectionText) with a
  // reason that names positions, never a value.
  static std::vector<ConnectionOption> parse(std::string_view text);
};

}  // namespace zorv::lib
