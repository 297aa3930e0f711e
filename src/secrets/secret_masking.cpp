#include "secret_masking.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>

#include "cp932_table.h"

namespace zorv::secrets {

namespace {

// One CP932 character of the text: where its bytes lie, and its ASCII value
// when it is a single byte below 0x80 (0 otherwise, never a syntax mark).
struct Character {
  size_t begin;
  size_t end;
  char ascii;
};

// The characters of one level of the text: the text itself, or a value
// inside it with its quotes, escapes or braces undone.
using Chars = std::vector<const Character*>;

std::vector<Character> charactersOf(std::string_view text) {
  const Cp932Table& table = Cp932Table::instance();
  std::vector<Character> out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const size_t length = table.characterAt(text, i).length;
    const auto byte = static_cast<uint8_t>(text[i]);
    out.push_back({i, i + length, length == 1 && byte < 0x80 ? static_cast<char>(byte) : '\0'});
    i += length;
  }
  return out;
}

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = lower(c);
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The lowercase ASCII spelling of `chars` (percent escapes undone when
// `percent`); a character outside ASCII stays a '\x80' that spells nothing.
std::string spelling(const Chars& chars, bool percent = false) {
  std::string out;
  for (size_t i = 0; i < chars.size(); ++i) {
    char c = chars[i]->ascii;
    if (percent && c == '%' && i + 2 < chars.size() && hexValue(chars[i + 1]->ascii) >= 0 &&
        hexValue(chars[i + 2]->ascii) >= 0) {
      c = static_cast<char>(hexValue(chars[i + 1]->ascii) * 16 + hexValue(chars[i + 2]->ascii));
      i += 2;
    }
    out += c ? lower(c) : '\x80';
  }
  return out;
}

bool startsWith(const Chars& chars, std::string_view prefix) {
  return chars.size() >= prefix.size() &&
         spelling(Chars(chars.begin(), chars.begin() + static_cast<std::ptrdiff_t>(prefix.size()))) ==
             prefix;
}

bool holds(const Chars& chars, char mark) {
  return std::any_of(chars.begin(), chars.end(), [&](const Character* c) { return c->ascii == mark; });
}

Chars slice(const Chars& chars, size_t begin, size_t end) {
  return Chars(chars.begin() + static_cast<std::ptrdiff_t>(begin),
               chars.begin() + static_cast<std::ptrdiff_t>(end));
}

// Nesting deeper than this is read no further: no driver or libpq expands
// a value more than twice.
constexpr int kDeepest = 8;

class Masker {
 public:
  explicit Masker(std::string_view text) : text_(text), characters_(charactersOf(text)) {}

  Chars all() const {
    Chars out;
    out.reserve(characters_.size());
    for (const Character& c : characters_) out.push_back(&c);
    return out;
  }

  // keyword=value pairs separated by blanks, as libpq and our bridge read them.
  void pairs(const Chars& s, int depth);
  // An ODBC connection string's attributes.
  void odbc(const Chars& s, int depth);
  // A postgresql:// or postgres:// URI; `raw`: the text's own bytes, not a
  // value with its quotes and escapes undone.
  void uri(const Chars& s, bool raw = false);
  // How a value that is no secret itself is read for the secrets it may
  // hold: as its reader takes it (odbc= an ODBC string, pqopt= and dbname=
  // libpq pairs), any other by its look (a ';' makes it an ODBC string).
  enum class Reading { ByLook, Pairs, Odbc };
  void inside(const Chars& value, int depth, Reading reading);
  // Masks the bytes from the first to the last of `raw`; `value` is what
  // the reader takes from them.
  void mask(const Chars& raw, const Chars& value);

  Masked result();

 private:
  std::string_view text_;
  std::vector<Character> characters_;
  // An escape of two bytes read as one character ("}}" in braces): a mask
  // covers both bytes or neither, so no half of the escape is left to change
  // how the text around it reads. A deque keeps their addresses.
  std::deque<Character> escapes_;
  struct Range {
    size_t begin, end;
  };
  std::vector<Range> ranges_;
  std::vector<std::string> secrets_;
};

void Masker::mask(const Chars& raw, const Chars& value) {
  if (raw.empty()) return;
  ranges_.push_back({raw.front()->begin, raw.back()->end});
  std::string secret;
  // An ASCII character is itself, also where it was written as an escape.
  for (const Character* c : value) {
    if (c->ascii != 0) {
      secret += c->ascii;
    } else {
      secret.append(text_.substr(c->begin, c->end - c->begin));
    }
  }
  if (!secret.empty()) secrets_.push_back(std::move(secret));
}

void Masker::inside(const Chars& value, int depth, Reading reading) {
  // A value that looks like a URI is read as one and as pairs too: a secret
  // either reading finds is masked.
  if (startsWith(value, "postgresql://") || startsWith(value, "postgres://")) uri(value);
  if (holds(value, '=') && depth < kDeepest) {
    if (reading == Reading::Odbc || (reading == Reading::ByLook && holds(value, ';'))) {
      odbc(value, depth + 1);
    } else {
      pairs(value, depth + 1);
    }
  }
}

void Masker::pairs(const Chars& c, int depth) {
  const size_t n = c.size();
  size_t i = 0;
  while (i < n) {
    while (i < n && isBlank(c[i]->ascii)) ++i;
    if (i == n) break;
    const size_t keyBegin = i;
    while (i < n && !isBlank(c[i]->ascii) && c[i]->ascii != '=') ++i;
    const Chars keyword = slice(c, keyBegin, i);
    size_t k = i;
    while (k < n && isBlank(c[k]->ascii)) ++k;
    if (keyword.empty() || k == n || c[k]->ascii != '=') {
      // No pair here: the reader refuses such a text; go on after the word.
      i = std::max(i + (keyword.empty() ? 1 : 0), k);
      continue;
    }
    i = k + 1;
    while (i < n && isBlank(c[i]->ascii)) ++i;

    Chars value;  // the value's characters, escapes taken
    size_t rawBegin = i, rawEnd = i;
    if (i < n && c[i]->ascii == '\'') {
      rawBegin = ++i;
      rawEnd = n;  // one that never closes runs to the end
      while (i < n) {
        if (c[i]->ascii == '\\' && i + 1 < n) {
          value.push_back(c[i + 1]);
          i += 2;
        } else if (c[i]->ascii == '\'') {
          rawEnd = i++;
          break;
        } else {
          value.push_back(c[i++]);
        }
      }
      if (rawEnd == n) rawEnd = i;
    } else {
      while (i < n && !isBlank(c[i]->ascii)) {
        if (c[i]->ascii == '\\') ++i;
        if (i < n) value.push_back(c[i++]);
      }
      rawEnd = i;
    }
    const std::string name = spelling(keyword);
    if (isSecretKey(name)) {
      mask(slice(c, rawBegin, rawEnd), value);
    } else {
      inside(value, depth,
             name == "odbc" ? Reading::Odbc : name == "dbname" ? Reading::Pairs : Reading::ByLook);
    }
  }
}

void Masker::odbc(const Chars& s, int depth) {
  const size_t n = s.size();
  size_t i = 0;
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
    size_t j = equals + 1;
    while (j < n && isBlank(s[j]->ascii)) ++j;
    const size_t valueBegin = j;
    Chars value;  // braces and "}}" undone
    if (j < n && s[j]->ascii == '{') {
      for (++j; j < n; ++j) {
        if (s[j]->ascii != '}') {
          value.push_back(s[j]);
        } else if (j + 1 < n && s[j + 1]->ascii == '}') {
          escapes_.push_back({s[j]->begin, s[j + 1]->end, '}'});
          value.push_back(&escapes_.back());
          ++j;
        } else {
          ++j;
          break;
        }
      }
      while (j < n && s[j]->ascii != ';') ++j;
    } else {
      while (j < n && s[j]->ascii != ';') value.push_back(s[j++]);
    }
    const std::string name = spelling(slice(s, keyBegin, keyEnd));
    if (isSecretKey(name)) {
      mask(slice(s, valueBegin, j), value);
    } else {
      inside(value, depth, name == "pqopt" ? Reading::Pairs : Reading::ByLook);
    }
    i = j + 1;
  }
}

void Masker::uri(const Chars& s, bool raw) {
  // A value that is a URI is one to its end: libpq reads a blank in it as
  // part of it. Read in a text's own bytes, a blank, quote, backslash or '='
  // ends it: the pairs reading of the same bytes needs them where they are
  // (and masks a query's secret parameters itself, its keyword holding
  // "?password").
  size_t n = 0;
  while (n < s.size() && !(raw && (isBlank(s[n]->ascii) || s[n]->ascii == '\'' ||
                                   s[n]->ascii == '\\' || s[n]->ascii == '='))) {
    ++n;
  }
  size_t i = 0;
  while (i + 2 < n && !(s[i]->ascii == ':' && s[i + 1]->ascii == '/' && s[i + 2]->ascii == '/')) ++i;
  i += 3;
  // user:password@host: libpq looks for the user information up to the
  // first '/', so a '?' or '#' before the '@' is part of the password; the
  // last '@' there ends it.
  size_t hostEnd = i;
  while (hostEnd < n && s[hostEnd]->ascii != '/') ++hostEnd;
  size_t at = hostEnd;
  while (at > i && s[at - 1]->ascii != '@') --at;
  if (at > i) {
    size_t colon = i;
    while (colon < at - 1 && s[colon]->ascii != ':') ++colon;
    if (colon < at - 1) mask(slice(s, colon + 1, at - 1), slice(s, colon + 1, at - 1));
  }
  // libpq splits its parameters at '&' alone and knows no fragment: a '#'
  // is part of a value. Every "key=value" after a '?' or '&' is read as a
  // parameter, which covers libpq's reading and masks more where it differs.
  for (size_t p = i; p < n; ++p) {
    if (s[p]->ascii != '?' && s[p]->ascii != '&') continue;
    size_t end = p + 1;
    while (end < n && s[end]->ascii != '&') ++end;
    size_t equals = p + 1;
    while (equals < end && s[equals]->ascii != '=') ++equals;
    if (equals < end && isSecretKey(spelling(slice(s, p + 1, equals), true))) {
      mask(slice(s, equals + 1, end), slice(s, equals + 1, end));
    }
  }
}

Masked Masker::result() {
  // Two readings of one value may find overlapping ranges: each run of
  // overlapping ones becomes one mask.
  std::sort(ranges_.begin(), ranges_.end(),
            [](const Range& a, const Range& b) { return a.begin < b.begin; });
  Masked out;
  out.masked = !ranges_.empty();
  size_t at = 0;
  for (size_t r = 0; r < ranges_.size();) {
    const size_t begin = ranges_[r].begin;
    size_t end = ranges_[r].end;
    for (++r; r < ranges_.size() && ranges_[r].begin < end; ++r) {
      end = std::max(end, ranges_[r].end);
    }
    out.text.append(text_.substr(at, begin - at));
    out.text.append(kMask);
    at = end;
  }
  out.text.append(text_.substr(at));
  out.secrets = std::move(secrets_);
  return out;
}

bool isWordCharacter(const Character* c) {
  const char a = c->ascii;
  return a == 0 || a == '_' || a == '$' || (a >= '0' && a <= '9') || (a >= 'a' && a <= 'z') ||
         (a >= 'A' && a <= 'Z');
}

}  // namespace

