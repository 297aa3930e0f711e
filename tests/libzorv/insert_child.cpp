// The victim of the kill tests: connects the library, continues the table
// t (id, txt) after its largest id, or after AFTER if that is larger (so a
// lost row's id is never reused), and inserts one row per Exec for ever,
// writing each id to a file descriptor once Exec reported it done. Before
// the first insert it writes 0, so the parent knows inserting has begun.
// Usage: zorv_insert_child CONNECTION REPORT_FD TEXT AFTER
// Each row's txt is "<id>:" TEXT ":<id>" (CP932). Exit codes: 2 login
// failed, 3 reading the largest id failed, 4 an insert failed, 5 reporting
// failed; the library's message goes to stderr.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "zorv_library.h"

namespace {

[[noreturn]] void quit(int code, ZorvLibrary& zorv) {
  char message[8192];
  zorv.msgGet(message);
  std::fprintf(stderr, "zorv_insert_child: exit %d: %s\n", code, message);
  std::_Exit(code);
}

bool report(int fd, int32_t id) { return write(fd, &id, sizeof id) == sizeof id; }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: zorv_insert_child CONNECTION REPORT_FD TEXT AFTER\n");
    return 1;
  }
  const int fd = std::atoi(argv[2]);
  const std::string text = argv[3];
  ZorvLibrary& zorv = ZorvLibrary::instance();
  char buf[8192];
  if (zorv.login(argv[1]) != 0) quit(2, zorv);
  // The answer is "m\r\n<largest id>\r\n".
  if (zorv.exec("SELECT coalesce(max(id), 0) AS m FROM t", buf) != 0) quit(3, zorv);
  const std::string answer = buf;
  if (answer.rfind("m\r\n", 0) != 0) quit(3, zorv);
  int32_t id = static_cast<int32_t>(
      std::max(std::strtol(answer.c_str() + 3, nullptr, 10), std::strtol(argv[4], nullptr, 10)));
  if (!report(fd, 0)) quit(5, zorv);
  for (;;) {
    ++id;
    const std::string number = std::to_string(id);
    const std::string insert =
        "INSERT INTO t VALUES (" + number + ", '" + number + ":" + text + ":" + number + "')";
    if (zorv.exec(insert.c_str(), buf) != 0) quit(4, zorv);
    if (!report(fd, id)) quit(5, zorv);
  }
}
