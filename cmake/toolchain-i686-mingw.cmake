# 32-bit Windows target: the product and its unit tests.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TARVIK_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
