#include "cp932_table.h"

#include <string>

#include "code_page.h"

namespace zorv {

const Cp932Table& Cp932Table::instance() {
  static const Cp932Table table;
  return table;
}

Cp932Table::Cp932Table() {
  platform::CodePageProbe probe;

  for (uint32_t u = 0; u < 65536; ++u) {
    const auto bytes = probe.encode(static_cast<char16_t>(u));
    uint16_t packed = kNoForm;
    if (bytes && bytes->size() == 1) {
      packed = static_cast<uint8_t>((*bytes)[0]);
    } else if (bytes && bytes->size() == 2) {
      packed = static_cast<uint16_t>((static_cast<uint8_t>((*bytes)[0]) << 8) |
                                     static_cast<uint8_t>((*bytes)[1]));
    }
    encode_[u] = packed;
  }

  // A byte that does not decode alone is a lead byte when some second byte
  // completes it; every byte that completes some lead byte is a trail byte.
  single_.fill(kNone);
  for (int b = 0; b < 256; ++b) {
    const char one = static_cast<char>(b);
    if (const auto unit = probe.decode(std::string_view(&one, 1))) {
      single_[b] = *unit;
      continue;
    }
    std::array<char16_t, 256> row;
    row.fill(kNone);
    bool any = false;
    for (int t = 0; t < 256; ++t) {
      const char two[2] = {one, static_cast<char>(t)};
      if (const auto unit = probe.decode(std::string_view(two, 2))) {
        row[t] = *unit;
        trail_[t] = true;
        any = true;
      }
    }
    if (any) {
      pairs_.insert(pairs_.end(), row.begin(), row.end());
      leadRow_[b] = static_cast<uint8_t>(pairs_.size() / 256);
    }
  }

  asciiIdentity_ = true;
  for (int c = 0; c < 0x80; ++c) {
    if (encode_[c] != c || single_[c] != c) asciiIdentity_ = false;
  }
}

}  // namespace zorv
