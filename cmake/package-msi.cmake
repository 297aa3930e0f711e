# Makes the per-user Windows installer with wixl from a folder that holds
# exactly the release zip's files (scripts/package unpacks the zip there), so
# the installer and the zip cannot disagree on what ships. The file list is
# generated from that folder, one component per file, as a fragment for
# packaging/windows/zorv-console.wxs.
#   cmake -DFILES=DIR -DARCH=x64|x86 -DVERSION=X.Y.Z -DICON=ICO -DOUTPUT=MSI
#         -P cmake/package-msi.cmake
# The product code and the package code are made from what the package holds
# (its files, the installer source and the version), and its times are
# SOURCE_DATE_EPOCH when that is set: the same release gives the same bytes,
# and anything new in it gets new codes, as Windows Installer requires.
# Each architecture has its own UpgradeCode, which is also the namespace of
# its component GUIDs: a file keeps its GUID from version to version, and
# the x86 and x64 packages never share one.
cmake_minimum_required(VERSION 3.25)

set(upgrade_code_x64 "6B0E2E1A-5C83-4F4B-9A57-2D0C8E41B7C3")
set(upgrade_code_x86 "A3F1C6D2-7B94-4E08-8C15-5E6A9D20F4B1")

foreach(arg FILES ARCH VERSION ICON OUTPUT)
  if(NOT DEFINED ${arg} OR "${${arg}}" STREQUAL "")
    message(FATAL_ERROR "package-msi: ${arg} is not set")
  endif()
endforeach()
if(NOT DEFINED upgrade_code_${ARCH})
  message(FATAL_ERROR "package-msi: unknown architecture '${ARCH}' (x64 or x86)")
