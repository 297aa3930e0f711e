// Any UTF-8 row into a buffer holding anything: the answer never touches a
// byte past the 8192nd, always ends with a NUL within them, and never ends
// in half a double-byte character.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "answer_writer.h"
#include "cp932_table.h"
#include "field_view.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

// Walks the answer character by character; false when it ends inside one.
bool endsOnACharacter(const char* answer, size_t size) {
  const zorv::Cp932Table& table = zorv::Cp932Table::instance();
  size_t at = 0;
  while (at < size) at += table.isLead(static_cast<uint8_t>(answer[at])) ? 2 : 1;
  return at == size;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using zorv::lib::AnswerWriter;
  if (size < 2) return 0;
  // First byte: how to write; second: what the buffer held before.
  const uint8_t mode = data[0];
  const uint8_t fill = data[1];
  const std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);

  // Exactly the bytes the library may touch, so any write past them is caught.
  auto buffer = std::make_unique<char[]>(AnswerWriter::kCapacity);
  std::memset(buffer.get(), fill, AnswerWriter::kCapacity);

  // Fields are separated by 0x1F in the input; an empty field with 0x1E is NULL.
  std::vector<zorv::lib::FieldView> fields;
  size_t start = 0;
  for (size_t i = 0; i <= rest.size(); ++i) {
    if (i == rest.size() || rest[i] == '\x1F') {
      const std::string_view field = rest.substr(start, i - start);
      fields.push_back({field.data(), field.size(), field == "\x1E"});
      start = i + 1;
    }
  }

  AnswerWriter writer(buffer.get());
  const int repeats = 1 + (mode >> 4);  // more rows than fit, sometimes
  for (int r = 0; r < repeats; ++r) {
    switch (mode & 3) {
      case 0: writer.appendText(rest); break;
      case 1: writer.appendFields(fields); break;
      default: writer.appendLine(fields); break;
    }
  }
  check(writer.size() <= AnswerWriter::kLimit);
  check(buffer[writer.size()] == '\0');
  check(std::memchr(buffer.get(), '\0', writer.size()) == nullptr || (mode & 3) != 0 ||
        rest.find('\0') != std::string_view::npos);
  check(endsOnACharacter(buffer.get(), writer.size()));
  return 0;
}
