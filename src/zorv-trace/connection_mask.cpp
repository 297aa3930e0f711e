#include "connection_mask.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "cp932_table.h"

namespace zorv::trace {

namespace {

// One CP932 character of the text: where its bytes lie, and its ASCII value
// when it is a single byte below 0x80 (0 otherwise, never a syntax mark).
struct Character {
  size_t begin;
  size_t end;
  char ascii;
};

std::vector<Character> charactersOf(std::string_view text) {
  const Cp932Table& table = Cp932Table::instance();
  std::vector<Character> out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto byte = static_cast<uint8_t>(text[i]);
    if (byte < 0x80) {
      out.push_back({i, i + 1, static_cast<char>(byte)});
      ++i;
    } else if (table.isLead(byte) && i + 1 < text.size() &&
               table.isTrail(static_cast<uint8_t>(text[i + 1]))) {
      out.push_back({i, i + 2, 0});
      i += 2;
    } else {
      out.push_back({i, i + 1, 0});
      ++i;
    }
  }
  return out;
}

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Whether the characters spell `word` (lowercase ASCII) in any letter case.
bool spells(const std::vector<const Character*>& chars, std::string_view word) {
  if (chars.size() != word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    if (lower(chars[i]->ascii) != word[i]) return false;
  }
  return true;
}

// Bytes to replace, and what with.
struct ByteRange {
  size_t begin;
  size_t end;
  std::string_view mask;
};

// A quoted value keeps its quotes, so what follows the closing quote
// without a blank (another pair) stays apart from it.
// One that never closes stays unclosed, so the bridge refuses the text as before.
constexpr std::string_view kQuotedMask = "'********'";
constexpr std::string_view kUnclosedMask = "'********";

// The byte ranges of PWD and PASSWORD values in an ODBC connection string
// given as the characters of the unescaped odbc= value.
void odbcPasswordRanges(const std::vector<const Character*>& s, std::vector<ByteRange>& ranges) {
  size_t i = 0;
  const size_t n = s.size();
  while (i < n) {
    size_t equals = i;
    while (equals < n && s[equals]->ascii != '=' && s[equals]->ascii != ';') ++equals;
    if (equals == n || s[equals]->ascii == ';') {
      i = equals + 1;
      continue;
    }
    size_t keyBegin = i, keyEnd = equals;
    while (keyBegin < keyEnd && isBlank(s[keyBegin]->ascii)) ++keyBegin;
    while (keyEnd > keyBegin && isBlank(s[keyEnd - 1]->ascii)) --keyEnd;
    const std::vector<const Character*> key(s.begin() + static_cast<std::ptrdiff_t>(keyBegin),
                                            s.begin() + static_cast<std::ptrdiff_t>(keyEnd));
    size_t j = equals + 1;
    while (j < n && isBlank(s[j]->ascii)) ++j;
    const size_t valueBegin = j;
    if (j < n && s[j]->ascii == '{') {
      for (++j; j < n; ++j) {
        if (s[j]->ascii != '}') continue;
        if (j + 1 < n && s[j + 1]->ascii == '}') {
          ++j;
        } else {
          ++j;
          break;
        }
      }
    }
    while (j < n && s[j]->ascii != ';') ++j;
    if (j > valueBegin && (spells(key, "pwd") || spells(key, "password"))) {
      ranges.push_back({s[valueBegin]->begin, s[j - 1]->end, kMaskedPassword});
    }
    i = j + 1;
  }
}

}  // namespace

MaskedConnection maskPasswords(std::string_view connection) {
  const std::vector<Character> c = charactersOf(connection);
  const size_t n = c.size();
  std::vector<ByteRange> ranges;
  size_t i = 0;
  while (i < n) {
    while (i < n && isBlank(c[i].ascii)) ++i;
    if (i == n) break;
    std::vector<const Character*> keyword;
    while (i < n && !isBlank(c[i].ascii) && c[i].ascii != '=') keyword.push_back(&c[i++]);
    size_t k = i;
    while (k < n && isBlank(c[k].ascii)) ++k;
    if (keyword.empty() || k == n || c[k].ascii != '=') {
      // No pair here: the bridge refuses such a text; go on after the word.
      i = std::max(i + (keyword.empty() ? 1 : 0), k);
      continue;
    }
    i = k + 1;
    while (i < n && isBlank(c[i].ascii)) ++i;

    const size_t valueBegin = i;
    std::vector<const Character*> value;  // the value's characters, escapes taken
    const bool quoted = i < n && c[i].ascii == '\'';
    bool closed = false;
    if (quoted) {
      for (++i; i < n;) {
        if (c[i].ascii == '\\' && i + 1 < n) {
          value.push_back(&c[i + 1]);
          i += 2;
        } else if (c[i].ascii == '\'') {
          ++i;
          closed = true;
          break;
        } else {
          value.push_back(&c[i++]);
        }
      }
    } else {
      while (i < n && !isBlank(c[i].ascii)) {
        if (c[i].ascii == '\\') ++i;
        if (i < n) value.push_back(&c[i++]);
      }
    }
    if (i > valueBegin && spells(keyword, "password")) {
      ranges.push_back({c[valueBegin].begin, c[i - 1].end,
                        !quoted ? kMaskedPassword : closed ? kQuotedMask : kUnclosedMask});
    } else if (spells(keyword, "odbc")) {
      odbcPasswordRanges(value, ranges);
    }
  }

  MaskedConnection out;
  out.masked = !ranges.empty();
  size_t at = 0;
  for (const ByteRange& range : ranges) {  // in text order, never overlapping
    out.text.append(connection.substr(at, range.begin - at));
    out.text.append(range.mask);
    at = range.end;
  }
  out.text.append(connection.substr(at));
  return out;
}

}  // namespace zorv::trace
