# The ODBC drivers the ODBC engine is tested with, by absolute path on the
# host (ZORV_ODBC_PG_DRIVER, ZORV_ODBC_SQLITE_DRIVER; empty when missing):
# under Wine, Wine's ODBC forwards to the host's driver manager, which loads
# these same files. Also ZORV_ODBC_TEST_SETTINGS, an empty private settings
# folder for ODBCSYSINI: Debian's system-wide driver list switches the
# PostgreSQL driver's communication log on. A 32-bit Windows build runs
# under 32-bit Wine, whose ODBC reaches the host's i386 driver manager and
# drivers.
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(zorv_odbc_host_dir /usr/lib/i386-linux-gnu/odbc)
else()
  set(zorv_odbc_host_dir /usr/lib/x86_64-linux-gnu/odbc /usr/lib64/odbc)
endif()
foreach(driver IN ITEMS PG SQLITE)
  set(name_PG psqlodbcw.so)
  set(name_SQLITE libsqlite3odbc.so)
  find_file(ZORV_ODBC_${driver}_DRIVER ${name_${driver}}
    PATHS ${zorv_odbc_host_dir} /usr/lib/odbc /usr/local/lib
    NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT ZORV_ODBC_${driver}_DRIVER)
    set(ZORV_ODBC_${driver}_DRIVER "")
  endif()
endforeach()
set(ZORV_ODBC_TEST_SETTINGS ${CMAKE_BINARY_DIR}/odbc-test-settings)
file(MAKE_DIRECTORY ${ZORV_ODBC_TEST_SETTINGS})
file(TOUCH ${ZORV_ODBC_TEST_SETTINGS}/odbcinst.ini ${ZORV_ODBC_TEST_SETTINGS}/odbc.ini)
