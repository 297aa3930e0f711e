// Replays a fuzz target's committed seeds as an ordinary test, in builds
// without libFuzzer: every file of the folders given goes once through the
// target's entry, in name order. A target's oracle aborts on a fault, which
// ends the test as failed; a folder without seeds fails too, so a renamed
// corpus cannot pass by running nothing.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  size_t replayed = 0;
  for (int i = 1; i < argc; ++i) {
    std::error_code error;
    std::vector<fs::path> seeds;
    for (const auto& entry : fs::directory_iterator(argv[i], error)) {
      if (entry.is_regular_file()) seeds.push_back(entry.path());
    }
    if (error || seeds.empty()) {
      std::fprintf(stderr, "no seeds in %s\n", argv[i]);
      return 1;
    }
    std::sort(seeds.begin(), seeds.end());
    for (const auto& seed : seeds) {
      std::ifstream in(seed, std::ios::binary);
      const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
      std::printf("%s (%zu bytes)\n", seed.filename().string().c_str(), bytes.size());
      std::fflush(stdout);
      LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
      ++replayed;
    }
  }
  std::printf("%zu seeds replayed\n", replayed);
  return replayed > 0 ? 0 : 1;
}
