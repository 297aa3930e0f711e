#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "plain_ascii.h"
#include "secret_text.h"

namespace zorv {
class Cp932Table;
}

namespace zorv::lib {

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

  // Appends the UTF-8 form of a CP932 text to out; false when the text is
  // not valid CP932, reporting the offending byte's offset in badOffset.
  bool toUtf8(std::string_view cp932, std::string& out, size_t* badOffset = nullptr) const;
  // The same for a text that may hold a password.
  bool toUtf8(std::string_view cp932, SecretString& out, size_t* badOffset = nullptr) const;

  // Writes the CP932 form of a UTF-8 text into out[0, capacity), stopping
  // before the first character that does not fit whole. Characters without a
  // CP932 form, malformed UTF-8 and NUL bytes are written as '?'. Inline for
  // the short ASCII field most rows are made of.
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
  Cp932Codec();
  template <class String>
  bool decode(std::string_view cp932, String& out, size_t* badOffset) const;
  // fromUtf8 for text that is not plain ASCII or does not fit; kept out of
  // line so the common case stays a small function.
  [[gnu::noinline]] Encoded encode(const unsigned char* p, size_t n, char* out,
                                   size_t capacity) const;

  const Cp932Table& table_;
  bool asciiIdentity_;
};

}  // namespace zorv::lib
