# lobbykit-reg: look at and change the per-user registry store from a shell. Linux only: on
# Windows the system's own reg command works on the real registry.
if(NOT WIN32)
  add_executable(lobbykit-reg ${CMAKE_CURRENT_LIST_DIR}/tool/RegTool.cpp)
  target_include_directories(lobbykit-reg PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(lobbykit-reg PRIVATE lobbykit)
  target_compile_definitions(lobbykit-reg PRIVATE LOBBYKIT_VERSION="${PROJECT_VERSION}")
  # Installed beside the library: find it there without LD_LIBRARY_PATH.
  set_target_properties(lobbykit-reg PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
  if(LOBBYKIT_INSTALL)
    install(TARGETS lobbykit-reg RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/tool/lobbykit-reg.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endif()
