#include "utf8.h"

#include <cstdint>

namespace zorv::check {

std::u16string utf16FromUtf8(std::string_view utf8) {
  std::u16string out;
  const auto* in = reinterpret_cast<const uint8_t*>(utf8.data());
  const size_t n = utf8.size();
  size_t i = 0;
  while (i < n) {
    const uint8_t lead = in[i];
    // Bytes after the lead; 4 marks a byte no character starts with.
    const size_t extra = lead < 0x80   ? 0
                         : lead < 0xC2 ? 4
                         : lead < 0xE0 ? 1
                         : lead < 0xF0 ? 2
                         : lead < 0xF5 ? 3
                                       : 4;
    uint32_t code = lead & (0x7Fu >> extra);
    bool whole = extra < 4 && i + extra < n;
    for (size_t k = 1; whole && k <= extra; ++k) {
      whole = (in[i + k] & 0xC0) == 0x80;
      code = code << 6 | (in[i + k] & 0x3Fu);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not characters.
    whole = whole && !(extra == 2 && (code < 0x800 || (code >= 0xD800 && code < 0xE000))) &&
            !(extra == 3 && (code < 0x10000 || code > 0x10FFFF));
    if (!whole) {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    i += extra + 1;
    if (code >= 0x10000) {
      code -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (code >> 10));
      out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    } else {
      out += static_cast<char16_t>(code);
    }
  }
  return out;
}

std::string utf8FromUtf16(std::u16string_view utf16) {
  std::string out;
  for (size_t i = 0; i < utf16.size(); ++i) {
    uint32_t code = utf16[i];
    if (code >= 0xD800 && code < 0xDC00 && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] < 0xE000) {
      code = 0x10000 + ((code - 0xD800) << 10) + (utf16[++i] - 0xDC00u);
    } else if (code >= 0xD800 && code < 0xE000) {
      code = 0xFFFD;
    }
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | code >> 6);
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | code >> 12);
      out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | code >> 18);
      out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return out;
}

}  // namespace zorv::check
