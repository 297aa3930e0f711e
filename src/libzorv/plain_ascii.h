#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// Word-at-a-time tests and copies of plain ASCII (bytes 0x01-0x7F), the text
// that needs no conversion between UTF-8 and CP932. NUL is not plain: it
// stands for a character the answer cannot carry.
namespace zorv::lib::plain_ascii {

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

// Two overlapping words cover any length from sizeof(Word) to twice that
// with plain loads, no byte loop and no read outside p[0, n).
template <typename Word>
bool twoWordsPlain(const unsigned char* p, size_t n) {
  return (notPlain(load<Word>(p)) | notPlain(load<Word>(p + n - sizeof(Word)))) == 0;
}

// True when p[0, n), n at most 16, is all plain ASCII; most fields of a row
// (numbers, dates, codes) are.
inline bool isShortPlain(const unsigned char* p, size_t n) {
  if (n >= 8) return twoWordsPlain<uint64_t>(p, n);
  if (n >= 4) return twoWordsPlain<uint32_t>(p, n);
  if (n >= 2) return twoWordsPlain<uint16_t>(p, n);
  return n == 0 || (p[0] != 0 && p[0] < 0x80);
}

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

}  // namespace zorv::lib::plain_ascii
