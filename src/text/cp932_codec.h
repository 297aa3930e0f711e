#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "plain_ascii.h"

namespace zorv {

class Cp932Table;

// Converts the console's CP932 texts to the databases' UTF-8 and back with
// table lookups only; ASCII runs are copied as they are.
class Cp932Codec {
 public:
  // What fromUtf8 wrote.
  struct Encoded {
    size_t written = 0;      // bytes written to the output
    bool complete = false;   // every character fitted
    bool replaced = false;   // some character had no CP932 form and became '?'
  };

  // The codec of the process, over the shared CP932 tables.
  static const Cp932Codec& instance();

  // True when bytes 0x01-0x7F are their own CP932 form, as on every real
  // CP932 system.
  bool asciiIsIdentity() const { return asciiIdentity_; }

  // Appends the UTF-8 form of a CP932 text to out, a std::string or any
  // string type with resize and data (one that wipes its buffers, for a text
  // that may hold a password); false when the text is not valid CP932,
  // reporting the offending byte's offset in badOffset. The conversion writes
  // straight into out's own buffer, so no copy of the text is left elsewhere.
  template <class String>
  bool toUtf8(std::string_view cp932, String& out, size_t* badOffset = nullptr) const {
    const size_t at = out.size();
    out.resize(at + cp932.size() * kMostUtf8PerByte);
    const Decoded decoded = decode(cp932, out.data() + at);
    out.resize(at + decoded.written);
    if (!decoded.valid && badOffset != nullptr) *badOffset = decoded.badOffset;
    return decoded.valid;
  }

  // Writes the CP932 form of a UTF-8 text into out[0, capacity), stopping
  // before the first character that does not fit whole. Characters without a
  // CP932 form and NUL bytes are written as '?'; malformed UTF-8 is read as
  // readUtf8Char reads it, one U+FFFD and so one '?' a byte. Inline for the
  // short ASCII field most rows are made of.
  [[gnu::always_inline]] Encoded fromUtf8(std::string_view utf8, char* out,
                                          size_t capacity) const {
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const size_t n = utf8.size();
    if (n <= 16 && n <= capacity && asciiIdentity_ && plain_ascii::copyShortIfPlain(p, n, out)) {
      return Encoded{n, true, false};
    }
    return encode(p, n, out, capacity);
  }

 private:
  // A CP932 byte, alone or with its trail byte, is one character of at most
  // three UTF-8 bytes.
  static constexpr size_t kMostUtf8PerByte = 3;
  struct Decoded {
    size_t written = 0;    // bytes written, up to the first invalid byte
    bool valid = true;
    size_t badOffset = 0;  // where the text stopped being CP932
  };

  Cp932Codec();
  // Writes the UTF-8 form of cp932 to out, which has room for
  // kMostUtf8PerByte bytes a byte.
  Decoded decode(std::string_view cp932, char* out) const;
  // fromUtf8 for text that is not plain ASCII or does not fit; kept out of
  // line so the common case stays a small function.
  [[gnu::noinline]] Encoded encode(const unsigned char* p, size_t n, char* out,
                                   size_t capacity) const;

  const Cp932Table& table_;
  bool asciiIdentity_;
};

}  // namespace zorv
