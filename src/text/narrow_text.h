#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace zorv {

// A narrow (CP932) text handed to the bridge library: `length()` bytes
// followed by a closing NUL that is not counted. The library may write into
// it; the bytes are owned by this object and released with it.
class NarrowCopy {
 public:
  NarrowCopy() = default;

  // The address the library reads, or writes for an answer buffer.
  char* data() { return bytes_.get(); }
  const char* data() const { return bytes_.get(); }
  size_t length() const { return length_; }
  // The bytes up to the length, as they stand now, the closing NUL not included.
  std::string_view bytes() const { return {bytes_.get(), length_}; }

 private:
  friend NarrowCopy narrowCopy(std::u16string_view wide);
  NarrowCopy(std::unique_ptr<char[]> bytes, size_t length)
      : bytes_(std::move(bytes)), length_(length) {}

  std::unique_ptr<char[]> bytes_;
  size_t length_ = 0;
};

// Converts every unit of `wide`, NUL units included, to CP932: each unit
// yields one or two bytes; a unit without a CP932 form (a lone surrogate
// among them) yields '?'. The copy of an n-unit text is thus at least n bytes.
NarrowCopy narrowCopy(std::u16string_view wide);

// Converts every byte of `narrow`, NUL bytes included, back to UTF-16. A
// byte sequence that is no CP932 character becomes U+30FB: a pair whose
// second byte is a trail byte is replaced as a whole; a lead byte before a
// NUL, before the end or before any other byte is replaced alone, and the
// byte after it is read again on its own, so no byte the library wrote is
// swallowed.
std::u16string wideText(std::string_view narrow);
inline std::u16string wideText(const NarrowCopy& copy) { return wideText(copy.bytes()); }

}  // namespace zorv
