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
    ENVIRONMENT "ZORV_WINEPREFIX_DEFAULT=${ZORV_WINEPREFIX_DEFAULT};${ARGN}"
    PASS_REGULAR_EXPRESSION "\\[  PASSED  \\] [1-9][0-9]* tests?\\."
    FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]|FAILED TEST|SKIPPED"
    RESOURCE_LOCK zorv_test_server
    TIMEOUT 900)
endfunction()

zorv_wine_test(libzorv_unit_test.windows libzorv_unit_test "*")
foreach(engine IN ITEMS Sqlite Postgres)
  if(engine STREQUAL "Sqlite")
    # also the tests that need no server, but the one that makes its
    # database with a host script
    set(filter "-*/Postgres:Connection.DemoDatabase*")
  else()
    set(filter "*/Postgres")
  endif()
  zorv_wine_test(libzorv_contract_test.windows.${engine} libzorv_contract_test "${filter}")
  zorv_wine_test(libzorv_large_cursor_test.windows.${engine} libzorv_large_cursor_test "${filter}")
  # 100 kills an engine: a child's start under Wine takes far longer than on Linux.
  zorv_wine_test(libzorv_kill_loop_test.windows.${engine} libzorv_kill_loop_test "${filter}"
    ZORV_FAULT_KILLS=100 ZORV_FAULT_PG_KILLS=100)
endforeach()

zorv_wine_test(libzorv_tls_test.windows libzorv_tls_test "*")

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
