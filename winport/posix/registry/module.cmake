# The registry part keeps HKEY_CURRENT_USER in an SQLite database.
find_package(SQLite3 REQUIRED)
list(APPEND LOBBYKIT_EXTRA_LIBS SQLite::SQLite3)
