#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "secret_text.h"

namespace zorv::lib::odbc {

// An ODBC connection string: `key=value` attributes separated by ';', a value
// either plain or in braces with '}}' standing for '}'. Keys compare without
// regard to case or surrounding blanks. It may hold a password: the text and
// every value taken from it are SecretStrings.
class OdbcConnectionString {
 public:
  explicit OdbcConnectionString(std::string_view text);

  const SecretString& text() const { return text_; }
  bool has(std::string_view key) const;
  // Every value given for the key, in order.
  std::vector<SecretString> values(std::string_view key) const;
  // Adds `key=value` when the key is absent; a key already given is kept as
  // the user wrote it, since drivers disagree on which of two copies wins.
  void addIfAbsent(std::string_view key, std::string_view value);

 private:
  struct Attribute {
    std::string key;  // lower case, trimmed
    SecretString value;
  };
  std::vector<Attribute> parse() const;

  SecretString text_;
};

}  // namespace zorv::lib::odbc
