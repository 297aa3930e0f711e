// The least a program must do to read every row of a query through an ODBC
// driver the way the ODBC engine reads it: bound row arrays of text, one
// SQLFetch per block, no conversion and no output. Its time is the floor the
// driver and the driver manager set under the engine's own loop.
//
// Usage: zorv_odbc_client_loop CONNECTION QUERY ROWS_PER_BLOCK wide|narrow
// Reports "rows=N loop_seconds=S" to stderr, S from the statement's start.
#include <sql.h>
#include <sqlext.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s CONNECTION QUERY ROWS_PER_BLOCK wide|narrow\n", argv[0]);
    return 2;
  }
  const SQLULEN block = std::strtoul(argv[3], nullptr, 10);
  const bool wide = std::strcmp(argv[4], "wide") == 0;
  // The engine's slot for a column of unknown width: 256 characters.
  const SQLLEN slotBytes = wide ? 512 : 768;
  if (block == 0) {
    std::fprintf(stderr, "ROWS_PER_BLOCK must be a positive number\n");
    return 2;
  }
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  if (!SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(argv[1]), SQL_NTS,
                                      nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT))) {
    std::fprintf(stderr, "cannot connect\n");
    return 1;
  }
  const auto start = std::chrono::steady_clock::now();
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
  SQLULEN fetched = 0;
  SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(block), 0);
  SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
  if (!SQL_SUCCEEDED(SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(argv[2]), SQL_NTS))) {
    std::fprintf(stderr, "the query failed\n");
    return 1;
  }
  SQLSMALLINT columns = 0;
  SQLNumResultCols(stmt, &columns);
  std::vector<std::vector<char>> data(columns, std::vector<char>(slotBytes * block));
  std::vector<std::vector<SQLLEN>> lengths(columns, std::vector<SQLLEN>(block));
  for (SQLSMALLINT c = 0; c < columns; ++c) {
    SQLBindCol(stmt, c + 1, wide ? SQL_C_WCHAR : SQL_C_CHAR, data[c].data(), slotBytes,
               lengths[c].data());
  }
  long rows = 0;
  SQLRETURN rc;
  while (SQL_SUCCEEDED(rc = SQLFetch(stmt))) rows += static_cast<long>(fetched);
  if (rc != SQL_NO_DATA) {
    std::fprintf(stderr, "a fetch failed\n");
    return 1;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::fprintf(stderr, "rows=%ld loop_seconds=%.3f\n", rows, seconds);
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  return 0;
}
