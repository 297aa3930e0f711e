#pragma once

#include <cstddef>
#include <string_view>

namespace zorv::lib {

// One field of a row as UTF-8 bytes owned by the database layer; valid until
// that layer's next call. A NULL field has isNull set and no bytes.
struct FieldView {
  const char* data = nullptr;
  size_t size = 0;
  bool isNull = false;
  // Known to be at most 16 bytes of plain ASCII (0x01-0x7F), which the
  // answer takes as it stands; false when not known.
  bool shortPlain = false;

  std::string_view text() const { return {data, size}; }
};

}  // namespace zorv::lib
