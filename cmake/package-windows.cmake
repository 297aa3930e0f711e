# The Windows release: zorv-console-<version>-windows-x64.zip (or -x86.zip
# from the 32-bit build) with the console, the checker zorv-check.exe, a short
# README in Japanese and English, our licence, the notices of every library
# linked in, the trace library under trace/ and, when this build makes our own
# libzorv.dll, that library and the sample database beside it.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(zorv_windows_arch x86)
  set(ZORV_BITS_EN "32-bit")
  set(ZORV_BITS_JA "32 ビット")
else()
  set(zorv_windows_arch x64)
  set(ZORV_BITS_EN "64-bit")
  set(ZORV_BITS_JA "64 ビット")
endif()
install(TARGETS zorv-console zorv-check RUNTIME DESTINATION .)
# The README names this package's bitness.
configure_file(${PROJECT_SOURCE_DIR}/src/interfaces/libzorv/console/win32/README.txt
  ${CMAKE_BINARY_DIR}/README.txt @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/README.txt DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)

# Each shipped file's linker map says what was linked into it; the notices
# are written from those maps, so a library linked in without one fails the
# build (scripts/third-party-notices).
set(ZORV_LINK_MAPS_DIR ${CMAKE_BINARY_DIR}/linkmaps)
file(MAKE_DIRECTORY ${ZORV_LINK_MAPS_DIR})
set(zorv_shipped zorv-console zorv-check zorv_trace)
if(TARGET zorv_reference)
  list(APPEND zorv_shipped zorv_reference)
endif()
set(zorv_link_maps)
foreach(target IN LISTS zorv_shipped)
  set(map ${ZORV_LINK_MAPS_DIR}/${target}.map)
  target_link_options(${target} PRIVATE "LINKER:-Map=${map}")
  list(APPEND zorv_link_maps "$<TARGET_FILE_NAME:${target}>=${map}")
endforeach()
# SHIPPED=MAP, one a line, for the release's checks.
file(GENERATE OUTPUT ${ZORV_LINK_MAPS_DIR}/shipped.txt CONTENT "$<JOIN:${zorv_link_maps},\n>\n")
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(ZORV_NOTICES ${CMAKE_BINARY_DIR}/THIRD-PARTY-NOTICES.txt)
# The same libraries, machine-readable, for the bill of materials (scripts/sbom).
set(ZORV_LIBRARIES_JSON ${CMAKE_BINARY_DIR}/third-party.json)
get_property(zorv_embedded GLOBAL PROPERTY ZORV_EMBEDDED_TEXTS)
set(zorv_embedded_files ${zorv_embedded})
list(TRANSFORM zorv_embedded_files REPLACE "^[^=]*=" "")
list(TRANSFORM zorv_embedded PREPEND "--embedded=")
add_custom_command(OUTPUT ${ZORV_NOTICES} ${ZORV_LIBRARIES_JSON}
  COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/scripts/third-party-notices
          --build ${CMAKE_BINARY_DIR} --output ${ZORV_NOTICES} --json ${ZORV_LIBRARIES_JSON}
          --product "zorv console ${PROJECT_VERSION} for Windows (${CMAKE_SYSTEM_PROCESSOR})"
          ${zorv_embedded} ${zorv_link_maps}
  DEPENDS ${zorv_shipped} ${zorv_embedded_files} ${PROJECT_SOURCE_DIR}/scripts/third-party-notices
  VERBATIM)
add_custom_target(zorv_third_party_notices ALL DEPENDS ${ZORV_NOTICES})
install(FILES ${ZORV_NOTICES} DESTINATION .)
if(ZORV_BUILD_TESTS)
  # Runs on the build machine, not under Wine.
  add_test(NAME third_party_notices
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/tests/package/notices_test.py
            ${PROJECT_SOURCE_DIR}/scripts/third-party-notices ${CMAKE_BINARY_DIR} ${ZORV_NOTICES}
            ${zorv_link_maps})
endif()
if(TARGET zorv_reference)
  # As a target, so CPack strips it like the console; its import library
  # is for nobody in a release.
  install(TARGETS zorv_reference RUNTIME DESTINATION . ARCHIVE DESTINATION lib EXCLUDE_FROM_ALL)
  # Made by scripts/package before CPack runs.
  install(FILES ${CMAKE_BINARY_DIR}/demo.db DESTINATION .)
endif()
# The trace library and its sample settings in a folder of their own, never
# beside the console as its bridge: a user copies them in front of one.
install(TARGETS zorv_trace RUNTIME DESTINATION trace ARCHIVE DESTINATION lib EXCLUDE_FROM_ALL)
install(FILES ${ZORV_TRACE_SAMPLE_SETTINGS} DESTINATION trace)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME zorv-console)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME zorv-console-${PROJECT_VERSION}-windows-${zorv_windows_arch})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/package)
# Text files for Windows, signatures and fixed times, on the staged files.
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/package-windows-stage.cmake)
include(CPack)
