#include "utf8_text.h"

#include <cstdint>

namespace zorv {

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

bool isUtf8(std::string_view text) {
  const auto* in = reinterpret_cast<const uint8_t*>(text.data());
  const size_t n = text.size();
  for (size_t i = 0; i < n;) {
    const uint8_t lead = in[i];
    if (lead < 0x80) {
      ++i;
      continue;
    }
    // The second byte's range excludes overlong forms, surrogates and values
    // past U+10FFFF; later bytes are any continuation byte.
    size_t extra;
    uint8_t low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (n - i <= extra || in[i + 1] < low || in[i + 1] > high) return false;
    for (size_t k = 2; k <= extra; ++k) {
      if ((in[i + k] & 0xC0) != 0x80) return false;
    }
    i += extra + 1;
  }
  return true;
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
