#include "narrow_text.h"

#include <cstdint>
#include <cstring>

#include "cp932_table.h"

namespace zorv {

namespace {

constexpr uint64_t kHighBitsOfUnits = 0xFF80FF80FF80FF80ull;
constexpr uint64_t kHighBitsOfBytes = 0x8080808080808080ull;

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
    if (ascii) {
      // Four ASCII units at a time narrow to four bytes unchanged.
      while (end - in >= 4) {
        uint64_t block;
        std::memcpy(&block, in, sizeof block);
        if (block & kHighBitsOfUnits) break;
        for (int i = 0; i < 4; ++i) out[i] = static_cast<char>(in[i]);
        in += 4;
        out += 4;
      }
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
    if (ascii) {
      while (end - in >= 8) {
        uint64_t block;
        std::memcpy(&block, in, sizeof block);
        if (block & kHighBitsOfBytes) break;
        for (int i = 0; i < 8; ++i) out[i] = in[i];
        in += 8;
        out += 8;
      }
      if (in == end) break;
    }
    const uint8_t byte = *in++;
    const char16_t single = table.decodeSingle(byte);
    if (single != Cp932Table::kNone) {
      *out++ = single;
    } else if (!table.isLead(byte) || in == end || !table.isTrail(*in)) {
      // No character starts here; whatever follows is read on its own.
      *out++ = Cp932Table::kReplacement;
    } else {
      const char16_t pair = table.decodePair(byte, *in++);
      *out++ = pair != Cp932Table::kNone ? pair : Cp932Table::kReplacement;
    }
  }
  wide.resize(static_cast<size_t>(out - wide.data()));
  return wide;
}

}  // namespace zorv
