// One client of a connection pooler, as a user's program would be: loads the
// library the way the console does (its folder, the bridge access layer's
// loader and foreign call) and does ROUNDS of Cursor, Fetch to the end and one
// Exec insert of (WORKER, round) into pooled_rows. Built for Linux and for
// Windows, so the DLL can be driven under Wine where a Python test cannot
// load it.
//
// Usage: zorv_pool_worker CONNECTION WORKER ROUNDS ROWS [LIBRARY]
// Writes one line, "failed=<cursors that failed> done=<inserts that answered
// 0> first=<the first failure>", and exits 0; 1 when the library cannot be
// loaded or Open fails.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "dynamic_library.h"
#include "foreign_call.h"

namespace {

// One bridge entry called as the console calls it, whatever its convention.
struct Entry {
  void* address;
  int32_t operator()() const { return zorv::bridge::callForeign(address, {}).code; }
  int32_t operator()(const char* text) const {
    void* const args[] = {const_cast<char*>(text)};
    return zorv::bridge::callForeign(address, args).code;
  }
  int32_t operator()(const char* text, char* answer) const {
    void* const args[] = {const_cast<char*>(text), answer};
    return zorv::bridge::callForeign(address, args).code;
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: %s CONNECTION WORKER ROUNDS ROWS [LIBRARY]\n", argv[0]);
    return 2;
  }
  const long worker = std::strtol(argv[2], nullptr, 10);
  const long rounds = std::strtol(argv[3], nullptr, 10);
  const long rows = std::strtol(argv[4], nullptr, 10);
  const std::filesystem::path file = argc > 5 ? argv[5] : ZORV_LIBRARY_PATH;
  std::string reason;
  auto library = zorv::platform::loadLibrary(file.parent_path(), file.filename().string(), reason);
  if (library == nullptr) {
    std::fprintf(stderr, "cannot load %s: %s\n", file.string().c_str(), reason.c_str());
    return 1;
  }
  auto entry = [&](const char* name) { return Entry{zorv::platform::findEntry(library, name, reason)}; };
  const Entry login = entry("ZORVlogin"), close = entry("ZORVclose"), cursor = entry("ZORVcursor"),
              fetch = entry("ZORVfetch"), exec = entry("ZORVexec"), msgGet = entry("ZORVmsgget");
  for (const Entry* e : {&login, &close, &cursor, &fetch, &exec, &msgGet}) {
    if (e->address == nullptr) {
      std::fprintf(stderr, "%s lacks an entry: %s\n", file.string().c_str(), reason.c_str());
      return 1;
    }
  }

  static char buf[8192];
  if (login(argv[1]) != 0) {
    msgGet(buf);
    std::fprintf(stderr, "Open: %s\n", buf);
    return 1;
  }
  long failed = 0, done = 0;
  std::string first;
  const std::string query =
      "select g, 'row ' || g from generate_series(1, " + std::to_string(rows) + ") g";
  for (long round = 0; round < rounds; ++round) {
    int32_t code = cursor(query.c_str());
    long read = 0;
    if (code == 0) {
      while ((code = fetch(buf)) == 0) ++read;
    }
    if (code != 100 || read != rows) {
      ++failed;
      if (first.empty()) {
        msgGet(buf);
        first = "Cursor/Fetch answered " + std::to_string(code) + " after " + std::to_string(read) +
                " rows: " + buf;
      }
    }
    const std::string insert = "insert into pooled_rows values (" + std::to_string(worker) + ", " +
                               std::to_string(round) + ")";
    if (exec(insert.c_str(), buf) == 0 && std::string(buf) == "1") ++done;
  }
  close();
  std::printf("failed=%ld done=%ld first=%s\n", failed, done, first.c_str());
  return 0;
}
