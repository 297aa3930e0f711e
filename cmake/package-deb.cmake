# The Debian package: what `make install` puts where on Linux, the files a
# desktop expects (menu entry, icon, AppStream metainfo, manual page) made at
# build time, and CPack's DEB generator. scripts/package drives it with
# CMAKE_INSTALL_PREFIX=/usr, so GNUInstallDirs picks Debian's multiarch
# library folder, where the system loader finds libzorv.so by default.
if(NOT ZORV_BUILD_CONSOLE OR NOT TARGET zorv_reference)
  return()
endif()
include(GNUInstallDirs)

find_program(ZORV_SCDOC scdoc REQUIRED)
find_program(ZORV_RSVG_CONVERT rsvg-convert REQUIRED)
find_program(ZORV_GZIP gzip REQUIRED)

set(ZORV_APP_ID org.zorv.console)
set(ZORV_MAINTAINER "zorv maintainers <maintainers@users.noreply.c-seed-30deb175.example>")
# The day this version was released: the metainfo's release and the changelog.
set(ZORV_RELEASE_DATE 2026-12-08)
execute_process(COMMAND date -u -R -d "${ZORV_RELEASE_DATE} 00:00:00"
  OUTPUT_VARIABLE ZORV_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)

set(ZORV_LINUX_DIR ${PROJECT_SOURCE_DIR}/packaging/linux)
set(ZORV_LINUX_OUT ${PROJECT_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${ZORV_LINUX_OUT})
configure_file(${ZORV_LINUX_DIR}/${ZORV_APP_ID}.metainfo.xml.in
  ${ZORV_LINUX_OUT}/${ZORV_APP_ID}.metainfo.xml @ONLY)
configure_file(${ZORV_LINUX_DIR}/changelog.in ${ZORV_LINUX_OUT}/changelog @ONLY)

# Debian wants manual pages and changelogs compressed, without a time stamp
# (gzip -n), so the same sources make the same package.
set(ZORV_MAN_PAGES)
foreach(page IN ITEMS zorv-console.1 zorv-check.1)
  add_custom_command(OUTPUT ${ZORV_LINUX_OUT}/${page}.gz
    COMMAND sh -c "'${ZORV_SCDOC}' < '${ZORV_LINUX_DIR}/${page}.scd' | '${ZORV_GZIP}' -9n > ${page}.gz"
    DEPENDS ${ZORV_LINUX_DIR}/${page}.scd
    WORKING_DIRECTORY ${ZORV_LINUX_OUT} VERBATIM)
  list(APPEND ZORV_MAN_PAGES ${ZORV_LINUX_OUT}/${page}.gz)
endforeach()
add_custom_command(OUTPUT ${ZORV_LINUX_OUT}/changelog.gz
  COMMAND ${ZORV_GZIP} -9n -c changelog > changelog.gz
  DEPENDS ${ZORV_LINUX_OUT}/changelog
  WORKING_DIRECTORY ${ZORV_LINUX_OUT} VERBATIM)
add_custom_command(OUTPUT ${ZORV_LINUX_OUT}/${ZORV_APP_ID}.png
  COMMAND ${ZORV_RSVG_CONVERT} -w 48 -h 48 -o ${ZORV_APP_ID}.png ${ZORV_LINUX_DIR}/${ZORV_APP_ID}.svg
  DEPENDS ${ZORV_LINUX_DIR}/${ZORV_APP_ID}.svg
  WORKING_DIRECTORY ${ZORV_LINUX_OUT} VERBATIM)
# make-demo-db keeps a file that exists, so a changed script starts afresh.
add_custom_command(OUTPUT ${ZORV_LINUX_OUT}/demo.db
  COMMAND ${CMAKE_COMMAND} -E rm -f demo.db
  COMMAND ${PROJECT_SOURCE_DIR}/scripts/make-demo-db demo.db
  DEPENDS ${PROJECT_SOURCE_DIR}/scripts/make-demo-db
  WORKING_DIRECTORY ${ZORV_LINUX_OUT} VERBATIM)
add_custom_target(zorv_linux_data ALL DEPENDS
  ${ZORV_MAN_PAGES} ${ZORV_LINUX_OUT}/changelog.gz
  ${ZORV_LINUX_OUT}/${ZORV_APP_ID}.png ${ZORV_LINUX_OUT}/demo.db)

install(TARGETS zorv-console zorv-check RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS zorv_reference LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
# The trace library in a folder of its own, where no loader finds it by
# name: a user copies it in front of a bridge on purpose.
install(TARGETS zorv_trace LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/zorv-console)
install(FILES ${ZORV_TRACE_SAMPLE_SETTINGS} DESTINATION ${CMAKE_INSTALL_DATADIR}/zorv-console)
install(FILES ${ZORV_LINUX_DIR}/${ZORV_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${ZORV_LINUX_OUT}/${ZORV_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${ZORV_LINUX_DIR}/${ZORV_APP_ID}.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${ZORV_LINUX_OUT}/${ZORV_APP_ID}.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps)
install(FILES ${ZORV_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${ZORV_LINUX_OUT}/demo.db DESTINATION ${CMAKE_INSTALL_DATADIR}/zorv-console)
install(FILES ${ZORV_LINUX_DIR}/copyright ${ZORV_LINUX_OUT}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/zorv-console)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zorv-console)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${ZORV_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "test console for the database bridge library libzorv")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "One window calls the functions of the bridge library libzorv one at a time
and shows each result code and the answer text the library wrote, with texts
in the Japanese code page CP932. The package includes its own libzorv over
SQLite and PostgreSQL, a small Japanese sample database, and zorv-check,
which checks a bridge library against what the console relies on.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The console shows Japanese texts; any font that has them will do.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-ipafont-gothic | fonts-noto-cjk | fonts-vlgothic")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# dpkg's ldconfig trigger refreshes the loader's cache for libzorv.so.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${ZORV_LINUX_DIR}/triggers)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
