# Cross build for 64-bit Windows with Debian's mingw-w64 (x86_64-w64-mingw32):
#   cmake -S . -B build/windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-w64.cmake
# The real <windows.h> and system DLLs replace winport/posix. Tests run under Wine
# (see cmake/LobbyKitWindows.cmake and scripts/test-windows.sh).

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(LOBBYKIT_MINGW_TRIPLE x86_64-w64-mingw32)

# The "posix" thread model: its libstdc++ has std::thread and std::mutex (the "win32" one
# of GCC 12 has neither), at the price of winpthread, which is linked statically below.
find_program(CMAKE_C_COMPILER NAMES ${LOBBYKIT_MINGW_TRIPLE}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${LOBBYKIT_MINGW_TRIPLE}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${LOBBYKIT_MINGW_TRIPLE}-windres)
find_program(CMAKE_AR NAMES ${LOBBYKIT_MINGW_TRIPLE}-gcc-ar-posix ${LOBBYKIT_MINGW_TRIPLE}-ar)
find_program(CMAKE_RANLIB NAMES ${LOBBYKIT_MINGW_TRIPLE}-gcc-ranlib-posix ${LOBBYKIT_MINGW_TRIPLE}-ranlib)

set(CMAKE_FIND_ROOT_PATH /usr/${LOBBYKIT_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and winpthread go into each binary, so that lobbykit.dll and the test
# programs need nothing beyond what Windows (or Wine) ships: no runtime DLLs to copy.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
