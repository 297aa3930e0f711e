// The victim of the kill tests: connects the library, continues the table
// t (id, txt) after its largest id, or after AFTER if that is larger (so a
// lost row's id is never reused), and inserts one row per Exec for ever,
// writing each id as a line to standard output once Exec reported it done.
// Before the first insert it writes 0, so the parent knows inserting has
// begun.
// Usage: zorv_insert_child CONNECTION PAIRS AFTER [SETUP [QUERY]]
// Each row's txt is "<id>:" PAIRS times ソ表 ":<id>" (CP932). SETUP, when not
// empty, is run by Exec after the login; QUERY, when given, is opened as a
// cursor before the first insert and read on a row every seven inserts, so a
// kill lands while the cursor is in use. Exit codes: 2 login failed, 3
// reading the largest id failed, 4 an insert failed, 5 reporting failed, 6
// the setup or the cursor failed; the library's message goes to stderr.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine_fixture.h"
#include "zorv_library.h"

namespace {

[[noreturn]] void quit(int code, ZorvLibrary& zorv) {
  char message[8192];
  zorv.msgGet(message);
  std::fprintf(stderr, "zorv_insert_child: exit %d: %s\n", code, message);
  std::_Exit(code);
}

bool report(int32_t id) { return std::printf("%d\n", id) > 0 && std::fflush(stdout) == 0; }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4 || argc > 6) {
    std::fprintf(stderr, "usage: zorv_insert_child CONNECTION PAIRS AFTER [SETUP [QUERY]]\n");
    return 1;
  }
  const std::string setup = argc > 4 ? argv[4] : "";
  const std::string query = argc > 5 ? argv[5] : "";
  std::string text;
  for (long i = std::strtol(argv[2], nullptr, 10); i > 0; --i) text += kSo + kHyo;
  ZorvLibrary& zorv = ZorvLibrary::instance();
  char buf[8192];
  if (zorv.login(argv[1]) != 0) quit(2, zorv);
  if (!setup.empty() && zorv.exec(setup.c_str(), buf) < 0) quit(6, zorv);
  // The answer is "m\r\n<largest id>\r\n".
  if (zorv.exec("SELECT coalesce(max(id), 0) AS m FROM t", buf) != 0) quit(3, zorv);
  const std::string answer = buf;
  if (answer.rfind("m\r\n", 0) != 0) quit(3, zorv);
  int32_t id = static_cast<int32_t>(
      std::max(std::strtol(answer.c_str() + 3, nullptr, 10), std::strtol(argv[3], nullptr, 10)));
  if (!query.empty()) {
    if (zorv.cursor(query.c_str()) != 0) quit(6, zorv);
    for (int i = 0; i < 3; ++i) {
      if (zorv.fetch(buf) != 0) quit(6, zorv);
    }
  }
  if (!report(0)) quit(5, zorv);
  for (;;) {
    ++id;
    const std::string number = std::to_string(id);
    const std::string insert =
        "INSERT INTO t VALUES (" + number + ", '" + number + ":" + text + ":" + number + "')";
    if (zorv.exec(insert.c_str(), buf) != 0) quit(4, zorv);
    if (!report(id)) quit(5, zorv);
    if (!query.empty() && id % 7 == 0 && zorv.fetch(buf) != 0) quit(6, zorv);
  }
}
