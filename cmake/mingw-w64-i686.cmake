# 32-bit Windows (x86).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ZORV_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
