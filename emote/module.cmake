# The emote texts are kept in UTF-8 in resources/ and compiled in as GBK: a CMake script and
# iconv (Debian's libc-bin) write a C++ table at build time, the same way for the native, the
# fuzz and the Windows cross build.
find_program(LOBBYKIT_ICONV iconv REQUIRED)
set(emote_texts_src ${PROJECT_SOURCE_DIR}/resources/emote_texts.txt)
set(emote_texts_gen ${PROJECT_SOURCE_DIR}/resources/GenerateEmoteTexts.cmake)
set(emote_texts_cpp ${PROJECT_BINARY_DIR}/generated/EmotionTexts.cpp)
add_custom_command(
  OUTPUT ${emote_texts_cpp}
  COMMAND ${CMAKE_COMMAND} -DICONV=${LOBBYKIT_ICONV} -DINPUT=${emote_texts_src}
          -DOUTPUT=${emote_texts_cpp} -P ${emote_texts_gen}
  DEPENDS ${emote_texts_src} ${emote_texts_gen}
  COMMENT "Converting the emote texts to GBK"
  VERBATIM)
target_sources(lobbykit_obj PRIVATE ${emote_texts_cpp})
