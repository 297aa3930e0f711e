#pragma once

#include <string>
#include <string_view>

namespace zorv::check {

// UTF-8 (command-line texts, report lines) to and from UTF-16 (what the
// bridge access layer narrows). A byte sequence that is no UTF-8 character
// becomes U+FFFD; a lone surrogate becomes U+FFFD too.
std::u16string utf16FromUtf8(std::string_view utf8);
std::string utf8FromUtf16(std::u16string_view utf16);

}  // namespace zorv::check
