#pragma once

#include <string>
#include <string_view>

namespace zorv::trace {

// The text that stands in the record for a masked password.
inline constexpr std::string_view kMaskedPassword = "********";

struct MaskedConnection {
  std::string text;     // the connection text with every password value masked
  bool masked = false;  // whether any value was
};

// Masks, in a connection text of CP932 bytes, the value of every password=
// pair and of every PWD= (or PASSWORD=) attribute inside an odbc= value, the
// keywords in any letter case; every other byte stays as it was. The text is
// read as the reference bridge parses it (blank-separated keyword=value
// pairs, single quotes and backslash escapes; ODBC attributes separated by
// ';', a value in braces with "}}" for '}'), one CP932 character at a time,
// so a trail byte that looks like '\\', '\'', '{' or '}' is never taken for
// one. A quoted value stays quoted ('********'); one that never closes is
// masked to the end of the text and stays unclosed ('********).
MaskedConnection maskPasswords(std::string_view connection);

}  // namespace zorv::trace