endif()
# The installer compares the first three fields; wixl takes only ASCII.
if(NOT VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+$")
  message(FATAL_ERROR "package-msi: version '${VERSION}' is not MAJOR.MINOR.PATCH")
endif()
if(NOT IS_DIRECTORY "${FILES}")
  message(FATAL_ERROR "package-msi: ${FILES} is not a folder")
endif()
set(upgrade_code ${upgrade_code_${ARCH}})
if(ARCH STREQUAL "x64")
  set(win64 yes)
  set(other_upgrade_code ${upgrade_code_x86})
else()
  set(win64 no)
  set(other_upgrade_code ${upgrade_code_x64})
endif()

# wixl takes only relative source paths: everything it reads is put into
# one work folder and wixl runs there.
get_filename_component(output "${OUTPUT}" ABSOLUTE)
set(work "${output}.work")
file(REMOVE_RECURSE "${work}")
file(COPY "${FILES}/" DESTINATION "${work}/files")
file(COPY_FILE "${ICON}" "${work}/zorv-console.ico")
file(COPY_FILE "${CMAKE_CURRENT_LIST_DIR}/../packaging/windows/zorv-console.wxs" "${work}/zorv-console.wxs")

# An installer identifier made from a path: letters, digits, "_" and ".".
function(msi_id out path)
  string(REGEX REPLACE "[^A-Za-z0-9_.]" "_" id "${path}")
  if(id MATCHES "^[0-9.]")
    string(PREPEND id "_")
  endif()
  set(${out} "${id}" PARENT_SCOPE)
endfunction()

file(GLOB_RECURSE paths RELATIVE "${work}/files" LIST_DIRECTORIES false "${work}/files/*")
list(SORT paths)
if(NOT paths)
  message(FATAL_ERROR "package-msi: ${FILES} holds no file")
endif()
set(directories "")
set(components "")
set(refs "")
set(seen_ids "")
set(seen_dirs "")
foreach(path IN LISTS paths)
  if(NOT path MATCHES "^[ -~]+$")
    message(FATAL_ERROR "package-msi: '${path}' is not an ASCII name")
  endif()
  get_filename_component(dir "${path}" DIRECTORY)
  get_filename_component(name "${path}" NAME)
  # Each folder below the installation folder once, under its parent.
  set(parent_id INSTALLDIR)
  set(walked "")
  if(dir)
    string(REPLACE "/" ";" parts "${dir}")
    foreach(part IN LISTS parts)
      string(APPEND walked "${part}/")
      msi_id(dir_id "dir_${walked}")
      if(NOT walked IN_LIST seen_dirs)
        list(APPEND seen_dirs "${walked}")
        string(APPEND directories
          "    <DirectoryRef Id=\"${parent_id}\"><Directory Id=\"${dir_id}\" Name=\"${part}\"/></DirectoryRef>\n")
      endif()
      set(parent_id ${dir_id})
    endforeach()
  endif()
  msi_id(id "${path}")
  if(id IN_LIST seen_ids)
    message(FATAL_ERROR "package-msi: two files map to the identifier ${id}")
  endif()
  list(APPEND seen_ids ${id})
  string(UUID guid NAMESPACE ${upgrade_code} NAME "file:${path}" TYPE SHA1 UPPER)
  # A folder made for files goes again on uninstall once it is empty.
  string(APPEND components
    "    <DirectoryRef Id=\"${parent_id}\">\n"
    "      <Component Id=\"${id}\" Guid=\"${guid}\" Win64=\"${win64}\">\n"
    "        <File Id=\"${id}\" Name=\"${name}\" Source=\"files/${path}\" KeyPath=\"yes\"/>\n"
    "        <RemoveFolder Id=\"remove_${id}\" On=\"uninstall\"/>\n"
    "      </Component>\n"
    "    </DirectoryRef>\n")
  string(APPEND refs "      <ComponentRef Id=\"${id}\"/>\n")
endforeach()
file(WRITE "${work}/files.wxs" "<?xml version=\"1.0\" encoding=\"utf-8\"?>
<Wix xmlns=\"http://schemas.microsoft.com/wix/2006/wi\">
  <Fragment>
${directories}${components}    <ComponentGroup Id=\"ProductFiles\">
${refs}    </ComponentGroup>
  </Fragment>
</Wix>
")

# What the package holds, in one hash: the codes derive from it.
set(manifest "${VERSION} ${ARCH}\n")
foreach(input IN ITEMS zorv-console.wxs files.wxs zorv-console.ico)
  file(SHA256 "${work}/${input}" hash)
  string(APPEND manifest "${hash}  ${input}\n")
endforeach()
foreach(path IN LISTS paths)
  file(SHA256 "${work}/files/${path}" hash)
  string(APPEND manifest "${hash}  files/${path}\n")
endforeach()
string(SHA256 contents "${manifest}")
string(UUID product_code NAMESPACE ${upgrade_code} NAME "product:${contents}" TYPE SHA1 UPPER)
string(UUID package_code NAMESPACE ${upgrade_code} NAME "package:${contents}" TYPE SHA1 UPPER)
# The cabinet records each file's time.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(COMMAND find "${work}" -exec touch -h -d "@$ENV{SOURCE_DATE_EPOCH}" {} + COMMAND_ERROR_IS_FATAL ANY)
endif()

string(UUID shortcut_guid NAMESPACE ${upgrade_code} NAME "shortcut" TYPE SHA1 UPPER)
find_program(wixl wixl REQUIRED)
file(REMOVE "${output}")
# Ignored attributes only warn in wixl: fatal warnings make them fail.
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env G_DEBUG=fatal-warnings
    ${wixl} -a ${ARCH} -D Version=${VERSION} -D UpgradeCode=${upgrade_code}
    -D OtherUpgradeCode=${other_upgrade_code} -D ProductCode=${product_code}
    -D ShortcutGuid=${shortcut_guid} -D Win64=${win64}
    -o "${output}" zorv-console.wxs files.wxs
  WORKING_DIRECTORY "${work}"
  RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR NOT EXISTS "${output}")
  message(FATAL_ERROR "package-msi: wixl failed (${result}); its input is in ${work}")
endif()
# wixl takes neither: the summary's package code is random and its times
# the clock's, so both are written afterwards.
find_program(python3 NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)
execute_process(COMMAND "${python3}" "${CMAKE_CURRENT_LIST_DIR}/msi-summary.py" "${output}" "{${package_code}}"
    $ENV{SOURCE_DATE_EPOCH}
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "package-msi: writing the summary of ${output} failed")
endif()
file(REMOVE_RECURSE "${work}")
