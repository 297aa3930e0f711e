#include "cp932_codec.h"

#include <cstdint>
#include <cstring>

#include "cp932_table.h"

namespace zorv::lib {
namespace {

constexpr uint64_t kHighBits = 0x8080808080808080ULL;
constexpr uint64_t kLowBits = 0x0101010101010101ULL;

// The high bit of every byte of the word that is 0x00 or 0x80-0xFF (for a
// 0x00 byte, possibly of its neighbours too); zero when all are 0x01-0x7F.
template <typename Word>
Word notPlainAscii(Word word) {
  constexpr Word kHigh = static_cast<Word>(kHighBits);
  constexpr Word kLow = static_cast<Word>(kLowBits);
  return (((word - kLow) & ~word) | word) & kHigh;
}

template <typename Word>
Word load(const unsigned char* p) {
  Word word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

template <typename Word>
void store(char* out, Word word) {
  std::memcpy(out, &word, sizeof word);
}

// Length of the leading run of bytes 0x01-0x7F, which need no conversion.
size_t asciiRun(const unsigned char* p, size_t n) {
  size_t i = 0;
  while (i + 8 <= n && notPlainAscii(load<uint64_t>(p + i)) == 0) i += 8;
  while (i < n && p[i] != 0 && p[i] < 0x80) ++i;
  return i;
}

// Copies p[0, n) to out when every byte is 0x01-0x7F, else writes nothing.
// Most fields of a row are short ASCII (numbers, dates, codes): two
// overlapping words cover any length from 2 to 16 with plain loads and
// stores, no byte loop, no call, and no read outside the text.
template <typename Word>
bool copyTwoWordsIfAscii(const unsigned char* p, size_t n, char* out) {
  const Word head = load<Word>(p);
  const Word tail = load<Word>(p + n - sizeof(Word));
  if ((notPlainAscii(head) | notPlainAscii(tail)) != 0) return false;
  store(out, head);
  store(out + n - sizeof(Word), tail);
  return true;
}

bool copyIfAscii(const unsigned char* p, size_t n, char* out) {
  if (n > 16) {
    const uint64_t tail = load<uint64_t>(p + n - 8);
    uint64_t bad = notPlainAscii(tail);
    for (size_t i = 0; i + 8 < n; i += 8) bad |= notPlainAscii(load<uint64_t>(p + i));
    if (bad != 0) return false;
    for (size_t i = 0; i + 8 < n; i += 8) store(out + i, load<uint64_t>(p + i));
    store(out + n - 8, tail);
    return true;
  }
  if (n >= 8) return copyTwoWordsIfAscii<uint64_t>(p, n, out);
  if (n >= 4) return copyTwoWordsIfAscii<uint32_t>(p, n, out);
  if (n >= 2) return copyTwoWordsIfAscii<uint16_t>(p, n, out);
  if (n == 1) {
    if (p[0] == 0 || p[0] >= 0x80) return false;
    out[0] = static_cast<char>(p[0]);
  }
  return true;
}

template <class String>
void appendUtf8(char16_t unit, String& out) {
  char bytes[3];
  if (unit < 0x80) {
    out.push_back(static_cast<char>(unit));
  } else if (unit < 0x800) {
    bytes[0] = static_cast<char>(0xC0 | (unit >> 6));
    bytes[1] = static_cast<char>(0x80 | (unit & 0x3F));
    out.append(bytes, 2);
  } else {
    bytes[0] = static_cast<char>(0xE0 | (unit >> 12));
    bytes[1] = static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
    bytes[2] = static_cast<char>(0x80 | (unit & 0x3F));
    out.append(bytes, 3);
  }
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

bool Cp932Codec::toUtf8(std::string_view cp932, std::string& out, size_t* badOffset) const {
  return decode(cp932, out, badOffset);
}

bool Cp932Codec::toUtf8(std::string_view cp932, SecretString& out, size_t* badOffset) const {
  return decode(cp932, out, badOffset);
}

template <class String>
bool Cp932Codec::decode(std::string_view cp932, String& out, size_t* badOffset) const {
  const auto* p = reinterpret_cast<const unsigned char*>(cp932.data());
  const size_t n = cp932.size();
  out.reserve(out.size() + n + n / 2);
  size_t i = 0;
  while (i < n) {
    if (asciiIdentity_) {
      const size_t run = asciiRun(p + i, n - i);
      out.append(cp932.data() + i, run);
      i += run;
      if (i == n) break;
    }
    const unsigned char byte = p[i];
    const char16_t single = table_.decodeSingle(byte);
    if (single != Cp932Table::kNone) {
      appendUtf8(single, out);
      ++i;
      continue;
    }
    if (i + 1 < n && table_.isLead(byte)) {
      const char16_t pair = table_.decodePair(byte, p[i + 1]);
      if (pair != Cp932Table::kNone) {
        appendUtf8(pair, out);
        i += 2;
        continue;
      }
    }
    if (badOffset != nullptr) *badOffset = i;
    return false;
  }
  return true;
}

Cp932Codec::Encoded Cp932Codec::fromUtf8(std::string_view utf8, char* out,
                                         size_t capacity) const {
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  const size_t n = utf8.size();
  if (asciiIdentity_ && n <= capacity && copyIfAscii(p, n, out)) {
    Encoded result;
    result.written = n;
    result.complete = true;
    return result;
  }
  return encode(p, n, out, capacity);
}

Cp932Codec::Encoded Cp932Codec::encode(const unsigned char* p, size_t n, char* out,
                                       size_t capacity) const {
  Encoded result;
  size_t i = 0;
  size_t w = 0;
  while (i < n) {
    if (asciiIdentity_) {
      // Copies ASCII eight bytes at a time while checking them.
      while (i + 8 <= n && w + 8 <= capacity) {
        const uint64_t word = load<uint64_t>(p + i);
        if (notPlainAscii(word) != 0) break;
        store(out + w, word);
        i += 8;
        w += 8;
      }
      while (i < n && p[i] != 0 && p[i] < 0x80) {
        if (w == capacity) {
          result.written = w;
          return result;
        }
        out[w++] = static_cast<char>(p[i++]);
      }
      if (i == n) break;
    }
    int32_t cp;
    size_t length;
    const unsigned char lead = p[i];
    if (lead >= 0xE1 && lead <= 0xEF && lead != 0xED && i + 2 < n && isContinuation(p[i + 1]) &&
        isContinuation(p[i + 2])) {
      // Three-byte characters, most Japanese text: never overlong nor a surrogate.
      cp = ((lead & 0x0F) << 12) | ((p[i + 1] & 0x3F) << 6) | (p[i + 2] & 0x3F);
      length = 3;
    } else {
      length = decodeUtf8(p + i, n - i, cp);
    }
    uint16_t packed = Cp932Table::kNoForm;
    if (cp > 0 && cp <= 0xFFFF) packed = table_.encode(static_cast<char16_t>(cp));
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

}  // namespace zorv::lib
