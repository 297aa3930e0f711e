# The library's tests cross-built for Windows, run under Wine against SQLite
# files in Wine's temporary folder and against the test server of
# scripts/pg-start on the loopback address. Each group is one program start
# (discovery would start Wine once per test); a start that never reached
# GoogleTest's summary, or one with a failure, does not count as passed.
set(ZORV_WINEPREFIX_DEFAULT ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH
  "Wine prefix the cross-built tests run in unless WINEPREFIX is set")
function(zorv_wine_test name program filter)
  add_test(NAME ${name} COMMAND ${program} --gtest_filter=${filter})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "ZORV_WINEPREFIX_DEFAULT=${ZORV_WINEPREFIX_DEFAULT};ODBCSYSINI=${ZORV_ODBC_TEST_SETTINGS};ODBCINI=${ZORV_ODBC_TEST_SETTINGS}/odbc.ini;${ARGN}"
    PASS_REGULAR_EXPRESSION "\\[  PASSED  \\] [1-9][0-9]* tests?\\."
    FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]|FAILED TEST|SKIPPED"
    RESOURCE_LOCK zorv_test_server
    TIMEOUT 900)
endfunction()

zorv_wine_test(libzorv_unit_test.windows libzorv_unit_test "*")
foreach(engine IN ITEMS Sqlite Postgres)
  if(engine STREQUAL "Sqlite")
    # also the tests that need no server, but the ODBC ones (their own groups)
    set(filter "-*/Postgres:*/Odbc*:Connection.Odbc*")
  else()
    set(filter "*/Postgres")
  endif()
  zorv_wine_test(libzorv_contract_test.windows.${engine} libzorv_contract_test "${filter}")
  zorv_wine_test(libzorv_large_cursor_test.windows.${engine} libzorv_large_cursor_test "${filter}")
  zorv_wine_test(libzorv_durability_test.windows.${engine} libzorv_durability_test "${filter}")
  # 100 kills of an SQLite writer (the Windows file locks and flushes are what
  # differ from Linux) and 40 of a PostgreSQL client: a child's start under
  # Wine takes far longer than on Linux, and the server side is the Linux
  # suite's 100.
  zorv_wine_test(libzorv_kill_loop_test.windows.${engine} libzorv_kill_loop_test "${filter}"
    ZORV_FAULT_KILLS=100 ZORV_FAULT_PG_KILLS=40)
endforeach()
# The ODBC engine through ODBC32.dll: Wine's forwards to the host's driver
# manager, which loads the host's drivers.
zorv_wine_test(libzorv_contract_test.windows.OdbcSqlite libzorv_contract_test
  "*/OdbcSqlite:Connection.Odbc*:-Connection.OdbcDataSource*")
zorv_wine_test(libzorv_contract_test.windows.OdbcPostgres libzorv_contract_test "*/OdbcPostgres")
foreach(engine IN ITEMS OdbcSqlite OdbcPostgres)
  zorv_wine_test(libzorv_large_cursor_test.windows.${engine} libzorv_large_cursor_test "*/${engine}")
endforeach()
zorv_wine_test(libzorv_misbehaving_driver_test.windows libzorv_misbehaving_driver_test "*")

zorv_wine_test(libzorv_tls_test.windows libzorv_tls_test "*")
# Lost connections: a backend terminated or killed by the host at any
# moment, and the server stopped under an open cursor and started again by
# the test through the host's pg_ctl.
zorv_wine_test(libzorv_pg_server_test.windows libzorv_pg_server_test "*")
# SQLite on a full disk the host mounts.
zorv_wine_test(libzorv_fault_test.windows libzorv_fault_test "*")

# Our DLL's exports, and the file format and imports of every program and
# DLL this build makes.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(zorv_pe_format pei-i386)
else()
  set(zorv_pe_format pei-x86-64)
endif()
add_test(NAME libzorv_dll_exports_and_imports
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/check_dll_tables.sh ${zorv_pe_format}
          $<TARGET_FILE:zorv_reference> ${CMAKE_BINARY_DIR}/bin ${CMAKE_BINARY_DIR}/tests
          ${ZORV_FAKES_DIR})
add_subdirectory(${PROJECT_SOURCE_DIR}/bench/libzorv ${CMAKE_BINARY_DIR}/bench/libzorv)
