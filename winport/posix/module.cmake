# The registry part keeps HKEY_CURRENT_USER in an SQLite database.
find_package(SQLite3 REQUIRED)
list(APPEND LOBBYKIT_EXTRA_LIBS SQLite::SQLite3)

# Resource modules (kernel/); the folder's own glob comes with the new layout.
target_sources(lobbykit_obj PRIVATE ${CMAKE_CURRENT_LIST_DIR}/kernel/module.cpp
                                    ${CMAKE_CURRENT_LIST_DIR}/kernel/pe_resources.cpp)
