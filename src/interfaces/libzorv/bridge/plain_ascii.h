#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// Word-at-a-time tests and copies of plain ASCII (bytes 0x01-0x7F), the text
// that needs no conversion between UTF-8 and CP932. NUL is not plain: it
// stands for a character the answer cannot carry.
namespace zorv::plain_ascii {

// The high bit of every byte of the word that is 0x00 or 0x80-0xFF (for a
// 0x00 byte, possibly of its neighbours too); zero when all are 0x01-0x7F.
template <typename Word>
constexpr Word notPlain(Word word) {
  constexpr auto kHigh = static_cast<Word>(0x8080808080808080ULL);
  constexpr auto kLow = static_cast<Word>(0x0101010101010101ULL);
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

// The high bit of every byte of the word that is 0x80-0xFF: zero for ASCII,
// NUL included.
template <typename Word>
constexpr Word notAscii(Word word) {
  return word & static_cast<Word>(0x8080808080808080ULL);
}

// True when Test finds nothing in p[0, n), n from sizeof(Word) to twice
// that: two overlapping words cover any such length with plain loads, no
// byte loop and no read outside the range.
template <typename Word, Word (*Test)(Word)>
bool twoWordsPass(const unsigned char* p, size_t n) {
  return (Test(load<Word>(p)) | Test(load<Word>(p + n - sizeof(Word)))) == 0;
}

template <template <typename> class Tests>
[[gnu::always_inline]] inline bool shortPasses(const unsigned char* p, size_t n) {
  if (n >= 8) return twoWordsPass<uint64_t, Tests<uint64_t>::test>(p, n);
  if (n >= 4) return twoWordsPass<uint32_t, Tests<uint32_t>::test>(p, n);
  if (n >= 2) return twoWordsPass<uint16_t, Tests<uint16_t>::test>(p, n);
  return n == 0 || Tests<uint8_t>::test(p[0]) == 0;
}

template <typename Word>
struct PlainTest {
  static Word test(Word word) { return notPlain(word); }
};
template <typename Word>
struct AsciiTest {
  static Word test(Word word) { return notAscii(word); }
};

// True when p[0, n), n at most 16, is all plain ASCII; most fields of a row
// (numbers, dates, codes) are.
inline bool isShortPlain(const unsigned char* p, size_t n) { return shortPasses<PlainTest>(p, n); }

// True when p[0, n), n at most 16, is all ASCII, NUL included.
inline bool isShortAscii(const unsigned char* p, size_t n) { return shortPasses<AsciiTest>(p, n); }

// Copies p[0, n), n at most 16, to out with two overlapping words.
inline void copyShort(const unsigned char* p, size_t n, char* out) {
  if (n >= 8) {
    const auto head = load<uint64_t>(p);
    const auto tail = load<uint64_t>(p + n - 8);
    store(out, head);
    store(out + n - 8, tail);
  } else if (n >= 4) {
    const auto head = load<uint32_t>(p);
    const auto tail = load<uint32_t>(p + n - 4);
    store(out, head);
    store(out + n - 4, tail);
  } else if (n >= 2) {
    const auto head = load<uint16_t>(p);
    const auto tail = load<uint16_t>(p + n - 2);
    store(out, head);
    store(out + n - 2, tail);
  } else if (n == 1) {
    out[0] = static_cast<char>(p[0]);
  }
}

// Copies p[0, n), n at most 16, to out when it is all plain ASCII, else
// writes nothing.
inline bool copyShortIfPlain(const unsigned char* p, size_t n, char* out) {
  if (!isShortPlain(p, n)) return false;
  copyShort(p, n, out);
  return true;
}

}  // namespace zorv::plain_ascii
