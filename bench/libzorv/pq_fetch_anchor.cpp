// The PostgreSQL benchmark's anchor: a plain libpq client reading every row
// of a query through a cursor, FETCH 1000 at a time, every value read and
// written to stdout one line per row, as the fetch loop does. Built from the
// same libpq as our library, so the loop is compared with what the client
// library itself costs on the platform (under Wine: Wine's sockets).
//
// Usage: zorv_pq_fetch_anchor CONNINFO QUERY
// Reports to stderr in the fetch loop's words: rows=N loop_seconds=S
#include <libpq-fe.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "loop_platform.h"

namespace {

bool run(PGconn* conn, const std::string& command, ExecStatusType expected) {
  PGresult* result = PQexec(conn, command.c_str());
  const bool ok = PQresultStatus(result) == expected;
  if (!ok) std::fprintf(stderr, "%s: %s", command.c_str(), PQerrorMessage(conn));
  PQclear(result);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s CONNINFO QUERY\n", argv[0]);
    return 2;
  }
  PGconn* conn = PQconnectdb(argv[1]);
  if (PQstatus(conn) != CONNECTION_OK) {
    std::fprintf(stderr, "connect: %s", PQerrorMessage(conn));
    return 1;
  }
  std::vector<char> out(1 << 20);
  makeOutputBinary();
  std::setvbuf(stdout, out.data(), _IOFBF, out.size());
  const auto start = std::chrono::steady_clock::now();
  if (!run(conn, "BEGIN", PGRES_COMMAND_OK) ||
      !run(conn, std::string("DECLARE anchor NO SCROLL CURSOR FOR ") + argv[2], PGRES_COMMAND_OK)) {
    return 1;
  }
  long rows = 0;
  std::string line;
  for (;;) {
    PGresult* batch = PQexec(conn, "FETCH 1000 FROM anchor");
    if (PQresultStatus(batch) != PGRES_TUPLES_OK) {
      std::fprintf(stderr, "fetch: %s", PQerrorMessage(conn));
      PQclear(batch);
      return 1;
    }
    const int count = PQntuples(batch), fields = PQnfields(batch);
    for (int r = 0; r < count; ++r) {
      line.clear();
      for (int f = 0; f < fields; ++f) {
        if (f > 0) line += '\t';
        line.append(PQgetvalue(batch, r, f), static_cast<size_t>(PQgetlength(batch, r, f)));
      }
      line += '\n';
      std::fwrite(line.data(), 1, line.size(), stdout);
    }
    rows += count;
    PQclear(batch);
    if (count == 0) break;
  }
  run(conn, "COMMIT", PGRES_COMMAND_OK);
  std::fflush(stdout);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  PQfinish(conn);
  std::fprintf(stderr, "rows=%ld loop_seconds=%.3f\n", rows, seconds);
  return 0;
}