bool isSecretKey(std::string_view keyword) {
  std::string lowered(keyword);
  for (char& c : lowered) c = lower(c);
  for (const std::string_view word : {"pwd", "password", "passwd", "secret", "token"}) {
    if (lowered.find(word) != std::string::npos) return true;
  }
  return false;
}

Masked maskConnection(std::string_view connection) {
  Masker masker(connection);
  const Chars all = masker.all();
  // A text that is a URI for libpq may still be read as pairs: both readings count.
  if (startsWith(all, "postgresql://") || startsWith(all, "postgres://")) masker.uri(all, true);
  masker.pairs(all, 0);
  return masker.result();
}

namespace {
// Whether the bytes may spell a keyword naming a secret: a quick test that
// spares the statements of every other call the full reading.
bool maySpellSecret(std::string_view bytes) {
  const auto folded = [](char a, char b) { return lower(a) == b; };
  for (const std::string_view part : {"pwd", "passw", "secret", "token"}) {
    if (std::search(bytes.begin(), bytes.end(), part.begin(), part.end(), folded) != bytes.end()) {
      return true;
    }
  }
  return false;
}
}  // namespace

Masked maskStatement(std::string_view statement) {
  if (!maySpellSecret(statement)) return {std::string(statement), false, {}};
  Masker masker(statement);
  const Chars c = masker.all();
  const size_t n = c.size();
  std::vector<std::string> words;  // this statement's words so far, lowercase
  bool afterSecret = false;        // the last word named a secret
  auto applies = [&] { return !words.empty() && (words[0] == "create" || words[0] == "alter"); };
  for (size_t i = 0; i < n;) {
    const char a = c[i]->ascii;
    if (a == ';') {
      words.clear();
      afterSecret = false;
      ++i;
    } else if (a == '-' && i + 1 < n && c[i + 1]->ascii == '-') {
      while (i < n && c[i]->ascii != '\n') ++i;
    } else if (a == '/' && i + 1 < n && c[i + 1]->ascii == '*') {
      for (i += 2; i < n && !(c[i]->ascii == '*' && i + 1 < n && c[i + 1]->ascii == '/'); ++i) {
      }
      i += 2;
    } else if (a == '\'' || ((a == 'e' || a == 'E') && i + 1 < n && c[i + 1]->ascii == '\'' &&
                             (i == 0 || !isWordCharacter(c[i - 1])))) {
      // A string literal: '' for a quote; E'...' also takes backslash escapes.
      const bool escapes = a != '\'';
      i += escapes ? 2 : 1;
      const size_t begin = i;
      Chars value;
      while (i < n) {
        if (escapes && c[i]->ascii == '\\' && i + 1 < n) {
          value.push_back(c[i + 1]);
          i += 2;
        } else if (c[i]->ascii == '\'' && i + 1 < n && c[i + 1]->ascii == '\'') {
          value.push_back(c[i]);
          i += 2;
        } else if (c[i]->ascii == '\'') {
          break;
        } else {
          value.push_back(c[i++]);
        }
      }
      if (afterSecret && applies()) masker.mask(slice(c, begin, i), value);
      afterSecret = false;
      ++i;
    } else if (a == '$' && (i == 0 || !isWordCharacter(c[i - 1]))) {
      // A dollar-quoted literal, $$...$$ or $tag$...$tag$.
      size_t tagEnd = i + 1;
      while (tagEnd < n && c[tagEnd]->ascii != '$' && isWordCharacter(c[tagEnd])) ++tagEnd;
      if (tagEnd == n || c[tagEnd]->ascii != '$') {
        ++i;
        continue;
      }
      const std::string tag = spelling(slice(c, i, tagEnd + 1));
      const size_t begin = tagEnd + 1;
      size_t end = begin;
      while (end < n && !(c[end]->ascii == '$' && end + tag.size() <= n &&
                          spelling(slice(c, end, end + tag.size())) == tag)) {
        ++end;
      }
      if (afterSecret && applies()) masker.mask(slice(c, begin, end), slice(c, begin, end));
      afterSecret = false;
      i = std::min(n, end + tag.size());
    } else if (a == '"') {
      // A quoted name: an option may be spelt "password".
      const size_t begin = ++i;
      while (i < n && !(c[i]->ascii == '"' && !(i + 1 < n && c[i + 1]->ascii == '"'))) {
        i += c[i]->ascii == '"' ? 2 : 1;
      }
      const std::string word = spelling(slice(c, begin, std::min(i, n)));
      words.push_back(word);
      afterSecret = isSecretKey(word);
      ++i;
    } else if (isWordCharacter(c[i])) {
      const size_t begin = i;
      while (i < n && isWordCharacter(c[i])) ++i;
      const std::string word = spelling(slice(c, begin, i));
      words.push_back(word);
      afterSecret = isSecretKey(word);
    } else {
      ++i;  // blanks, parentheses, commas, '=': the literal may still follow
    }
  }
  return masker.result();
}

}  // namespace zorv::secrets
