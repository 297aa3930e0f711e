#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace zorv {

// The CP932 code page as lookup tables, built once from the platform's own
// converter (glibc iconv "CP932" on Linux, code page 932 on Windows) and
// read-only afterwards, so any thread may use them.
class Cp932Table {
 public:
  // Packed CP932 form: 0x0000-0x00FF is one byte, 0x8140 and up are a lead
  // byte (high) and a trail byte (low). kNoForm: the unit has none.
  static constexpr uint16_t kNoForm = 0xFFFF;
  // What a byte sequence without a character decodes to: KATAKANA MIDDLE DOT,
  // the replacement the Japanese code page uses for undecodable input.
  static constexpr char16_t kReplacement = u'\u30FB';
  // Marks "no character here" in the decode tables; U+FFFF is a noncharacter
  // that CP932 never decodes to.
  static constexpr char16_t kNone = u'\uFFFF';

  // The one table of the process, built on first use.
  static const Cp932Table& instance();

  uint16_t encode(char16_t unit) const { return encode_[unit]; }

  // The character of a single byte, or kNone (lead byte or no character).
  char16_t decodeSingle(uint8_t byte) const { return single_[byte]; }
  bool isLead(uint8_t byte) const { return leadRow_[byte] != 0; }
  bool isTrail(uint8_t byte) const { return trail_[byte]; }
  // The character of a lead and a trail byte, or kNone.
  char16_t decodePair(uint8_t lead, uint8_t trail) const {
    const uint8_t row = leadRow_[lead];
    return row == 0 ? kNone : pairs_[(row - 1u) * 256u + trail];
  }

  // One character of CP932 text: its unit (kNone when its bytes form no
  // character) and how many bytes it takes.
  struct Character {
    char16_t unit;
    size_t length;
  };

  // The character at p, before end: a lead byte followed by a trail byte is
  // two bytes; any other byte is one, a single-byte character or a byte no
  // character starts with, and the byte after it is read on its own (a NUL
  // the library wrote is never swallowed). The one split of CP932 text into
  // characters: whatever reads narrow text a character at a time asks here.
  Character characterAt(const uint8_t* p, const uint8_t* end) const {
    const char16_t single = single_[p[0]];
    if (single != kNone) return {single, 1};
    const uint8_t row = leadRow_[p[0]];
    if (row == 0 || end - p < 2 || !trail_[p[1]]) return {kNone, 1};
    return {pairs_[(row - 1u) * 256u + p[1]], 2};
  }
  Character characterAt(std::string_view text, size_t at) const {
    const auto* p = reinterpret_cast<const uint8_t*>(text.data());
    return characterAt(p + at, p + text.size());
  }

  // True when bytes and units 0x00-0x7F map to each other unchanged, which
  // lets the conversions copy ASCII runs without lookups.
  bool asciiIsIdentity() const { return asciiIdentity_; }

 private:
  Cp932Table();

  std::array<uint16_t, 65536> encode_{};
  std::array<char16_t, 256> single_{};
  std::array<uint8_t, 256> leadRow_{};
  std::array<bool, 256> trail_{};
  std::vector<char16_t> pairs_;
  bool asciiIdentity_ = false;
};

}  // namespace zorv
