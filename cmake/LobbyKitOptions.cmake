# Compiler settings shared by every target of the project.

if(MSVC)
  message(FATAL_ERROR "lobbykit builds with GCC, clang or mingw-w64")
endif()

add_compile_options(-Wall -Wextra)
if(LOBBYKIT_WERROR)
  add_compile_options(-Werror)
endif()

# Trace output exists only in debug builds.
add_compile_definitions($<$<CONFIG:Debug>:LOBBYKIT_TRACE>)

if(LOBBYKIT_SANITIZE STREQUAL "asan-ubsan")
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
elseif(LOBBYKIT_SANITIZE STREQUAL "tsan")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT LOBBYKIT_SANITIZE STREQUAL "")
  message(FATAL_ERROR "LOBBYKIT_SANITIZE: unknown value '${LOBBYKIT_SANITIZE}'")
endif()

# Fuzz build: coverage for libFuzzer over everything, with ASan and UBSan.
if(LOBBYKIT_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "LOBBYKIT_FUZZ needs clang")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# The library's text is GBK while its sources are UTF-8: GCC (and mingw-w64) convert string
# literals at compile time. Clang cannot; it is used only for the fuzz build, whose literals
# stay UTF-8 (the code paths are the same: both encodings put bytes >= 0x80 in the texts).
function(lobbykit_text_options target)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -fexec-charset=GBK)
  elseif(NOT LOBBYKIT_FUZZ)
    message(FATAL_ERROR "lobbykit's GBK text needs GCC; clang is only for -DLOBBYKIT_FUZZ=ON")
  endif()
endfunction()
