#pragma once

#include <string>
#include <string_view>

namespace zorv {

// UTF-8 (settings, records, reports) to and from UTF-16. A byte sequence
// that is no UTF-8 character becomes U+FFFD; a lone surrogate becomes U+FFFD
// too.
std::u16string utf16FromUtf8(std::string_view utf8);
std::string utf8FromUtf16(std::u16string_view utf16);

// Whether `text` is well-formed UTF-8 throughout: no overlong form, no
// surrogate, nothing past U+10FFFF, no character cut off at the end.
bool isUtf8(std::string_view text);

}  // namespace zorv
