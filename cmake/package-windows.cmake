# The Windows release: zorv-console-<version>-windows-x64.zip (or -x86.zip
# from the 32-bit build) with the console, a short README in Japanese and English, and, when this build makes
# our own libzorv.dll, that library and the sample database beside it.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(zorv_windows_arch x86)
  set(ZORV_BITS_EN "32-bit")
  set(ZORV_BITS_JA "32 ビット")
else()
  set(zorv_windows_arch x64)
  set(ZORV_BITS_EN "64-bit")
  set(ZORV_BITS_JA "64 ビット")
endif()
install(TARGETS zorv-console RUNTIME DESTINATION .)
# The README names this package's bitness.
configure_file(${PROJECT_SOURCE_DIR}/src/interfaces/libzorv/console/win32/README.txt
  ${CMAKE_BINARY_DIR}/README.txt @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/README.txt DESTINATION .)
if(TARGET zorv_reference)
  # As a target, so CPack strips it like the console; its import library
  # is for nobody in a release.
  install(TARGETS zorv_reference RUNTIME DESTINATION . ARCHIVE DESTINATION lib EXCLUDE_FROM_ALL)
  # Made by scripts/package before CPack runs.
  install(FILES ${CMAKE_BINARY_DIR}/demo.db DESTINATION .)
endif()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME zorv-console)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME zorv-console-${PROJECT_VERSION}-windows-${zorv_windows_arch})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/package)
include(CPack)
