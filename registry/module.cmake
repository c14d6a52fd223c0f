# lobbykit-reg: look at and change the per-user registry store from a shell. Linux only: on
# Windows the system's own reg command works on the real registry.
if(NOT WIN32)
  add_executable(lobbykit-reg ${CMAKE_CURRENT_LIST_DIR}/tool/RegTool.cpp)
  target_include_directories(lobbykit-reg PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(lobbykit-reg PRIVATE lobbykit)
  target_compile_definitions(lobbykit-reg PRIVATE LOBBYKIT_VERSION="${PROJECT_VERSION}")
  # Installed beside the library: found there without LD_LIBRARY_PATH. Not where the loader
  # looks anyway (/usr): a run path there is one too many (Debian forbids it).
  list(FIND CMAKE_C_IMPLICIT_LINK_DIRECTORIES "${CMAKE_INSTALL_FULL_LIBDIR}" system_libdir)
  if(system_libdir EQUAL -1)
    set_target_properties(lobbykit-reg PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
  endif()
  if(LOBBYKIT_INSTALL)
    install(TARGETS lobbykit-reg RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
    # Manual pages are installed compressed, as man finds them and Debian wants them
    # (gzip -n: no name or time stamp, the same bytes from every build).
    find_program(LOBBYKIT_GZIP gzip REQUIRED)
    set(manpage ${CMAKE_CURRENT_BINARY_DIR}/lobbykit-reg.1.gz)
    add_custom_command(OUTPUT ${manpage}
      COMMAND sh -c "\"$0\" -9n -c \"$1\" > \"$2\"" ${LOBBYKIT_GZIP}
              ${CMAKE_CURRENT_LIST_DIR}/tool/lobbykit-reg.1 ${manpage}
      DEPENDS ${CMAKE_CURRENT_LIST_DIR}/tool/lobbykit-reg.1 VERBATIM)
    add_custom_target(lobbykit-reg-manpage ALL DEPENDS ${manpage})
    install(FILES ${manpage} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT runtime)
  endif()
endif()
