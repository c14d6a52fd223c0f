# Compiler settings shared by every target of the project.

if(MSVC)
  message(FATAL_ERROR "lobbykit builds with GCC, clang or mingw-w64")
endif()

# They are held by one interface target that every target of lobbykit's own folders links
# (lobbykit_use_build_flags at the end of the top-level CMakeLists.txt), not set for the
# directory: a project that takes lobbykit in with add_subdirectory or FetchContent keeps
# its own flags, and no -Werror or sanitizer reaches its targets or other subprojects.
add_library(lobbykit_build_flags INTERFACE)
# The sanitizers (or the fuzz build's instrumentation) apart: a target that turns them off
# for itself (-fno-sanitize=all) does not get them.
add_library(lobbykit_sanitizer_flags INTERFACE)
target_compile_options(lobbykit_build_flags INTERFACE -Wall -Wextra)
if(LOBBYKIT_WERROR)
  target_compile_options(lobbykit_build_flags INTERFACE -Werror)
endif()

# Trace output exists only in debug builds.
target_compile_definitions(lobbykit_build_flags INTERFACE $<$<CONFIG:Debug>:LOBBYKIT_TRACE>)

if(LOBBYKIT_SANITIZE STREQUAL "asan-ubsan")
  target_compile_options(lobbykit_sanitizer_flags INTERFACE -fsanitize=address,undefined
                         -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(lobbykit_sanitizer_flags INTERFACE -fsanitize=address,undefined)
elseif(LOBBYKIT_SANITIZE STREQUAL "tsan")
  target_compile_options(lobbykit_sanitizer_flags INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(lobbykit_sanitizer_flags INTERFACE -fsanitize=thread)
elseif(NOT LOBBYKIT_SANITIZE STREQUAL "")
  message(FATAL_ERROR "LOBBYKIT_SANITIZE: unknown value '${LOBBYKIT_SANITIZE}'")
endif()

# Fuzz build: coverage for libFuzzer over everything, with ASan and UBSan.
if(LOBBYKIT_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "LOBBYKIT_FUZZ needs clang")
  endif()
  target_compile_options(lobbykit_sanitizer_flags INTERFACE -fsanitize=fuzzer-no-link,address,undefined
                         -fno-omit-frame-pointer)
  target_link_options(lobbykit_sanitizer_flags INTERFACE -fsanitize=address,undefined)
endif()

# Links lobbykit_build_flags (and lobbykit_sanitizer_flags) into every target made in DIR
# and the folders below it that belong to lobbykit's source tree (not GoogleTest's sources,
# which the Windows build adds).
function(lobbykit_use_build_flags dir)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(t IN LISTS targets)
    get_target_property(type ${t} TYPE)
    if(type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY)$")
      target_link_libraries(${t} PRIVATE $<BUILD_INTERFACE:lobbykit_build_flags>)
      get_target_property(own_options ${t} COMPILE_OPTIONS)
      if(NOT "-fno-sanitize=all" IN_LIST own_options)
        target_link_libraries(${t} PRIVATE $<BUILD_INTERFACE:lobbykit_sanitizer_flags>)
      endif()
    endif()
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    cmake_path(IS_PREFIX PROJECT_SOURCE_DIR "${sub}" NORMALIZE ours)
    if(ours)
      lobbykit_use_build_flags(${sub})
    endif()
  endforeach()
endfunction()

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
