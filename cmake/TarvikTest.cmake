# The word size of a Windows build tree: 32, the product as it ships, or 64, the same code built
# for 64-bit Windows so that it can be tested where 32-bit programs cannot run at all. Every
# test of a Windows tree finds it in its environment as TARVIK_WINDOWS_ARCH.
if(CMAKE_CROSSCOMPILING)
  math(EXPR TARVIK_WINDOWS_ARCH "${CMAKE_SIZEOF_VOID_P} * 8")
endif()

# tarvik_not_run(<name> <reason>): a test that this tree builds no program for, because its
# subject is a 32-bit program or a 32-bit system; listed with the reason in tests-not-run.txt.
function(tarvik_not_run name reason)
  set_property(GLOBAL APPEND PROPERTY TARVIK_NOT_RUN "${name}: ${reason}")
endfunction()

# Called once at the end: the list of tests not run, and the word size in the environment of
# every test (the shell tests pick their prefix by it). ctest reads the top folder's test file
# first and its environment goes to every test it starts.
function(tarvik_finish_tests)
  get_property(not_run GLOBAL PROPERTY TARVIK_NOT_RUN)
  list(JOIN not_run "\n" text)
  if(text)
    string(APPEND text "\n")
  endif()
  file(CONFIGURE OUTPUT "${CMAKE_BINARY_DIR}/tests-not-run.txt" CONTENT "${text}" @ONLY)
  if(CMAKE_CROSSCOMPILING)
    set(environment "${CMAKE_BINARY_DIR}/test-environment.cmake")
    file(CONFIGURE OUTPUT "${environment}" CONTENT "set(ENV{TARVIK_WINDOWS_ARCH} ${TARVIK_WINDOWS_ARCH})\n")
    set_property(DIRECTORY "${PROJECT_SOURCE_DIR}" APPEND PROPERTY TEST_INCLUDE_FILES "${environment}")
  endif()
endfunction()

# What a 32-bit prefix of a Windows version stands for, for the list of tests not run.
function(tarvik_32bit_system version out)
  if(version STREQUAL "winxp")
    set(system "Windows XP, which exists only as a 32-bit system")
  elseif(version)
    string(REGEX REPLACE "^win" "Windows " system "${version}")
    set(system "32-bit ${system}")
  else()
    set(system "32-bit Windows")
  endif()
  set(${out} "${system} (a 32-bit prefix, which runs no 64-bit program)" PARENT_SCOPE)
endfunction()

# tarvik_add_test(<name> SOURCES ... [LIBS ...] [ARCH 32|64] [VERSION winxp|win7|win8|win10]
#                 [ENVIRONMENT VAR=value ...] [ROOT <name> SYSTEM_DLLS <file> ...])
#
# One GoogleTest executable; each test case becomes a ctest test. In the Windows build the
# cases run under Wine in the build tree's own prefix: ARCH picks the 32-bit or the 64-bit
# prefix (default: the tree's word size), VERSION the Windows version that Wine reports to this
# executable only. ENVIRONMENT is set for each test case (LANG=zh_CN.UTF-8, say, gives the
# Chinese ANSI code page). ROOT gives the program a Wine root of its own, whose system folder
# holds the stand-in SYSTEM_DLLS (a system library that answers as a real system would where
# Wine's own never does). A 64-bit tree cannot run a program in a 32-bit prefix: such a test
# is defined (so that its settings still apply) but neither built nor run, and listed.
function(tarvik_add_test name)
  cmake_parse_arguments(T "" "ARCH;VERSION;ROOT" "SOURCES;LIBS;ENVIRONMENT;SYSTEM_DLLS" ${ARGN})
  if(CMAKE_CROSSCOMPILING AND T_ARCH AND T_ARCH LESS TARVIK_WINDOWS_ARCH)
    add_executable(${name} EXCLUDE_FROM_ALL ${T_SOURCES})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main)
    tarvik_32bit_system("${T_VERSION}" system)
    tarvik_not_run(${name} "its subject is ${system}")
    return()
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/common)
  if(CMAKE_CROSSCOMPILING)
    if(NOT T_ARCH)
      set(T_ARCH ${TARVIK_WINDOWS_ARCH})
    endif()
    # The emulator must be a single program: discovery in this CMake version mangles lists.
    set(root "${TARVIK_WINE_ROOT}")
    if(T_ROOT)
      set(root "${TARVIK_WINE_ROOT}/${T_ROOT}")
    endif()
    set(runner "${root}/run-${T_ARCH}${T_VERSION}.sh")
    set(args --root "'${root}'" --arch ${T_ARCH})
    if(T_VERSION)
      list(APPEND args --version ${T_VERSION})
    endif()
    foreach(dll ${T_SYSTEM_DLLS})
      list(APPEND args --system-dll "'${dll}'")
    endforeach()
    list(JOIN args " " args)
    # The runner carries the tree's word size, so that it also works when started by hand.
    file(WRITE "${runner}.in" "#!/bin/sh\nexport TARVIK_WINDOWS_ARCH=${TARVIK_WINDOWS_ARCH}\nexec '${PROJECT_SOURCE_DIR}/cmake/wine-run.sh' ${args} \"$@\"\n")
    file(COPY_FILE "${runner}.in" "${runner}" ONLY_IF_DIFFERENT)
    file(CHMOD "${runner}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    file(REMOVE "${runner}.in")
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "${runner}")
  endif()
  # A hanging case fails within minutes; the slowest cases (a driver installation, a new
  # 64-bit prefix made while others wait for its lock) end well inside the limit.
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    PROPERTIES TIMEOUT 240 ENVIRONMENT "${T_ENVIRONMENT}")
endfunction()

# tarvik_add_prefix_tests(<stem> SOURCES ... [LIBS ...] [DEFINITIONS ...] [DEPENDS ...])
#
# tarvik_add_test once for each system whose machine state the installer changes differently:
# Windows XP, 7 32-bit and 7 64-bit, as <stem>_<version>_<arch>_test. DEFINITIONS are compile
# definitions of each, DEPENDS targets each needs built first.
function(tarvik_add_prefix_tests stem)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;DEFINITIONS;DEPENDS" ${ARGN})
  foreach(row "winxp|32" "win7|32" "win7|64")
    string(REPLACE "|" ";" case "${row}")
    list(GET case 0 version)
    list(GET case 1 arch)
    set(target ${stem}_${version}_${arch}_test)
    tarvik_add_test(${target} SOURCES ${T_SOURCES} LIBS ${T_LIBS} ARCH ${arch} VERSION ${version})
    target_compile_definitions(${target} PRIVATE ${T_DEFINITIONS})
    if(T_DEPENDS)
      add_dependencies(${target} ${T_DEPENDS})
    endif()
  endforeach()
endfunction()
