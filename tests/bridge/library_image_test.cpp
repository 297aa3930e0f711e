#include "library_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "dynamic_library.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace zorv::platform {
namespace {

// A header as linkers write it: "MZ", the PE offset at 0x3c, then at that
// offset "PE\0\0" and the Machine field.
std::string image(uint32_t peOffset, uint16_t machine, size_t size = 0) {
  std::string bytes(std::max<size_t>(size, peOffset + 24), '\0');
  bytes[0] = 'M';
  bytes[1] = 'Z';
  for (int i = 0; i < 4; ++i) bytes[0x3c + i] = static_cast<char>(peOffset >> (8 * i));
  bytes.replace(peOffset, 4, std::string("PE\0\0", 4));
  bytes[peOffset + 4] = static_cast<char>(machine & 0xff);
  bytes[peOffset + 5] = static_cast<char>(machine >> 8);
  return size ? bytes.substr(0, size) : bytes;
}

TEST(LibraryImage, ReadsTheMachineOnlyFromAWholePeHeader) {
  struct Case {
    const char* what;
    std::string bytes;
    uint16_t machine;
    int bits;
  };
  std::string noMz = image(0x80, kMachineX64);
  noMz[0] = 'X';
  std::string badSignature = image(0x80, kMachineX86);
  badSignature[0x81] = 'X';
  std::string farOffset = image(0x80, kMachineX86);
  farOffset.replace(0x3c, 4, "\xf0\xff\xff\xff");
  const Case cases[] = {
      {"32-bit", image(0x80, kMachineX86), kMachineX86, 32},
      {"64-bit", image(0x80, kMachineX64), kMachineX64, 64},
      {"64-bit, header far in", image(0x1000, kMachineX64), kMachineX64, 64},
      {"ARM64: neither of ours", image(0x80, 0xaa64), 0xaa64, 0},
      {"no MZ", noMz, 0, 0},
      {"PE signature damaged", badSignature, 0, 0},
      {"cut inside the Machine field", image(0x80, kMachineX64, 0x85), 0, 0},
      {"just the Machine field", image(0x80, kMachineX64, 0x86), kMachineX64, 64},
      {"offset past the end", farOffset, 0, 0},
      {"shorter than a DOS header", "MZ", 0, 0},
      {"ELF", "\x7f" "ELF\x02\x01\x01", 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(peMachine(c.bytes), c.machine) << c.what;
    EXPECT_EQ(machineBits(peMachine(c.bytes)), c.bits) << c.what;
  }
}

TEST(LibraryImage, ReadsTheFileItsHeaderIsIn) {
  const auto folder = std::filesystem::temp_directory_path();
  const auto file = folder / "zorv-library-image-test.dll";
  {
    std::ofstream out(file, std::ios::binary);
    out << image(0x100, kMachineX86, 0x4000);
  }
  EXPECT_EQ(peMachineOfFile(file), kMachineX86);
  std::filesystem::remove(file);
  EXPECT_EQ(peMachineOfFile(file), 0) << "a missing file";
  EXPECT_EQ(peMachineOfFile(folder), 0) << "a folder";
}

#ifdef _WIN32
// The real files: this program and a library built for the other bitness.
TEST(LibraryImage, TellsTheBitnessOfRealImages) {
  wchar_t self[MAX_PATH];
  ASSERT_NE(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
  EXPECT_EQ(machineBits(peMachineOfFile(self)), kProcessBits);
  const std::filesystem::path other =
      std::filesystem::path(ZORV_FAKES_DIR) / "other_bits" / "libzorv.dll";
  EXPECT_EQ(machineBits(peMachineOfFile(other)), kProcessBits == 64 ? 32 : 64) << other;
}
#endif

}  // namespace
}  // namespace zorv::platform
