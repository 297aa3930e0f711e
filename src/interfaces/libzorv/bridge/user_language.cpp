#include "user_language.h"

namespace zorv {

bool isJapaneseLocaleName(std::string_view name) {
  return name.substr(0, 2) == "ja" && (name.size() == 2 || name[2] == '_' || name[2] == '.');
}

std::string fillPattern(std::string_view pattern, std::initializer_list<std::string> values) {
  std::string out;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const size_t n = i + 2 < pattern.size() && pattern[i] == '{' && pattern[i + 2] == '}' &&
                             pattern[i + 1] >= '1' && pattern[i + 1] <= '9'
                         ? static_cast<size_t>(pattern[i + 1] - '1')
                         : values.size();
    if (n < values.size()) {
      out += *(values.begin() + n);
      i += 2;
    } else {
      out += pattern[i];
    }
  }
  return out;
}

}  // namespace zorv
