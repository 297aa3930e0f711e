#pragma once

#include <string>
#include <string_view>

namespace zorv::lib::odbc {

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

// The statement's first word in upper case, after blanks and comments.
std::string firstKeyword(std::string_view sql);

// Whether a statement reads only, judged from its words where nothing can
// hold the database to it: it starts with SELECT, VALUES, TABLE or WITH and
// no word outside quotes and comments names a change (INSERT, UPDATE,
// DELETE, MERGE, INTO, CALL, DDL and the like; FOR UPDATE too). A quote left
// open is not plain.
bool isPlainQuery(std::string_view sql);

}  // namespace zorv::lib::odbc
