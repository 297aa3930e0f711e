#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zorv {

// The one UTF-8 <-> UTF-16 codec of the project (the ODBC engine, zorv-check,
// the Windows loader's messages), and the one reading of UTF-8 (the CP932
// codec's too). Neither direction fails: a byte sequence that is no UTF-8
// character becomes one U+FFFD per byte it spoils, and a lone surrogate
// becomes U+FFFD, which has no CP932 form and so reaches the console as '?'
// like any such character. NUL is a character like any other.

constexpr char32_t kReplacementCharacter = 0xFFFD;

// The character at the front of UTF-8 bytes and how many bytes it took.
struct Utf8Char {
  char32_t code;
  size_t length;
};

// Reads the character at p[0, n), n at least 1. A byte that starts no
// character (a trail byte, C0, C1, F5-FF, or a lead byte whose sequence is
// overlong, a surrogate, past U+10FFFF or cut short) reads as U+FFFD one
// byte long, and the bytes after it are read again on their own: so each
// byte of a malformed sequence becomes one U+FFFD. Inline, for the
// conversion loops that call it a character at a time.
inline Utf8Char readUtf8Char(const unsigned char* p, size_t n) {
  const unsigned char lead = p[0];
  // Bytes after the lead; 4 marks a byte no character starts with.
  const size_t extra = lead < 0x80   ? 0
                       : lead < 0xC2 ? 4
                       : lead < 0xE0 ? 1
                       : lead < 0xF0 ? 2
                       : lead < 0xF5 ? 3
                                     : 4;
  char32_t code = lead & (0x7Fu >> extra);
  bool whole = extra < 4 && extra < n;
  for (size_t k = 1; whole && k <= extra; ++k) {
    whole = (p[k] & 0xC0) == 0x80;
    code = code << 6 | (p[k] & 0x3Fu);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not characters.
  whole = whole && !(extra == 2 && (code < 0x800 || (code >= 0xD800 && code < 0xE000))) &&
          !(extra == 3 && (code < 0x10000 || code > 0x10FFFF));
  if (!whole) return {kReplacementCharacter, 1};
  return {code, extra + 1};
}

std::u16string utf16FromUtf8(std::string_view utf8);
// Writes the UTF-16 form of `utf8` to out[0, utf8.size()), room that always
// suffices, and returns the units written: for callers that own the buffer.
size_t writeUtf16(std::string_view utf8, char16_t* out);
std::string utf8FromUtf16(std::u16string_view utf16);
// Appends the UTF-8 form of `utf16` to `out`; runs of ASCII are copied in one
// step, since most values are ASCII.
void appendUtf8(std::u16string_view utf16, std::string& out);
// True when the bytes are well-formed UTF-8: shortest forms, no surrogates,
// nothing above U+10FFFF, no sequence cut short.
bool isWellFormedUtf8(std::string_view bytes);

}  // namespace zorv
