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

// The bytes of the word that fail the test: notPlain when Plain, else
// notAscii.
template <bool Plain, typename Word>
constexpr Word failing(Word word) {
  if constexpr (Plain) return notPlain(word);
  else return notAscii(word);
}

// p[0, n), n from sizeof(Word) to twice that, as two overlapping words: any
// such length with plain loads, no byte loop and no read outside the range.
template <bool Plain, typename Word>
bool twoWordsPass(const unsigned char* p, size_t n) {
  return (failing<Plain>(load<Word>(p)) | failing<Plain>(load<Word>(p + n - sizeof(Word)))) == 0;
}

template <typename Word>
void copyTwoWords(const unsigned char* p, size_t n, char* out) {
  const auto head = load<Word>(p);
  const auto tail = load<Word>(p + n - sizeof(Word));
  store(out, head);
  store(out + n - sizeof(Word), tail);
}

template <bool Plain>
[[gnu::always_inline]] inline bool shortPasses(const unsigned char* p, size_t n) {
  if (n >= 8) return twoWordsPass<Plain, uint64_t>(p, n);
  if (n >= 4) return twoWordsPass<Plain, uint32_t>(p, n);
  if (n >= 2) return twoWordsPass<Plain, uint16_t>(p, n);
  return n == 0 || failing<Plain>(p[0]) == 0;
}

// True when p[0, n), n at most 16, is all plain ASCII; most fields of a row
// (numbers, dates, codes) are.
inline bool isShortPlain(const unsigned char* p, size_t n) { return shortPasses<true>(p, n); }

// True when p[0, n), n at most 16, is all ASCII, NUL included.
inline bool isShortAscii(const unsigned char* p, size_t n) { return shortPasses<false>(p, n); }

// Copies p[0, n), n at most 16, to out with two overlapping words.
inline void copyShort(const unsigned char* p, size_t n, char* out) {
  if (n >= 8) copyTwoWords<uint64_t>(p, n, out);
  else if (n >= 4) copyTwoWords<uint32_t>(p, n, out);
  else if (n >= 2) copyTwoWords<uint16_t>(p, n, out);
  else if (n == 1) out[0] = static_cast<char>(p[0]);
}

// Copies p[0, n), n at most 16, to out when it is all plain ASCII, else
// writes nothing.
inline bool copyShortIfPlain(const unsigned char* p, size_t n, char* out) {
  if (!isShortPlain(p, n)) return false;
  copyShort(p, n, out);
  return true;
}

}  // namespace zorv::plain_ascii
