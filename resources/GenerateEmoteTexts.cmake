# Turns the emote texts (UTF-8, "<id><TAB><text>" per line, a line break inside a text written
# as the two characters \n) into a C++ table of GBK byte strings indexed by id.
#
#   cmake -DICONV=/usr/bin/iconv -DINPUT=emote_texts.txt -DOUTPUT=EmotionTexts.cpp -P <this>
#
# Runs with nothing but CMake and iconv, so native and cross builds generate the same bytes.
# Fails the build, naming the id, on a text that breaks the rules of the store: ids 1-657 but
# 181 and 352, each once; at most 157 GBK bytes; a text for another player (id 3k) names
# that player with "%"; every character has a GBK form.
cmake_minimum_required(VERSION 3.20)

foreach(var ICONV INPUT OUTPUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "GenerateEmoteTexts: -D${var}=... is required")
  endif()
endforeach()

set(max_bytes 157)
set(last_id 657)
set(absent_ids 181 352)

file(READ "${INPUT}" utf8)
string(ASCII 1 marker)
string(FIND "${utf8}" "${marker}" found)
if(NOT found EQUAL -1)
  message(FATAL_ERROR "${INPUT}: the byte 0x01 is not allowed in a text")
endif()
# Mark the written line breaks before conversion: in UTF-8 a backslash is always a backslash,
# while in GBK the byte 0x5C may be the second half of a character.
string(REPLACE "\\n" "${marker}" utf8 "${utf8}")

get_filename_component(out_dir "${OUTPUT}" DIRECTORY)
file(MAKE_DIRECTORY "${out_dir}")
set(tmp_utf8 "${OUTPUT}.utf8")
set(tmp_gbk "${OUTPUT}.gbk")
file(WRITE "${tmp_utf8}" "${utf8}")
execute_process(COMMAND "${ICONV}" -f UTF-8 -t GBK "${tmp_utf8}"
                OUTPUT_FILE "${tmp_gbk}" ERROR_VARIABLE iconv_error RESULT_VARIABLE iconv_result)
if(NOT iconv_result EQUAL 0)
  message(FATAL_ERROR "${INPUT}: not convertible to GBK: ${iconv_error}")
endif()
file(READ "${tmp_gbk}" hex HEX)
file(REMOVE "${tmp_utf8}" "${tmp_gbk}")

# Every byte becomes a \xHH escape, so matches below can only start on a byte, and the C++
# literals never run a hex escape into a following digit.
string(REGEX REPLACE "(..)" "\\\\x\\1" escaped "${hex}")
string(REPLACE "\\x0d" "" escaped "${escaped}")   # CR of CRLF files: never inside GBK
string(REPLACE "\\x0a" ";" lines "${escaped}")

set(line_no 0)
foreach(line IN LISTS lines)
  math(EXPR line_no "${line_no} + 1")
  if(line STREQUAL "")
    continue()
  endif()
  string(FIND "${line}" "\\x09" tab)
  if(tab LESS 4)
    message(FATAL_ERROR "${INPUT}:${line_no}: expected <id><TAB><text>")
  endif()
  string(SUBSTRING "${line}" 0 ${tab} id_part)
  math(EXPR text_start "${tab} + 4")
  string(SUBSTRING "${line}" ${text_start} -1 text)
  if(NOT id_part MATCHES "^(\\\\x3[0-9])+$")
    message(FATAL_ERROR "${INPUT}:${line_no}: the id must be decimal digits")
  endif()
  string(REGEX REPLACE "\\\\x3([0-9])" "\\1" id "${id_part}")
  math(EXPR id "${id}")   # drops leading zeros
  if(id LESS 1 OR id GREATER last_id OR id IN_LIST absent_ids)
    message(FATAL_ERROR "${INPUT}:${line_no}: id ${id} has no text slot")
  endif()
  if(DEFINED text_${id})
    message(FATAL_ERROR "${INPUT}:${line_no}: id ${id} appears twice")
  endif()
  string(REPLACE "\\x01" "\\x0a" text "${text}")
  string(LENGTH "${text}" escaped_length)
  math(EXPR bytes "${escaped_length} / 4")
  if(bytes EQUAL 0 OR bytes GREATER max_bytes)
    message(FATAL_ERROR "${INPUT}:${line_no}: text ${id} has ${bytes} GBK bytes (1-${max_bytes} allowed)")
  endif()
  math(EXPR form "${id} % 3")
  if(form EQUAL 0 AND NOT text MATCHES "\\\\x25")
    message(FATAL_ERROR "${INPUT}:${line_no}: text ${id} is for another player but has no %")
  endif()
  set(text_${id} "${text}")
endforeach()

set(body "")
foreach(id RANGE 0 ${last_id})
  if(DEFINED text_${id})
    string(APPEND body "    \"${text_${id}}\",  // ${id}\n")
  elseif(id EQUAL 0 OR id IN_LIST absent_ids)
    string(APPEND body "    nullptr,  // ${id}\n")
  else()
    message(FATAL_ERROR "${INPUT}: id ${id} has no text")
  endif()
endforeach()

file(WRITE "${OUTPUT}" "// Generated from resources/emote_texts.txt by resources/GenerateEmoteTexts.cmake.
// Do not edit: edit the UTF-8 source and rebuild.
#include \"emote/EmotionTable.h\"

namespace lobbykit::emote {

const char* const g_emotionTexts[kEmotionTextSlots] = {
${body}};

}  // namespace lobbykit::emote
")
