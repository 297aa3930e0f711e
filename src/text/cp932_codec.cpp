#include "cp932_codec.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "cp932_table.h"
#include "plain_ascii.h"

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

bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Decodes one UTF-8 character at p[0, n); returns its length and sets code
// point, or -1 in cp for a malformed sequence of the returned length.
size_t decodeUtf8(const unsigned char* p, size_t n, int32_t& cp) {
  const unsigned char lead = p[0];
  cp = -1;
  if (lead < 0x80) {
    cp = lead;
    return 1;
  }
  if (lead >= 0xC2 && lead <= 0xDF) {
    if (n < 2 || !isContinuation(p[1])) return 1;
    cp = ((lead & 0x1F) << 6) | (p[1] & 0x3F);
    return 2;
  }
  if (lead >= 0xE0 && lead <= 0xEF) {
    if (n < 3 || !isContinuation(p[1]) || !isContinuation(p[2])) return 1;
    const int32_t value = ((lead & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F);
    if (value < 0x800 || (value >= 0xD800 && value <= 0xDFFF)) return 3;
    cp = value;
    return 3;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    if (n < 4 || !isContinuation(p[1]) || !isContinuation(p[2]) || !isContinuation(p[3])) return 1;
    const int32_t value = ((lead & 0x07) << 18) | ((p[1] & 0x3F) << 12) |
                          ((p[2] & 0x3F) << 6) | (p[3] & 0x3F);
    if (value < 0x10000 || value > 0x10FFFF) return 4;
    cp = value;
    return 4;
  }
  return 1;
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
    const unsigned char byte = p[i];
    const char16_t single = table_.decodeSingle(byte);
    if (single != Cp932Table::kNone) {
      out = writeUtf8(single, out);
      ++i;
      continue;
    }
    if (i + 1 < n && table_.isLead(byte)) {
      const char16_t pair = table_.decodePair(byte, p[i + 1]);
      if (pair != Cp932Table::kNone) {
        out = writeUtf8(pair, out);
        i += 2;
        continue;
      }
    }
    return Decoded{static_cast<size_t>(out - start), false, i};
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
    // general path below.
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
    int32_t cp;
    size_t length;
    const unsigned char lead = p[i];
    if ((lead & 0xF0) == 0xE0 && n - i >= 3 &&
        ((p[i + 1] & 0xC0) | ((p[i + 2] & 0xC0) >> 2)) == 0xA0 && lead != 0xE0) {
      // Three bytes led by E1-EF, most Japanese text: never overlong, and a
      // surrogate (ED A0-BF) has no CP932 form in the table.
      cp = ((lead & 0x0F) << 12) | ((p[i + 1] & 0x3F) << 6) | (p[i + 2] & 0x3F);
      length = 3;
    } else {
      length = decodeUtf8(p + i, n - i, cp);
    }
    uint16_t packed = Cp932Table::kNoForm;
    if (cp > 0 && cp <= 0xFFFF) packed = table.encode(static_cast<char16_t>(cp));
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
