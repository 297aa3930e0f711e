#include "utf8.h"

#include "utf8_text.h"

namespace zorv::check {

std::u16string utf16FromUtf8(std::string_view utf8) { return zorv::utf16FromUtf8(utf8); }

std::string utf8FromUtf16(std::u16string_view utf16) { return zorv::utf8FromUtf16(utf16); }

}  // namespace zorv::check
