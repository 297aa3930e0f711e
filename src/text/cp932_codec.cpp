#include "cp932_codec.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "cp932_table.h"
#include "plain_ascii.h"
#include "utf_codec.h"

namespace zorv {
namespace {

using plain_ascii::load;
using plain_ascii::notPlain;
using plain_ascii::store;

// Length of the leading run of bytes 0x01-0x7F, which need no conversion.
size_t asciiRun(const unsigned char* p, size_t n) {
  size_t i = 0;
  while (i + 8 <= n && notPlain(load<uint64_t>(p + i)) == 0) i += 8;
  while (i < n && p[i] != 0 && p[i] < 0x80) ++i;
  return i;
}

// Writes the UTF-8 form of one unit (never a surrogate) at out; returns
// the position after it.
char* writeUtf8(char16_t unit, char* out) {
  if (unit < 0x80) {
    *out++ = static_cast<char>(unit);
  } else if (unit < 0x800) {
    *out++ = static_cast<char>(0xC0 | (unit >> 6));
    *out++ = static_cast<char>(0x80 | (unit & 0x3F));
  } else {
    *out++ = static_cast<char>(0xE0 | (unit >> 12));
    *out++ = static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (unit & 0x3F));
  }
  return out;
}

}  // namespace

const Cp932Codec& Cp932Codec::instance() {
  static const Cp932Codec codec;
  return codec;
}

Cp932Codec::Cp932Codec()
    : table_(Cp932Table::instance()), asciiIdentity_(table_.asciiIsIdentity()) {}

Cp932Codec::Decoded Cp932Codec::decode(std::string_view cp932, char* out) const {
  const auto* p = reinterpret_cast<const unsigned char*>(cp932.data());
  const size_t n = cp932.size();
  char* const start = out;
  size_t i = 0;
  while (i < n) {
    if (asciiIdentity_) {
      const size_t run = asciiRun(p + i, n - i);
      std::memcpy(out, p + i, run);
      out += run;
      i += run;
      if (i == n) break;
    }
    const auto [unit, length] = table_.characterAt(p + i, p + n);
    if (unit == Cp932Table::kNone) return Decoded{static_cast<size_t>(out - start), false, i};
    out = writeUtf8(unit, out);
    i += length;
  }
  return Decoded{static_cast<size_t>(out - start), true, 0};
}

Cp932Codec::Encoded Cp932Codec::encode(const unsigned char* p, size_t n, char* out,
                                       size_t capacity) const {
  Encoded result;
  size_t i = 0;
  size_t w = 0;
  // Locals, not members: every byte written through out could alias a
  // member, which the compiler would then load again after each one.
  const bool asciiIdentity = asciiIdentity_;
  const Cp932Table& table = table_;
  while (i < n) {
    if (p[i] < 0x80 && p[i] != 0 && asciiIdentity) {
      // A short ASCII rest that fits, such as the digits after a name, is
      // copied whole; a longer run eight bytes at a time while checking them.
      const size_t left = n - i;
      if (left <= 16 && left <= capacity - w && plain_ascii::copyShortIfPlain(p + i, left, out + w)) {
        w += left;
        break;
      }
      const size_t start = i;
      while (i + 8 <= n && w + 8 <= capacity) {
        const uint64_t word = load<uint64_t>(p + i);
        if (notPlain(word) != 0) break;
        store(out + w, word);
        i += 8;
        w += 8;
      }
      if (i != start) continue;  // the rest may be short enough to copy whole
      while (i < n && p[i] != 0 && p[i] < 0x80) {
        if (w == capacity) {
          result.written = w;
          return result;
        }
        out[w++] = static_cast<char>(p[i++]);
      }
      continue;
    }
    // A run of three-byte characters with two-byte forms, most Japanese
    // text, in a loop of its own; anything else it meets is left to the
    // general path below (an encoded surrogate, ED A0-BF, among them: the
    // table has no form for one).
    if (size_t room = std::min((n - i) / 3, (capacity - w) / 2); room != 0) {
      const unsigned char* in = p + i;
      char* to = out + w;
      for (; room != 0; --room) {
        const unsigned first = in[0];
        const unsigned second = in[1];
        const unsigned third = in[2];
        if (first - 0xE1u > 0xEu || ((second & 0xC0u) | ((third & 0xC0u) >> 2)) != 0xA0u) break;
        const uint16_t packed = table.encode(
            static_cast<char16_t>(((first & 0x0Fu) << 12) | ((second & 0x3Fu) << 6) | (third & 0x3Fu)));
        if (packed <= 0xFF || packed == Cp932Table::kNoForm) break;
        to[0] = static_cast<char>(packed >> 8);
        to[1] = static_cast<char>(packed & 0xFF);
        to += 2;
        in += 3;
      }
      i = static_cast<size_t>(in - p);
      w = static_cast<size_t>(to - out);
    }
    if (i == n) break;
    if (p[i] < 0x80 && p[i] != 0 && asciiIdentity) continue;
    // Read as the UTF-16 path reads it: a malformed sequence is one U+FFFD a
    // byte, each of which has no CP932 form and becomes one '?'.
    const auto [code, length] = readUtf8Char(p + i, n - i);
    uint16_t packed = Cp932Table::kNoForm;
    if (code != 0 && code <= 0xFFFF) packed = table.encode(static_cast<char16_t>(code));
    if (packed == Cp932Table::kNoForm) {
      packed = '?';
      result.replaced = true;
    }
    const size_t need = packed > 0xFF ? 2 : 1;
    if (need > capacity - w) {
      result.written = w;
      return result;
    }
    if (need == 2) out[w++] = static_cast<char>(packed >> 8);
    out[w++] = static_cast<char>(packed & 0xFF);
    i += length;
  }
  result.written = w;
  result.complete = true;
  return result;
}

}  // namespace zorv
