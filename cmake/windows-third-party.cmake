# SQLite, libpq and OpenSSL for the Windows build: Debian has no Windows
# builds of them, so scripts/build-windows-third-party cross-builds them from
# Debian's source packages into the build folder, once (stamp files), when
# this file is first configured. Defines the same imported targets the Linux
# build gets from find_package: SQLite::SQLite3 and PostgreSQL::PostgreSQL.
set(ZORV_THIRD_PARTY_DIR ${CMAKE_BINARY_DIR}/third_party)
set(zorv_prefix ${ZORV_THIRD_PARTY_DIR}/prefix)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(zorv_windows_arch x86)
else()
  set(zorv_windows_arch x64)
endif()
message(STATUS "Third-party libraries for Windows ${zorv_windows_arch} (first time: about 8 minutes)")
execute_process(
  COMMAND ${PROJECT_SOURCE_DIR}/scripts/build-windows-third-party ${ZORV_THIRD_PARTY_DIR} ${zorv_windows_arch}
  RESULT_VARIABLE zorv_third_party_result)
if(NOT zorv_third_party_result EQUAL 0)
  message(FATAL_ERROR "building SQLite, OpenSSL and libpq for Windows failed; "
                      "logs under ${ZORV_THIRD_PARTY_DIR}/build")
endif()

function(zorv_import_static name location)
  add_library(${name} STATIC IMPORTED GLOBAL)
  set_target_properties(${name} PROPERTIES
    IMPORTED_LOCATION ${location}
    INTERFACE_INCLUDE_DIRECTORIES ${zorv_prefix}/include
    INTERFACE_LINK_LIBRARIES "${ARGN}")
endfunction()

zorv_import_static(SQLite::SQLite3 ${zorv_prefix}/lib/libsqlite3.a)
zorv_import_static(zorv_third_party_crypto ${zorv_prefix}/lib/libcrypto.a ws2_32 gdi32 crypt32 user32)
zorv_import_static(zorv_third_party_ssl ${zorv_prefix}/lib/libssl.a zorv_third_party_crypto)
zorv_import_static(zorv_third_party_pgport ${zorv_prefix}/lib/libpgport_shlib.a)
zorv_import_static(zorv_third_party_pgcommon ${zorv_prefix}/lib/libpgcommon_shlib.a zorv_third_party_pgport)
# libpq's own objects, then what they call: PostgreSQL's common and port
# code, OpenSSL, and the system's certificate, security and socket DLLs.
zorv_import_static(PostgreSQL::PostgreSQL ${zorv_prefix}/lib/libpq.a
  zorv_third_party_pgcommon zorv_third_party_pgport zorv_third_party_ssl
  crypt32 secur32 ws2_32)
