#include "odbc_statement_split.h"

#include <algorithm>
#include <cctype>
#include <iterator>

namespace zorv::lib::odbc {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

bool isIdentifierStart(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || static_cast<unsigned char>(c) >= 0x80;
}

// Index just past a comment or quoted part that starts at i, or i itself
// when none starts there; npos when it is left open.
size_t skipQuoted(std::string_view s, size_t i) {
  const size_t n = s.size();
  const char c = s[i];
  if (c == '-' && i + 1 < n && s[i + 1] == '-') {
    const size_t end = s.find('\n', i);
    return end == std::string_view::npos ? n : end + 1;
  }
  if (c == '/' && i + 1 < n && s[i + 1] == '*') {
    const size_t end = s.find("*/", i + 2);
    return end == std::string_view::npos ? std::string_view::npos : end + 2;
  }
  if (c == '\'' || c == '"' || c == '`' || c == '[') {
    const char close = c == '[' ? ']' : c;
    // E'...' takes backslash escapes; the 'E' was an identifier character.
    const bool backslashes = c == '\'' && i > 0 && (s[i - 1] == 'E' || s[i - 1] == 'e') &&
                             (i == 1 || !isIdentifierStart(s[i - 2]));
    for (size_t j = i + 1; j < n; ++j) {
      if (backslashes && s[j] == '\\') {
        ++j;
      } else if (s[j] == close) {
        if (close != ']' && j + 1 < n && s[j + 1] == close) {
          ++j;
        } else {
          return j + 1;
        }
      }
    }
    return std::string_view::npos;
  }
  if (c == '$') {
    // A '$' inside an identifier (a$b) starts no quote.
    if (i > 0 && (isIdentifierStart(s[i - 1]) || std::isdigit(static_cast<unsigned char>(s[i - 1])))) {
      return i;
    }
    size_t j = i + 1;
    if (j < n && isIdentifierStart(s[j])) {
      while (j < n && (isIdentifierStart(s[j]) || std::isdigit(static_cast<unsigned char>(s[j])))) ++j;
    }
    if (j >= n || s[j] != '$') return i;
    const std::string_view tag = s.substr(i, j - i + 1);
    const size_t end = s.find(tag, j + 1);
    return end == std::string_view::npos ? std::string_view::npos : end + tag.size();
  }
  return i;
}

}  // namespace

StatementSplit splitFirstStatement(std::string_view sql) {
  StatementSplit split;
  const size_t n = sql.size();
  size_t i = 0;
  size_t end = n;
  size_t lastToken = 0;  // end of the first statement's last token
  bool tokens = false;
  while (i < n) {
    const size_t skipped = skipQuoted(sql, i);
    if (skipped == std::string_view::npos) {
      // Left open: the database sees all of it and reports the fault.
      split.kind = StatementSplit::Kind::One;
      split.first = sql;
      return split;
    }
    if (skipped != i) {
      const bool comment = sql[i] == '-' || sql[i] == '/';
      if (!comment) {
        tokens = true;
        lastToken = skipped;
      }
      i = skipped;
      continue;
    }
    if (sql[i] == ';') {
      end = i;
      break;
    }
    if (!isBlank(sql[i])) {
      tokens = true;
      lastToken = i + 1;
    }
    ++i;
  }
  if (!tokens) return split;
  // After the first statement only blanks, comments and further ';' may follow.
  for (size_t j = end; j < n;) {
    if (sql[j] == ';' || isBlank(sql[j])) {
      ++j;
      continue;
    }
    const size_t skipped = skipQuoted(sql, j);
    const bool comment = sql[j] == '-' || sql[j] == '/';
    if (!comment || skipped == j || skipped == std::string_view::npos) {
      split.kind = StatementSplit::Kind::Several;
      return split;
    }
    j = skipped;
  }
  // Trailing blanks and comments are dropped: a driver that wraps the
  // statement in its own text would otherwise comment out its own part.
  split.kind = StatementSplit::Kind::One;
  split.first = sql.substr(0, lastToken);
  return split;
}

std::string firstKeyword(std::string_view sql) {
  size_t i = 0;
  while (i < sql.size() && !std::isalpha(static_cast<unsigned char>(sql[i]))) {
    if (sql[i] == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
      i = sql.find('\n', i);
      if (i == std::string_view::npos) return {};
    } else if (sql[i] == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
      i = sql.find("*/", i);
      if (i == std::string_view::npos) return {};
      i += 2;
      continue;
    }
    ++i;
  }
  std::string word;
  while (i < sql.size() && std::isalpha(static_cast<unsigned char>(sql[i]))) {
    word.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(sql[i++]))));
  }
  return word;
}

bool isPlainQuery(std::string_view sql) {
  static const char* const kQueries[] = {"SELECT", "VALUES", "TABLE", "WITH"};
  static const char* const kChanges[] = {"INSERT", "UPDATE", "DELETE", "MERGE", "INTO",
                                         "CALL",   "EXEC",   "EXECUTE", "CREATE", "DROP",
                                         "ALTER",  "TRUNCATE", "GRANT", "REVOKE", "COPY", "LOCK"};
  auto among = [](const std::string& word, const auto& list) {
    return std::any_of(std::begin(list), std::end(list), [&](const char* w) { return word == w; });
  };
  if (!among(firstKeyword(sql), kQueries)) return false;
  for (size_t i = 0; i < sql.size();) {
    const size_t skipped = skipQuoted(sql, i);
    if (skipped == std::string_view::npos) return false;
    if (skipped != i) {
      i = skipped;
    } else if (isIdentifierStart(sql[i])) {
      std::string word;
      for (; i < sql.size() && (isIdentifierStart(sql[i]) ||
                                std::isdigit(static_cast<unsigned char>(sql[i])));
           ++i) {
        word.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(sql[i]))));
      }
      if (among(word, kChanges)) return false;
    } else {
      ++i;
    }
  }
  return true;
}

}  // namespace zorv::lib::odbc
