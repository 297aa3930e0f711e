#include "connection_text.h"

#include "zorv_error.h"

namespace zorv::lib {
namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

[[noreturn]] void refuse(const std::string& reason, size_t offset) {
  throw ZorvError(kBadConnectionText,
                  "bad connection text: " + reason + " at character " + std::to_string(offset + 1));
}

}  // namespace

std::vector<ConnectionOption> ConnectionText::parse(std::string_view text) {
  std::vector<ConnectionOption> options;
  size_t i = 0;
  const size_t n = text.size();
  while (true) {
    while (i < n && isBlank(text[i])) ++i;
    if (i == n) break;

    const size_t keywordStart = i;
    while (i < n && !isBlank(text[i]) && text[i] != '=') ++i;
    if (i == keywordStart) refuse("a keyword is missing before '='", i);
    ConnectionOption option;
    option.keyword.assign(text.substr(keywordStart, i - keywordStart));
    while (i < n && isBlank(text[i])) ++i;
    if (i == n || text[i] != '=') refuse("'=' is missing after a keyword", keywordStart);
    ++i;
    while (i < n && isBlank(text[i])) ++i;

    if (i < n && text[i] == '\'') {
      const size_t quoteStart = i++;
      bool closed = false;
      while (i < n) {
        if (text[i] == '\\' && i + 1 < n) {
          option.value.push_back(text[i + 1]);
          i += 2;
        } else if (text[i] == '\'') {
          ++i;
          closed = true;
          break;
        } else {
          option.value.push_back(text[i++]);
        }
      }
      if (!closed) refuse("a quoted value is not closed", quoteStart);
    } else {
      while (i < n && !isBlank(text[i])) {
        if (text[i] == '\\') {
          ++i;
          if (i < n) option.value.push_back(text[i++]);
        } else {
          option.value.push_back(text[i++]);
        }
      }
    }
    options.push_back(std::move(option));
  }
  return options;
}

}  // namespace zorv::lib
