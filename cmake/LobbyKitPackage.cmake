# Debian packages made with CPack (cpack -G DEB in a build configured with
# -DCMAKE_INSTALL_PREFIX=/usr; scripts/test-install.sh deb shows the whole way):
#   liblobbykit0     the shared library, lobbykit-reg and its manual page  (component runtime)
#   liblobbykit-dev  headers, the .so link, CMake package, pkg-config file (component dev)
# Native packages (no Debian revision): the version is the project's.
set(LOBBYKIT_DEB_MAINTAINER "lobbykit maintainers <maintainers@users.noreply.c-seed-0fcd67cc.example>"
    CACHE STRING "Maintainer field of the Debian packages")

# Each package's copyright and (compressed) changelog, as Debian policy asks of every package.
configure_file(cmake/debian/changelog.in ${PROJECT_BINARY_DIR}/debian/changelog @ONLY)
find_program(LOBBYKIT_GZIP gzip REQUIRED)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/debian/changelog.gz
  COMMAND ${LOBBYKIT_GZIP} -9nf ${PROJECT_BINARY_DIR}/debian/changelog -k
  DEPENDS ${PROJECT_BINARY_DIR}/debian/changelog VERBATIM)
add_custom_target(lobbykit-deb-changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/debian/changelog.gz)
foreach(component IN ITEMS runtime dev)
  if(component STREQUAL "runtime")
    set(package liblobbykit${PROJECT_VERSION_MAJOR})
  else()
    set(package liblobbykit-dev)
  endif()
  install(FILES cmake/debian/copyright ${PROJECT_BINARY_DIR}/debian/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()

# What lobbykit chooses where the classic behaviour is open: beside the headers' contract.
install(FILES docs/behaviour.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/liblobbykit-dev COMPONENT dev)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lobbykit)
set(CPACK_PACKAGE_VENDOR "lobbykit")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${LOBBYKIT_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${LOBBYKIT_DEB_MAINTAINER}")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime dev)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # name_version_arch.deb
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# dpkg-shlibdeps finds the runtime's dependencies (libc, libstdc++, libsqlite3, ...). The
# runtime package brings its own shlibs and symbols files (every symbol is LOBBYKIT_0, from
# 0.1.0 on) and an ldconfig trigger; CPack's own shlibs option would add maintainer scripts
# that call ldconfig, which Debian has replaced by the trigger.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
foreach(f shlibs symbols)
  configure_file(cmake/debian/${f}.in ${PROJECT_BINARY_DIR}/debian/${f} @ONLY)
endforeach()
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/debian/shlibs
    ${PROJECT_BINARY_DIR}/debian/symbols ${PROJECT_SOURCE_DIR}/cmake/debian/triggers
    ${PROJECT_SOURCE_DIR}/cmake/debian/postinst ${PROJECT_SOURCE_DIR}/cmake/debian/postrm)
# Tags of lintian that are meant, each with its reason in the file.
install(FILES cmake/debian/liblobbykit-dev.lintian-overrides
  DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME liblobbykit-dev COMPONENT dev)
install(FILES cmake/debian/liblobbykit${PROJECT_VERSION_MAJOR}.lintian-overrides
  DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME liblobbykit${PROJECT_VERSION_MAJOR}
  COMPONENT runtime)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME liblobbykit${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "lobby/game channel and services for game lobbies
lobbykit is the shared library that a game lobby and the games it starts load
to talk to each other: a shared-memory channel between a lobby and one game,
a game link, a shared configuration record, a chat emote interpreter, typed
per-user registry settings, a rank title lookup and a bitmap image class. On
Linux it carries winport, the Win32 subset its hosts are written against.

This package holds the shared library and lobbykit-reg, which looks at and
changes the per-user registry store.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME liblobbykit-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "liblobbykit${PROJECT_VERSION_MAJOR} (= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_DEV_DESCRIPTION "lobby/game channel and services for game lobbies - development files
lobbykit is the shared library that a game lobby and the games it starts load
to talk to each other, with chat emotes, registry settings, level titles and
bitmap images.

This package holds what hosts are built with: the headers (the game link, the
lobby's server end of the channel, the services, the image class and the
Win32 subset), the CMake package and the pkg-config file.")

include(CPack)
