# 64-bit Windows target: helper programs that must run as native 64-bit processes.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TARVIK_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
