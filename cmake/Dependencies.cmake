# zlib (Debian's zlib1g-dev natively; for Windows compiled from Debian's zlib source package,
# fetched by scripts/setup.sh), minizip (compiled from that package's contrib sources),
# Zstandard (Debian's libzstd: its decoder and, for the tool, its compressor compiled for
# Windows from the source package fetched by scripts/setup.sh, the whole library natively) and
# GoogleTest (Debian's sources, built for the target).

set(TARVIK_MINIZIP_DIR "${PROJECT_SOURCE_DIR}/.deps/minizip" CACHE PATH "minizip sources (contrib/minizip of zlib)")
if(NOT EXISTS "${TARVIK_MINIZIP_DIR}/zip.c")
  message(FATAL_ERROR "minizip sources not found in ${TARVIK_MINIZIP_DIR}: run scripts/setup.sh")
endif()

if(WIN32)
  # Built here rather than taken from Debian's mingw package, which is built for speed and with
  # unwind tables: for size and without them the 32-bit installer is 32 KB smaller, and deflate
  # and inflate measured as fast. The same sources as the Linux tool's zlib, so the same bytes.
  set(TARVIK_ZLIB_DIR "${PROJECT_SOURCE_DIR}/.deps/zlib" CACHE PATH "zlib sources (Debian's zlib source package)")
  if(NOT EXISTS "${TARVIK_ZLIB_DIR}/deflate.c")
    message(FATAL_ERROR "zlib sources not found in ${TARVIK_ZLIB_DIR}: run scripts/setup.sh")
  endif()
  add_library(zlib STATIC
    ${TARVIK_ZLIB_DIR}/adler32.c
    ${TARVIK_ZLIB_DIR}/compress.c
    ${TARVIK_ZLIB_DIR}/crc32.c
    ${TARVIK_ZLIB_DIR}/deflate.c
    ${TARVIK_ZLIB_DIR}/inffast.c
    ${TARVIK_ZLIB_DIR}/inflate.c
    ${TARVIK_ZLIB_DIR}/inftrees.c
    ${TARVIK_ZLIB_DIR}/trees.c
    ${TARVIK_ZLIB_DIR}/uncompr.c
    ${TARVIK_ZLIB_DIR}/zutil.c)
  target_include_directories(zlib SYSTEM PUBLIC ${TARVIK_ZLIB_DIR})
  target_compile_options(zlib PRIVATE -Os -w -fno-asynchronous-unwind-tables)
  add_library(ZLIB::ZLIB ALIAS zlib)
else()
  find_package(ZLIB REQUIRED)
endif()

add_library(minizip STATIC
  ${TARVIK_MINIZIP_DIR}/ioapi.c
  ${TARVIK_MINIZIP_DIR}/zip.c
  ${TARVIK_MINIZIP_DIR}/unzip.c)
target_include_directories(minizip SYSTEM PUBLIC ${TARVIK_MINIZIP_DIR})
target_link_libraries(minizip PUBLIC ZLIB::ZLIB)
# Third-party code: keep its warnings out of our build log.
target_compile_options(minizip PRIVATE -w)
# The member's data are read and inflated 256 KiB at a time, not 16 KiB: inflate copies its
# window out of every call's output, which at 16 KiB came to a second copy of the whole payload.
target_compile_definitions(minizip PRIVATE UNZ_BUFSIZE=262144)
if(WIN32)
  # No unwind tables: C code has no use for them, and in the installer they would keep every
  # one of its functions linked.
  target_compile_options(minizip PRIVATE -fno-asynchronous-unwind-tables)
else()
  target_compile_definitions(minizip PRIVATE _FILE_OFFSET_BITS=64 _LARGEFILE64_SOURCE)
endif()

