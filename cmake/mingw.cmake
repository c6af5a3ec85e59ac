# The part of the mingw-w64 toolchain files that does not depend on the target: the -posix
# compilers (their thread model has std::mutex, which GoogleTest needs) and the search roots.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${TARVIK_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARVIK_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TARVIK_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TARVIK_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Release builds are what every download carries: built for size, unused functions and data
# dropped by the linker, symbols stripped. Set here (not as *_INIT, which CMake extends with
# -O3) and forced, so an older build tree picks them up on its next configure too.
set(CMAKE_C_FLAGS_RELEASE "-Os -DNDEBUG -ffunction-sections -fdata-sections" CACHE STRING "" FORCE)
set(CMAKE_CXX_FLAGS_RELEASE "-Os -DNDEBUG -ffunction-sections -fdata-sections" CACHE STRING "" FORCE)
set(CMAKE_EXE_LINKER_FLAGS_RELEASE "-s -Wl,--gc-sections" CACHE STRING "" FORCE)
