# lobbykit_resource_dlls(TARGET OUT): a target that writes into OUT the bitmap files
# (WriteBitmaps.cmake) and the resource-only DLLs res64.dll (PE32+) and res32.dll (PE32)
# made from TestResources.rc. Used by the module tests and, as seeds, by the fuzz build.
set(LOBBYKIT_RESOURCE_DLL_DIR ${CMAKE_CURRENT_LIST_DIR})
function(lobbykit_resource_dlls target out)
  find_program(LOBBYKIT_WINDRES x86_64-w64-mingw32-windres)
  find_program(LOBBYKIT_LD64 x86_64-w64-mingw32-ld)
  find_program(LOBBYKIT_LD32 i686-w64-mingw32-ld)
  if(NOT LOBBYKIT_WINDRES OR NOT LOBBYKIT_LD64 OR NOT LOBBYKIT_LD32)
    message(FATAL_ERROR "Resource DLLs need binutils-mingw-w64-x86-64 and "
                        "binutils-mingw-w64-i686 (scripts/deps.sh installs them)")
  endif()
  set(src ${LOBBYKIT_RESOURCE_DLL_DIR})
  set(bitmaps ${out}/pal8.bmp ${out}/rgb24.bmp ${out}/mono.bmp ${out}/logo.bmp)
  add_custom_command(OUTPUT ${bitmaps}
    COMMAND ${CMAKE_COMMAND} -DOUT=${out} -P ${src}/WriteBitmaps.cmake
    DEPENDS ${src}/WriteBitmaps.cmake VERBATIM)
  # The host's cpp preprocesses the .rc (no mingw compiler needed); ld links the resources
  # alone, without an entry point.
  set(dlls "")
  foreach(variant "64;pe-x86-64;${LOBBYKIT_LD64};-m;i386pep" "32;pe-i386;${LOBBYKIT_LD32}")
    list(POP_FRONT variant bits format ld)
    add_custom_command(OUTPUT ${out}/res${bits}.dll
      COMMAND ${LOBBYKIT_WINDRES} --preprocessor=cpp --target=${format}
              ${src}/TestResources.rc -O coff -o res${bits}.o
      COMMAND ${ld} ${variant} --dll -e 0 -s res${bits}.o -o res${bits}.dll
      WORKING_DIRECTORY ${out}
      DEPENDS ${src}/TestResources.rc ${bitmaps} VERBATIM)
    list(APPEND dlls ${out}/res${bits}.dll)
  endforeach()
  add_custom_target(${target} DEPENDS ${dlls})
endfunction()