# zstd_decoder: what the installer needs to read a Zstandard member. zstd_encoder: the compressor
# as well, for the tools only.
if(WIN32)
  set(TARVIK_ZSTD_DIR "${PROJECT_SOURCE_DIR}/.deps/zstd/lib" CACHE PATH "Zstandard sources (lib/ of Debian's libzstd)")
  if(NOT EXISTS "${TARVIK_ZSTD_DIR}/decompress/zstd_decompress.c")
    message(FATAL_ERROR "Zstandard sources not found in ${TARVIK_ZSTD_DIR}: run scripts/setup.sh")
  endif()
  add_library(zstd_decoder STATIC
    ${TARVIK_ZSTD_DIR}/common/debug.c
    ${TARVIK_ZSTD_DIR}/common/entropy_common.c
    ${TARVIK_ZSTD_DIR}/common/error_private.c
    ${TARVIK_ZSTD_DIR}/common/fse_decompress.c
    ${TARVIK_ZSTD_DIR}/common/xxhash.c
    ${TARVIK_ZSTD_DIR}/common/zstd_common.c
    ${TARVIK_ZSTD_DIR}/decompress/huf_decompress.c
    ${TARVIK_ZSTD_DIR}/decompress/zstd_ddict.c
    ${TARVIK_ZSTD_DIR}/decompress/zstd_decompress.c
    ${TARVIK_ZSTD_DIR}/decompress/zstd_decompress_block.c)
  target_include_directories(zstd_decoder SYSTEM PUBLIC ${TARVIK_ZSTD_DIR})
  # Small: no legacy frame formats, no error texts, no x86-64 assembly, one Huffman and one
  # sequence decoder instead of two each (measured: 10 to 20 KB less, as fast). Built for size but for
  # the two files of the inner loops: at -Os the installer took 5.4 s under Wine to load the
  # 491 MiB reference payload (deflate 3.0 s), with these two at -O2 1.5 s, for 11 KB.
  target_compile_definitions(zstd_decoder PRIVATE ZSTD_LEGACY_SUPPORT=0 ZSTD_STRIP_ERROR_STRINGS ZSTD_DISABLE_ASM
                                                  HUF_FORCE_DECOMPRESS_X1 ZSTD_FORCE_DECOMPRESS_SEQUENCES_SHORT)
  target_compile_options(zstd_decoder PRIVATE -Os -w -fno-asynchronous-unwind-tables)
  set_source_files_properties(${TARVIK_ZSTD_DIR}/decompress/zstd_decompress_block.c
                              ${TARVIK_ZSTD_DIR}/decompress/huf_decompress.c PROPERTIES COMPILE_OPTIONS -O2)
  # The compressor of the Windows tool, from the same sources, with its worker threads (Win32
  # threads in zstd's own threading layer): the same frames as the Linux tool's for the same
  # body and level. Never linked into the installer, which links zstd_decoder only.
  add_library(zstd_encoder STATIC
    ${TARVIK_ZSTD_DIR}/common/pool.c
    ${TARVIK_ZSTD_DIR}/common/threading.c
    ${TARVIK_ZSTD_DIR}/compress/fse_compress.c
    ${TARVIK_ZSTD_DIR}/compress/hist.c
    ${TARVIK_ZSTD_DIR}/compress/huf_compress.c
    ${TARVIK_ZSTD_DIR}/compress/zstd_compress.c
    ${TARVIK_ZSTD_DIR}/compress/zstd_compress_literals.c
    ${TARVIK_ZSTD_DIR}/compress/zstd_compress_sequences.c
    ${TARVIK_ZSTD_DIR}/compress/zstd_compress_superblock.c
    ${TARVIK_ZSTD_DIR}/compress/zstd_double_fast.c
    ${TARVIK_ZSTD_DIR}/compress/zstd_fast.c
    ${TARVIK_ZSTD_DIR}/compress/zstd_lazy.c
    ${TARVIK_ZSTD_DIR}/compress/zstd_ldm.c
    ${TARVIK_ZSTD_DIR}/compress/zstd_opt.c
    ${TARVIK_ZSTD_DIR}/compress/zstdmt_compress.c)
  target_compile_definitions(zstd_encoder PRIVATE ZSTD_MULTITHREAD ZSTD_DISABLE_ASM)
  target_compile_options(zstd_encoder PRIVATE -O2 -w)
  target_link_libraries(zstd_encoder PUBLIC zstd_decoder)
else()
  # The shared library: Debian builds only that one with worker threads, and it exports the
  # entry points beyond the stable ones (the frame header) too.
  find_path(TARVIK_ZSTD_INCLUDE zstd.h REQUIRED)
  find_library(TARVIK_ZSTD_LIBRARY NAMES zstd REQUIRED)
  add_library(zstd_decoder INTERFACE)
  target_include_directories(zstd_decoder SYSTEM INTERFACE ${TARVIK_ZSTD_INCLUDE})
  target_link_libraries(zstd_decoder INTERFACE ${TARVIK_ZSTD_LIBRARY})
  add_library(zstd_encoder ALIAS zstd_decoder)
endif()

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)
