#include "odbc_connection_string.h"

#include <algorithm>
#include <cctype>

namespace zorv::lib::odbc {
namespace {

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

}  // namespace

OdbcConnectionString::OdbcConnectionString(std::string_view text) : text_(text) {}

std::vector<OdbcConnectionString::Attribute> OdbcConnectionString::parse() const {
  std::vector<Attribute> attributes;
  const std::string_view s = text_.view();
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

std::vector<SecretString> OdbcConnectionString::values(std::string_view key) const {
  const std::string wanted = trimmedLower(key);
  std::vector<SecretString> found;
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

}  // namespace zorv::lib::odbc
