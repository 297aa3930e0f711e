# The Windows release: zorv-console-<version>-windows-x64.zip with the
# console, a short README in Japanese and English, and, when this build makes
# our own libzorv.dll, that library and the sample database beside it.
install(TARGETS zorv-console RUNTIME DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/src/interfaces/libzorv/console/win32/README.txt DESTINATION .)
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
set(CPACK_PACKAGE_FILE_NAME zorv-console-${PROJECT_VERSION}-windows-x64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/package)
include(CPack)
