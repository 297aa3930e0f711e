# Runs zorv-check once and compares what it reported with what is expected.
#   CHECKER, EMULATOR (may be empty), ARGS (a list; may be empty),
#   STATUS: the exit status expected;
#   FAILS, WARNS: "FUNCTION check" items, exactly the FAIL and WARN lines expected;
#   SAYS: regular expressions the report must each match;
#   JUNIT: a regular expression the JUnit file JUNIT_FILE (which ARGS has
#   zorv-check write) must match;
#   PG: when set, "--connect" with the test server of ZORV_TEST_PG* is added;
#   ODBC_DRIVER: an ODBC driver file; "--connect" then reaches that server
#   (with PG) or the SQLite file ODBC_DATABASE through it.
# With status 2 the one line on standard error must start "zorv-check: " and
# match REASON. With OUTPUT, standard output must match it and standard error
# be empty.
set(args ${ARGS})
set(connect "")
if(PG)
  if(NOT DEFINED ENV{ZORV_TEST_PGPORT})
    message(FATAL_ERROR "no PostgreSQL test server: run eval \"$(scripts/pg-start)\" first")
  endif()
  set(user postgres)
  if(DEFINED ENV{ZORV_TEST_PGUSER})
    set(user $ENV{ZORV_TEST_PGUSER})
  endif()
  set(connect "host=$ENV{ZORV_TEST_PGHOST} port=$ENV{ZORV_TEST_PGPORT} user=${user} dbname=postgres")
  if(ODBC_DRIVER)
    set(connect "odbc='Driver=${ODBC_DRIVER};Server=$ENV{ZORV_TEST_PGHOST};\
Port=$ENV{ZORV_TEST_PGPORT};Uid=${user};Database=postgres'")
  endif()
elseif(ODBC_DRIVER)
  set(connect "odbc='Driver=${ODBC_DRIVER};Database=${ODBC_DATABASE}'")
endif()
if(JUNIT_FILE)
  file(REMOVE ${JUNIT_FILE})
endif()
# An ODBC string holds ';', so the text stays one quoted argument.
if(connect)
  execute_process(COMMAND ${EMULATOR} ${CHECKER} --connect "${connect}" ${args}
    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
else()
  execute_process(COMMAND ${EMULATOR} ${CHECKER} ${args}
    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
endif()
message("${out}${err}")

string(REGEX MATCHALL "(FAIL|WARN) [A-Za-z]+ [a-z0-9-]+:" lines "${out}")
set(fails)
set(warns)
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^(FAIL|WARN) (.*):$" "\\1;\\2" parts "${line}")
  list(GET parts 0 verdict)
  list(GET parts 1 what)
  if(verdict STREQUAL "FAIL")
    list(APPEND fails "${what}")
  else()
    list(APPEND warns "${what}")
  endif()
endforeach()

set(problems)
if(NOT status EQUAL STATUS)
  list(APPEND problems "exit status ${status}, expected ${STATUS}")
endif()
if(NOT "${fails}" STREQUAL "${FAILS}")
  list(APPEND problems "FAIL lines [${fails}], expected [${FAILS}]")
endif()
if(NOT "${warns}" STREQUAL "${WARNS}")
  list(APPEND problems "WARN lines [${warns}], expected [${WARNS}]")
endif()
foreach(expected IN LISTS SAYS)
  if(NOT out MATCHES "${expected}")
    list(APPEND problems "the report does not say ${expected}")
  endif()
endforeach()
if(STATUS EQUAL 2 AND NOT (err MATCHES "^zorv-check: [^\n]+\n$" AND err MATCHES "${REASON}"))
  list(APPEND problems "standard error is not one line starting \"zorv-check: \" saying ${REASON}")
endif()
if(DEFINED OUTPUT AND NOT OUTPUT STREQUAL "" AND NOT (out MATCHES "${OUTPUT}" AND err STREQUAL ""))
  list(APPEND problems "standard output does not match ${OUTPUT}, or standard error is not empty")
endif()
if(JUNIT)
  set(junit "")
  if(EXISTS ${JUNIT_FILE})
    file(READ ${JUNIT_FILE} junit)
  endif()
  if(NOT junit MATCHES "${JUNIT}")
    list(APPEND problems "the JUnit file ${JUNIT_FILE} does not match ${JUNIT}")
  endif()
endif()
if(problems)
  string(REPLACE ";" "\n  " problems "${problems}")
  message(FATAL_ERROR "zorv-check did not report as expected:\n  ${problems}")
endif()
