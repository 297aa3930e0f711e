#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zorv::lib::odbc {

// UTF-16 form of UTF-8 text; a malformed sequence becomes U+FFFD.
std::u16string toUtf16(std::string_view utf8);
// Appends the UTF-8 form of UTF-16 text; a lone surrogate becomes U+FFFD,
// which has no CP932 form and is written as '?' like any such character.
void appendUtf8(std::u16string_view utf16, std::string& out);
// True when the bytes are well-formed UTF-8: shortest forms, no surrogates,
// nothing above U+10FFFF, no sequence cut short.
bool isWellFormedUtf8(std::string_view bytes);

// An ODBC connection string: `key=value` attributes separated by ';', a value
// either plain or in braces with '}}' standing for '}'. Keys compare without
// regard to case or surrounding blanks.
class OdbcConnectionString {
 public:
  explicit OdbcConnectionString(std::string text);

  const std::string& text() const { return text_; }
  bool has(std::string_view key) const;
  // Every value given for the key, in order.
  std::vector<std::string> values(std::string_view key) const;
  // Adds `key=value` when the key is absent; a key already given is kept as
  // the user wrote it, since drivers disagree on which of two copies wins.
  void addIfAbsent(std::string_view key, std::string_view value);

 private:
  struct Attribute {
    std::string key;  // lower case, trimmed
    std::string value;
  };
  std::vector<Attribute> parse() const;

  std::string text_;
};

// Where a statement text's first statement ends.
struct StatementSplit {
  enum class Kind { Empty, One, Several };
  Kind kind = Kind::Empty;
  // The first statement without its ';', trailing comments and what follows
  // (only when One).
  std::string_view first;
};

// Finds the top-level ';' that ends the first statement, skipping quoted
// strings and identifiers ('', "", ``, [], E'' with backslashes, $tag$
// bodies) and comments. Whatever follows must be blanks, comments and ';'.
// A quote or comment left open counts as one statement for the database to
// refuse. Block comments do not nest: a nested one reads as a second
// statement, which refuses rather than runs a text the database may split.
StatementSplit splitFirstStatement(std::string_view sql);

}  // namespace zorv::lib::odbc
