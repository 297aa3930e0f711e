# Cross-builds for Windows with Debian's mingw-w64 compilers (the "-posix"
# thread model, for std::thread and std::mutex), runs what it builds under
# Wine, and links the C and C++ runtimes statically so the programs and DLLs
# need nothing beside themselves (on 32-bit, no libgcc_s_dw2-1.dll either).
# Included by the per-architecture toolchain files, which set
# ZORV_MINGW_TRIPLET and CMAKE_SYSTEM_PROCESSOR first.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${ZORV_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZORV_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${ZORV_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZORV_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs start through Wine; the wrapper picks the Wine prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run)

# A Windows program under Wine sees the host's root as drive Z:, so paths
# compiled into the tests are written as Z:/... there.
set(ZORV_TEST_HOST_DRIVE "Z:" CACHE STRING "Drive under which Windows test programs see host paths")
