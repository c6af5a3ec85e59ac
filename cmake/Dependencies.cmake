# zlib (system package for the target), minizip (compiled from zlib's contrib sources,
# fetched by scripts/setup.sh) and GoogleTest (Debian's sources, built for the target).

set(TARVIK_MINIZIP_DIR "${PROJECT_SOURCE_DIR}/.deps/minizip" CACHE PATH "minizip sources (contrib/minizip of zlib)")
if(NOT EXISTS "${TARVIK_MINIZIP_DIR}/zip.c")
  message(FATAL_ERROR "minizip sources not found in ${TARVIK_MINIZIP_DIR}: run scripts/setup.sh")
endif()

if(WIN32)
  set(ZLIB_USE_STATIC_LIBS ON)  # no zlib1.dll beside the installer
endif()
find_package(ZLIB REQUIRED)

add_library(minizip STATIC
  ${TARVIK_MINIZIP_DIR}/ioapi.c
  ${TARVIK_MINIZIP_DIR}/zip.c
  ${TARVIK_MINIZIP_DIR}/unzip.c)
target_include_directories(minizip SYSTEM PUBLIC ${TARVIK_MINIZIP_DIR})
target_link_libraries(minizip PUBLIC ZLIB::ZLIB)
# Third-party code: keep its warnings out of our build log.
target_compile_options(minizip PRIVATE -w)
if(WIN32)
  # No unwind tables: C code has no use for them, and in the installer they would keep every
  # one of its functions linked.
  target_compile_options(minizip PRIVATE -fno-asynchronous-unwind-tables)
else()
  target_compile_definitions(minizip PRIVATE _FILE_OFFSET_BITS=64 _LARGEFILE64_SOURCE)
endif()

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)
