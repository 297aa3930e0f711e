#include "library_image.h"

#include <fstream>
#include <string>

namespace zorv::platform {

namespace {

// The DOS header's pointer to the PE signature, and how far into the file a
// real header sits at most: linkers put it within the first few hundred bytes.
constexpr size_t kPeOffsetField = 0x3c;
constexpr size_t kHeaderWindow = 64 * 1024;

uint32_t littleEndian(std::string_view bytes, size_t at, size_t width) {
  uint32_t value = 0;
  for (size_t i = 0; i < width; ++i) {
    value |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
  }
  return value;
}

}  // namespace

uint16_t peMachine(std::string_view bytes) {
  if (bytes.size() < kPeOffsetField + 4 || bytes.substr(0, 2) != "MZ") return 0;
  const size_t pe = littleEndian(bytes, kPeOffsetField, 4);
  // The signature, then the file header whose first field is Machine.
  if (pe > bytes.size() || bytes.size() - pe < 6) return 0;
  if (bytes.substr(pe, 4) != std::string_view("PE\0\0", 4)) return 0;
  return static_cast<uint16_t>(littleEndian(bytes, pe + 4, 2));
}

uint16_t peMachineOfFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return 0;
  std::string head(kHeaderWindow, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<size_t>(in.gcount()));
  return peMachine(head);
}

int machineBits(uint16_t machine) {
  switch (machine) {
    case kMachineX86:
      return 32;
    case kMachineX64:
      return 64;
    default:
      return 0;
  }
}

}  // namespace zorv::platform
