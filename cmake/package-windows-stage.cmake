# Run by CPack on the staged files of the Windows zip before it packs them:
# scripts/windows-stage writes the text files for Windows, signs when a key
# is given and sets every time to the commit's.
execute_process(COMMAND "${CMAKE_CURRENT_LIST_DIR}/../scripts/windows-stage" "${CPACK_TEMPORARY_DIRECTORY}"
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "scripts/windows-stage failed on ${CPACK_TEMPORARY_DIRECTORY}")
endif()
