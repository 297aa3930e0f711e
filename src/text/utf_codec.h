#pragma once

#include <string>
#include <string_view>

namespace zorv {

// The one UTF-8 <-> UTF-16 codec of the project (the ODBC engine, zorv-check,
// the Windows loader's messages). Neither direction fails: a byte sequence
// that is no UTF-8 character becomes one U+FFFD per byte it spoils, and a
// lone surrogate becomes U+FFFD, which has no CP932 form and so reaches the
// console as '?' like any such character. NUL is a character like any other.
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
