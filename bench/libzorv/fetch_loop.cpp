// Reads every row of a query through the library the way the console does
// (dlopen, ZORVcursor, ZORVfetch until 100) and writes them to stdout, one
// line per row. Reports to stderr: rows, seconds of the cursor and fetch
// loop, resident memory of the idle connection and the peak above it.
//
// Usage: zorv_fetch_loop CONNECTION QUERY [LIBRARY]
#include <dlfcn.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

using TextFn = int32_t (*)(const char*);
using BufFn = int32_t (*)(char*);

// A field of /proc/self/status in KiB ("VmRSS", "VmHWM").
long statusKib(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const size_t length = std::strlen(field);
  while (std::getline(status, line)) {
    if (line.compare(0, length, field) == 0 && line[length] == ':') {
      return std::stol(line.substr(length + 1));
    }
  }
  return -1;
}

// Lowers VmHWM to the current VmRSS so the peak is measured from here on.
void resetPeak() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s CONNECTION QUERY [LIBRARY]\n", argv[0]);
    return 2;
  }
  const char* path = argc > 3 ? argv[3] : ZORV_LIBRARY_PATH;
  void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    std::fprintf(stderr, "cannot load %s: %s\n", path, dlerror());
    return 1;
  }
  auto login = reinterpret_cast<TextFn>(dlsym(library, "ZORVlogin"));
  auto cursor = reinterpret_cast<TextFn>(dlsym(library, "ZORVcursor"));
  auto fetch = reinterpret_cast<BufFn>(dlsym(library, "ZORVfetch"));
  auto msgGet = reinterpret_cast<BufFn>(dlsym(library, "ZORVmsgget"));

  std::vector<char> buf(8192);
  std::vector<char> out(1 << 20);
  std::setvbuf(stdout, out.data(), _IOFBF, out.size());

  if (login(argv[1]) != 0) {
    msgGet(buf.data());
    std::fprintf(stderr, "login: %s\n", buf.data());
    return 1;
  }
  resetPeak();
  const long idleKib = statusKib("VmRSS");
  const auto start = std::chrono::steady_clock::now();
  if (cursor(argv[2]) != 0) {
    msgGet(buf.data());
    std::fprintf(stderr, "cursor: %s\n", buf.data());
    return 1;
  }
  long rows = 0;
  int32_t code;
  while ((code = fetch(buf.data())) >= 0 && code != 100) {
    const size_t length = std::strlen(buf.data());
    buf[length] = '\n';
    std::fwrite(buf.data(), 1, length + 1, stdout);
    ++rows;
  }
  std::fflush(stdout);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (code < 0) {
    msgGet(buf.data());
    std::fprintf(stderr, "fetch: %d %s\n", code, buf.data());
    return 1;
  }
  const long peakKib = statusKib("VmHWM");
  std::fprintf(stderr, "rows=%ld loop_seconds=%.3f idle_rss_kib=%ld peak_above_idle_kib=%ld\n",
               rows, seconds, idleKib, peakKib - idleKib);
  return 0;
}
