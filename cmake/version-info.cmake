# Windows version records: each file we ship names the product, says what it
# is, and carries the project's one version number, the copyright and the
# licence, as Explorer's Details tab shows them.
set(ZORV_PRODUCT_NAME "zorv console")
set(ZORV_COPYRIGHT "Copyright (c) 2026 The zorv console authors")
set(ZORV_LICENCE "MIT")

# Adds a VERSIONINFO resource to TARGET (an executable or a shared library)
# with DESCRIPTION as its file description.
function(zorv_add_version_info target description)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "SHARED_LIBRARY")
    set(file_type VFT_DLL)
  else()
    set(file_type VFT_APP)
  endif()
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc)
  file(GENERATE OUTPUT ${rc} CONTENT "#include <winver.h>

VS_VERSION_INFO VERSIONINFO
FILEVERSION ${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0
PRODUCTVERSION ${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0
FILEOS VOS_NT_WINDOWS32
FILETYPE ${file_type}
BEGIN
  BLOCK \"StringFileInfo\"
  BEGIN
    BLOCK \"040904B0\"
    BEGIN
      VALUE \"Comments\", \"Licence: ${ZORV_LICENCE}\"
      VALUE \"FileDescription\", \"${description}\"
      VALUE \"FileVersion\", \"${PROJECT_VERSION}\"
      VALUE \"InternalName\", \"$<TARGET_FILE_PREFIX:${target}>$<TARGET_FILE_BASE_NAME:${target}>\"
      VALUE \"LegalCopyright\", \"${ZORV_COPYRIGHT}\"
      VALUE \"OriginalFilename\", \"$<TARGET_FILE_NAME:${target}>\"
      VALUE \"ProductName\", \"${ZORV_PRODUCT_NAME}\"
      VALUE \"ProductVersion\", \"${PROJECT_VERSION}\"
    END
  END
  BLOCK \"VarFileInfo\"
  BEGIN
    VALUE \"Translation\", 0x409, 1200
  END
END
")
  target_sources(${target} PRIVATE ${rc})
endfunction()
