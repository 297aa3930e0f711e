// Reads every row of a query through the library the way the console does
// (loaded from its folder, called through the foreign call, ZORVcursor,
// ZORVfetch until 100) and writes them to stdout, one
// line per row. Reports to stderr: rows, seconds of the cursor and fetch
// loop and of the cursor alone (on PostgreSQL, Cursor reads the whole result
// ahead), resident memory of the idle connection and the peak above it.
//
// Usage: zorv_fetch_loop CONNECTION QUERY [LIBRARY]
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "dynamic_library.h"
#include "foreign_call.h"
#include "loop_platform.h"

namespace {

// One bridge entry called as the console calls it, whatever its convention.
struct Entry {
  void* address;
  int32_t operator()(const char* text) const {
    void* const args[] = {const_cast<char*>(text)};
    return zorv::bridge::callForeign(address, args).code;
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s CONNECTION QUERY [LIBRARY]\n", argv[0]);
    return 2;
  }
  const char* path = argc > 3 ? argv[3] : ZORV_LIBRARY_PATH;
  const std::filesystem::path file = path;
  std::string reason;
  auto library = zorv::platform::loadLibrary(file.parent_path(), file.filename().string(), reason);
  if (library == nullptr) {
    std::fprintf(stderr, "cannot load %s: %s\n", path, reason.c_str());
    return 1;
  }
  auto entry = [&](const char* name) { return zorv::platform::findEntry(library, name, reason); };
  const Entry login{entry("ZORVlogin")}, cursor{entry("ZORVcursor")}, fetch{entry("ZORVfetch")},
      msgGet{entry("ZORVmsgget")};
  if (!login.address || !cursor.address || !fetch.address || !msgGet.address) {
    std::fprintf(stderr, "%s lacks an entry: %s\n", path, reason.c_str());
    return 1;
  }

  std::vector<char> buf(8192);
  // Rows are gathered here and written 64 KiB at a time: a locked stdio call
  // per row would add its own cost to the loop this program times, and a
  // larger buffer its own share of the caches and of the peak memory.
  std::vector<char> out(64 << 10);
  size_t used = 0;
  auto flush = [&] {
    std::fwrite(out.data(), 1, used, stdout);
    used = 0;
  };
  makeOutputBinary();

  if (login(argv[1]) != 0) {
    msgGet(buf.data());
    std::fprintf(stderr, "login: %s\n", buf.data());
    return 1;
  }
  resetPeak();
  const long idleKib = residentKib();
  const auto start = std::chrono::steady_clock::now();
  if (cursor(argv[2]) != 0) {
    msgGet(buf.data());
    std::fprintf(stderr, "cursor: %s\n", buf.data());
    return 1;
  }
  const double cursorSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  long rows = 0;
  int32_t code;
  while ((code = fetch(buf.data())) >= 0 && code != 100) {
    const size_t length = std::strlen(buf.data());
    if (out.size() - used <= length) flush();
    std::memcpy(out.data() + used, buf.data(), length);
    out[used + length] = '\n';
    used += length + 1;
    ++rows;
  }
  flush();
  std::fflush(stdout);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (code < 0) {
    msgGet(buf.data());
    std::fprintf(stderr, "fetch: %d %s\n", code, buf.data());
    return 1;
  }
  const long peak = peakKib();
  std::fprintf(stderr,
               "rows=%ld loop_seconds=%.3f cursor_seconds=%.3f idle_rss_kib=%ld "
               "peak_above_idle_kib=%ld\n",
               rows, seconds, cursorSeconds, idleKib, peak - idleKib);
  return 0;
}
