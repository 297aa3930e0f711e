#include "narrow_text.h"

#include <cstdint>
#include <cstring>

#include "cp932_table.h"
#include "plain_ascii.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define ZORV_HAVE_SSE2 1
#endif

namespace zorv {

namespace {

constexpr uint64_t kHighBitsOfUnits = 0xFF80FF80FF80FF80ull;

// Narrows the leading run of ASCII units, which CP932 keeps unchanged;
// returns how many units it took.
size_t narrowAscii(const char16_t* in, size_t count, char* out) {
  size_t i = 0;
#ifdef ZORV_HAVE_SSE2
  const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
  const __m128i zero = _mm_setzero_si128();
  for (; i + 8 <= count; i += 8) {
    const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(units, high), zero)) != 0xFFFF) break;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(units, units));
  }
#endif
  for (; i + 4 <= count; i += 4) {
    uint64_t block;
    std::memcpy(&block, in + i, sizeof block);
    if (block & kHighBitsOfUnits) break;
    for (size_t k = 0; k < 4; ++k) out[i + k] = static_cast<char>(in[i + k]);
  }
  return i;
}

// Widens the leading run of ASCII bytes; returns how many bytes it took.
size_t widenAscii(const uint8_t* in, size_t count, char16_t* out) {
  size_t i = 0;
#ifdef ZORV_HAVE_SSE2
  const __m128i zero = _mm_setzero_si128();
  for (; i + 16 <= count; i += 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    if (_mm_movemask_epi8(bytes) != 0) break;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi8(bytes, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), _mm_unpackhi_epi8(bytes, zero));
  }
#endif
  for (; i + 8 <= count; i += 8) {
    if (plain_ascii::notAscii(plain_ascii::load<uint64_t>(in + i)) != 0) break;
    for (size_t k = 0; k < 8; ++k) out[i + k] = in[i + k];
  }
  return i;
}

}  // namespace

NarrowCopy narrowCopy(std::u16string_view wide) {
  const Cp932Table& table = Cp932Table::instance();
  // Two bytes a unit at most, and the closing NUL.
  auto bytes = std::make_unique<char[]>(wide.size() * 2 + 1);
  char* out = bytes.get();
  const char16_t* in = wide.data();
  const char16_t* const end = in + wide.size();
  const bool ascii = table.asciiIsIdentity();

  while (in < end) {
    if (ascii && *in < 0x80) {
      const size_t run = narrowAscii(in, static_cast<size_t>(end - in), out);
      in += run;
      out += run;
      if (in == end) break;
    }
    const uint16_t packed = table.encode(*in++);
    if (packed == Cp932Table::kNoForm) {
      *out++ = '?';
    } else if (packed > 0xFF) {
      *out++ = static_cast<char>(packed >> 8);
      *out++ = static_cast<char>(packed & 0xFF);
    } else {
      *out++ = static_cast<char>(packed);
    }
  }
  const size_t length = static_cast<size_t>(out - bytes.get());
  *out = '\0';
  return NarrowCopy(std::move(bytes), length);
}

std::u16string wideText(std::string_view narrow) {
  const Cp932Table& table = Cp932Table::instance();
  // Never more units than bytes.
  std::u16string wide(narrow.size(), u'\0');
  char16_t* out = wide.data();
  const auto* in = reinterpret_cast<const uint8_t*>(narrow.data());
  const uint8_t* const end = in + narrow.size();
  const bool ascii = table.asciiIsIdentity();

  while (in < end) {
    if (ascii && *in < 0x80) {
      const size_t run = widenAscii(in, static_cast<size_t>(end - in), out);
      in += run;
      out += run;
      if (in == end) break;
    }
    const auto [unit, length] = table.characterAt(in, end);
    *out++ = unit != Cp932Table::kNone ? unit : Cp932Table::kReplacement;
    in += length;
  }
  wide.resize(static_cast<size_t>(out - wide.data()));
  return wide;
}

}  // namespace zorv
