# Install rules, the CMake package and the pkg-config file. Two components, as the Debian
# packages split them (cmake/LobbyKitPackage.cmake): "runtime" (the shared library, the
# registry tool and its manual page) and "dev" (headers, the .so link, CMake package,
# pkg-config file, the import library on Windows).
include(CMakePackageConfigHelpers)

set(LOBBYKIT_HEADER_DIR ${CMAKE_INSTALL_INCLUDEDIR}/lobbykit)
install(TARGETS lobbykit EXPORT lobbykitTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
    # A shared library is not a program (and Debian's lintian says so).
    PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
install(DIRECTORY include/ winport/afx/ DESTINATION ${LOBBYKIT_HEADER_DIR} COMPONENT dev
  FILES_MATCHING PATTERN "*.h")
# The channel's server end, for lobbies; its other headers are the library's own.
install(FILES ipc/MapIPC.h ipc/MapIPCProtocol.h DESTINATION ${LOBBYKIT_HEADER_DIR}/ipc COMPONENT dev)
if(NOT WIN32)
  install(DIRECTORY winport/posix/include/ DESTINATION ${LOBBYKIT_HEADER_DIR} COMPONENT dev
    FILES_MATCHING PATTERN "*.h")
endif()

install(EXPORT lobbykitTargets NAMESPACE lobbykit::
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/lobbykit COMPONENT dev)
configure_package_config_file(cmake/lobbykitConfig.cmake.in
  ${PROJECT_BINARY_DIR}/lobbykitConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/lobbykit)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/lobbykitConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)  # 0.x: each minor release may change the interface
install(FILES ${PROJECT_BINARY_DIR}/lobbykitConfig.cmake
              ${PROJECT_BINARY_DIR}/lobbykitConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/lobbykit COMPONENT dev)

# What a static link of the library would need beyond it (the library links them itself).
if(WIN32)
  set(LOBBYKIT_PC_LIBS_PRIVATE "-luser32 -lgdi32 -ladvapi32")
  set(LOBBYKIT_PC_CFLAGS "")
else()
  set(LOBBYKIT_PC_LIBS_PRIVATE "-lsqlite3 -lpthread -lrt")
  set(LOBBYKIT_PC_CFLAGS " -fPIC")  # see GameLink.h: g_ipcConfig through the GOT
endif()
# From <libdir>/pkgconfig up to the prefix: two steps for lib, three for Debian's
# lib/<triplet>.
file(RELATIVE_PATH LOBBYKIT_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
string(REGEX REPLACE "/$" "" LOBBYKIT_PC_TO_PREFIX "${LOBBYKIT_PC_TO_PREFIX}")
configure_file(cmake/lobbykit.pc.in ${PROJECT_BINARY_DIR}/lobbykit.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/lobbykit.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)

if(NOT WIN32)
  include(cmake/LobbyKitPackage.cmake)
endif()
