# tarvik_add_test(<name> SOURCES ... [LIBS ...] [ARCH 32|64] [VERSION winxp|win7|win8|win10]
#                 [ENVIRONMENT VAR=value ...])
#
# One GoogleTest executable; each test case becomes a ctest test. In the Windows build the
# cases run under Wine in the build tree's own prefix: ARCH picks the 32-bit (default) or the
# 64-bit prefix, VERSION the Windows version that Wine reports to this executable only. ENVIRONMENT is set for
# each test case (LANG=zh_CN.UTF-8, say, gives the Chinese ANSI code page).
function(tarvik_add_test name)
  cmake_parse_arguments(T "" "ARCH;VERSION" "SOURCES;LIBS;ENVIRONMENT" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/common)
  if(CMAKE_CROSSCOMPILING)
    if(NOT T_ARCH)
      set(T_ARCH 32)
    endif()
    # The emulator must be a single program: discovery in this CMake version mangles lists.
    set(runner "${TARVIK_WINE_ROOT}/run-${T_ARCH}${T_VERSION}.sh")
    if(NOT EXISTS "${runner}")
      set(args --root "${TARVIK_WINE_ROOT}" --arch ${T_ARCH})
      if(T_VERSION)
        list(APPEND args --version ${T_VERSION})
      endif()
      list(JOIN args " " args)
      file(WRITE "${runner}.in" "#!/bin/sh\nexec '${PROJECT_SOURCE_DIR}/cmake/wine-run.sh' ${args} \"$@\"\n")
      file(COPY_FILE "${runner}.in" "${runner}")
      file(CHMOD "${runner}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
      file(REMOVE "${runner}.in")
    endif()
    set_target_properties(${name} PROPERTIES CROSSCOMPILING_EMULATOR "${runner}")
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    PROPERTIES TIMEOUT 600 ENVIRONMENT "${T_ENVIRONMENT}")
endfunction()
