# Settings of the Windows build (mingw-w64, see cmake/toolchain-mingw-w64.cmake), included
# by the top-level CMakeLists.txt when WIN32.

# <windows.h> must not turn min and max into macros: the sources use std::min/std::max, as
# they do against winport's windows.h.
target_compile_definitions(lobbykit_build_flags INTERFACE NOMINMAX)

# The Win32 subset comes from the system DLLs.
list(APPEND LOBBYKIT_EXTRA_LIBS user32 gdi32 advapi32)

# Test programs run under Wine when built on Linux.
if(CMAKE_CROSSCOMPILING AND CMAKE_HOST_UNIX AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(LOBBYKIT_WINEPREFIX ${PROJECT_BINARY_DIR}/wineprefix CACHE PATH
      "Wine prefix in which the tests of the Windows build run")
  # lobbykit.dll is found in the build folder by the programs that load it (demos, hosts).
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/cmake/wine-run.sh
      --path ${PROJECT_BINARY_DIR} ${LOBBYKIT_WINEPREFIX})
endif()

# GoogleTest from the sources that Debian's googletest package ships, built with the cross
# compiler (nothing is downloaded). Called from tests/CMakeLists.txt; defines GTest::gtest,
# GTest::gtest_main (and GTest::gmock, GTest::gmock_main) as find_package(GTest) would.
macro(lobbykit_gtest_from_source)
  set(LOBBYKIT_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
  if(NOT EXISTS ${LOBBYKIT_GTEST_SOURCE_DIR}/CMakeLists.txt)
    message(FATAL_ERROR "No GoogleTest sources in ${LOBBYKIT_GTEST_SOURCE_DIR} "
                        "(apt-get install googletest)")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  # GoogleTest's own Win32 threading, rather than winpthread's emulation of pthreads.
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  add_subdirectory(${LOBBYKIT_GTEST_SOURCE_DIR} ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # Not our code: its warnings are not ours to fail on.
  foreach(t gtest gtest_main gmock gmock_main)
    if(TARGET ${t})
      target_compile_options(${t} PRIVATE -Wno-error)
    endif()
  endforeach()
endmacro()
