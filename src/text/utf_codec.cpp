#include "utf_codec.h"

#include <bit>
#include <cstdint>
#include <cstring>

#include "plain_ascii.h"

namespace zorv {

std::u16string utf16FromUtf8(std::string_view utf8) {
  std::u16string out(utf8.size(), u'\0');
  out.resize(writeUtf16(utf8, out.data()));
  return out;
}

size_t writeUtf16(std::string_view utf8, char16_t* out) {
  const auto* in = reinterpret_cast<const uint8_t*>(utf8.data());
  const size_t n = utf8.size();
  size_t written = 0;
  size_t i = 0;
  while (i < n) {
    auto [code, length] = readUtf8Char(in + i, n - i);
    // A pair takes two units for four bytes: never more units than bytes.
    i += length;
    if (code >= 0x10000) {
      code -= 0x10000;
      out[written++] = static_cast<char16_t>(0xD800 + (code >> 10));
      out[written++] = static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    } else {
      out[written++] = static_cast<char16_t>(code);
    }
  }
  return written;
}

std::string utf8FromUtf16(std::u16string_view utf16) {
  std::string out;
  appendUtf8(utf16, out);
  return out;
}

void appendUtf8(std::u16string_view utf16, std::string& out) {
  const size_t n = utf16.size();
  for (size_t i = 0; i < n; ++i) {
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
        cp = kReplacementCharacter;
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
      // ASCII, most of most values: a short rest is checked whole, a longer
      // one passed over eight bytes at a time up to its first other byte.
      const auto left = static_cast<size_t>(end - p);
      if (left <= 16) {
        if (plain_ascii::isShortAscii(p, left)) return true;
        ++p;
        continue;
      }
      const uint64_t high = plain_ascii::notAscii(plain_ascii::load<uint64_t>(p));
      if (high == 0) {
        p += 8;
        continue;
      }
      if constexpr (std::endian::native != std::endian::little) {
        ++p;
        continue;
      }
      p += std::countr_zero(high) / 8;
    }
    const unsigned char lead = *p;
    // A run of three bytes led by E1-EC or EE-EF, most Japanese text, needs
    // only their trail bytes checked: they are never overlong nor a surrogate.
    if (end - p >= 3) {
      const unsigned char* const last = end - 3;
      const unsigned char* q = p;
      if constexpr (std::endian::native == std::endian::little) {
        // Two characters a word while eight bytes remain: leads E1-EF but
        // ED (low nibbles 1-15 but 13), four trail bytes.
        constexpr uint32_t kGoodLeadNibbles = 0xDFFE;
        while (end - q >= 8) {
          const uint64_t word = plain_ascii::load<uint64_t>(q);
          if ((word & 0x0000C0C0F0C0C0F0ULL) != 0x00008080E08080E0ULL ||
              ((kGoodLeadNibbles >> (word & 0x0F)) & (kGoodLeadNibbles >> ((word >> 24) & 0x0F)) &
               1u) == 0) {
            break;
          }
          q += 6;
        }
      }
      while (q <= last) {
        const unsigned first = q[0];
        if (first - 0xE1u > 0xEu || first == 0xEDu ||
            ((q[1] & 0xC0u) | ((q[2] & 0xC0u) >> 2)) != 0xA0u) {
          break;
        }
        q += 3;
      }
      if (q != p) {
        p = q;
        continue;
      }
    }
    // The lead byte fixes the length and the range of the first trail byte.
    size_t trail = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
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

}  // namespace zorv
