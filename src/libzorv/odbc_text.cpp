#include "odbc_text.h"

#include <algorithm>
#include <cctype>

namespace zorv::lib::odbc {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

std::string trimmedLower(std::string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  std::string key(text.substr(begin, end - begin));
  std::transform(key.begin(), key.end(), key.begin(), lower);
  return key;
}

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

std::u16string toUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  const size_t n = utf8.size();
  for (size_t i = 0; i < n;) {
    const unsigned char b = p[i];
    char32_t cp = kReplacement;
    size_t length = 1;
    if (b < 0x80) {
      cp = b;
    } else {
      const size_t need = b >= 0xF0 && b <= 0xF4 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 && b < 0xE0 ? 2 : 0;
      if (need != 0 && i + need <= n) {
        char32_t value = b & (0xFF >> (need + 1));
        bool ok = true;
        for (size_t k = 1; k < need && ok; ++k) {
          ok = (p[i + k] & 0xC0) == 0x80;
          value = (value << 6) | (p[i + k] & 0x3F);
        }
        const char32_t minimum = need == 2 ? 0x80 : need == 3 ? 0x800 : 0x10000;
        if (ok && value >= minimum && value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF)) {
          cp = value;
          length = need;
        }
      }
    }
    if (cp >= 0x10000) {
      out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += length;
  }
  return out;
}

void appendUtf8(std::u16string_view utf16, std::string& out) {
  const size_t n = utf16.size();
  for (size_t i = 0; i < n; ++i) {
    // Most fields are ASCII: a run of it is copied in one step.
    size_t run = i;
    while (run < n && utf16[run] < 0x80) ++run;
    if (run > i) {
      const size_t at = out.size();
      out.resize(at + (run - i));
      char* p = out.data() + at;
      for (size_t k = i; k < run; ++k) *p++ = static_cast<char>(utf16[k]);
      i = run;
      if (i == n) break;
    }
    char32_t cp = utf16[i];
    if (cp >= 0xD800 && cp <= 0xDFFF) {
      if (cp < 0xDC00 && i + 1 < n && utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
        ++i;
      } else {
        cp = kReplacement;
      }
    }
    if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    }
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

bool isWellFormedUtf8(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* const end = p + bytes.size();
  while (p < end) {
    if (*p < 0x80) {
      ++p;
      continue;
    }
    // The lead byte fixes the length and the range of the first trail byte.
    size_t trail = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    const unsigned char lead = *p;
    if (lead >= 0xC2 && lead <= 0xDF) {
      trail = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      trail = 2;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      trail = 3;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (static_cast<size_t>(end - p) <= trail) return false;
    if (p[1] < low || p[1] > high) return false;
    for (size_t k = 2; k <= trail; ++k) {
      if (p[k] < 0x80 || p[k] > 0xBF) return false;
    }
    p += trail + 1;
  }
  return true;
}

OdbcConnectionString::OdbcConnectionString(std::string text) : text_(std::move(text)) {}

std::vector<OdbcConnectionString::Attribute> OdbcConnectionString::parse() const {
  std::vector<Attribute> attributes;
  const std::string_view s = text_;
  size_t i = 0;
  while (i < s.size()) {
    const size_t equals = s.find_first_of("=;", i);
    if (equals == std::string_view::npos || s[equals] == ';') {
      i = equals == std::string_view::npos ? s.size() : equals + 1;
      continue;
    }
    Attribute attribute{trimmedLower(s.substr(i, equals - i)), {}};
    size_t j = equals + 1;
    while (j < s.size() && isBlank(s[j])) ++j;
    if (j < s.size() && s[j] == '{') {
      for (++j; j < s.size(); ++j) {
        if (s[j] == '}') {
          if (j + 1 < s.size() && s[j + 1] == '}') {
            attribute.value.push_back('}');
            ++j;
          } else {
            ++j;
            break;
          }
        } else {
          attribute.value.push_back(s[j]);
        }
      }
      const size_t end = s.find(';', j);
      i = end == std::string_view::npos ? s.size() : end + 1;
    } else {
      const size_t end = s.find(';', j);
      attribute.value.assign(s.substr(j, (end == std::string_view::npos ? s.size() : end) - j));
      i = end == std::string_view::npos ? s.size() : end + 1;
    }
    attributes.push_back(std::move(attribute));
  }
  return attributes;
}

bool OdbcConnectionString::has(std::string_view key) const {
  const std::string wanted = trimmedLower(key);
  for (const auto& attribute : parse()) {
    if (attribute.key == wanted) return true;
  }
  return false;
}

std::vector<std::string> OdbcConnectionString::values(std::string_view key) const {
  const std::string wanted = trimmedLower(key);
  std::vector<std::string> found;
  for (auto& attribute : parse()) {
    if (attribute.key == wanted) found.push_back(std::move(attribute.value));
  }
  return found;
}

void OdbcConnectionString::addIfAbsent(std::string_view key, std::string_view value) {
  if (has(key)) return;
  size_t end = text_.size();
  while (end > 0 && isBlank(text_[end - 1])) --end;
  text_.resize(end);
  if (!text_.empty() && text_.back() != ';') text_.push_back(';');
  text_.append(key).push_back('=');
  if (value.find_first_of(";{}") != std::string_view::npos) {
    text_.push_back('{');
    for (char c : value) {
      text_.push_back(c);
      if (c == '}') text_.push_back('}');
    }
    text_.push_back('}');
  } else {
    text_.append(value);
  }
}

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

}  // namespace zorv::lib::odbc
