# cmake -DOUTPUT=FILE.h -DPAGES=name=path|name=path... -P EmbedPages.cmake
#
# Writes a header that holds each page's bytes as an array
# vmweb::pagesource::<name>, so that the program serves its pages from
# itself. The pages stay HTML files of their own in the sources.
cmake_minimum_required(VERSION 3.25)
if(NOT OUTPUT OR NOT PAGES)
  message(FATAL_ERROR "EmbedPages.cmake: OUTPUT and PAGES are required")
endif()

set(text "// Made at build time by cmake/EmbedPages.cmake from web/pages/; edit the HTML files instead.\n")
string(APPEND text "#pragma once\n\n#include <cstddef>\n\nnamespace vmweb::pagesource {\n")
string(REPLACE "|" ";" PAGES "${PAGES}")
foreach(page ${PAGES})
  string(REGEX MATCH "^([A-Za-z_][A-Za-z0-9_]*)=(.+)$" matched "${page}")
  if(NOT matched)
    message(FATAL_ERROR "EmbedPages.cmake: '${page}' is not name=path")
  endif()
  set(name ${CMAKE_MATCH_1})
  file(READ "${CMAKE_MATCH_2}" hex HEX)
  string(LENGTH "${hex}" digits)
  if(digits EQUAL 0)
    message(FATAL_ERROR "EmbedPages.cmake: ${CMAKE_MATCH_2} is empty")
  endif()
  # Twenty bytes a line (CMake's expressions repeat no group a set number of times).
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REPEAT "0x..," 20 row)
  string(REGEX REPLACE "(${row})" "\\1\n    " bytes "${bytes}")
  math(EXPR size "${digits} / 2")
  string(APPEND text "\ninline constexpr unsigned char ${name}[${size}] = {\n    ${bytes}\n};\n")
endforeach()
string(APPEND text "\n}  // namespace vmweb::pagesource\n")

# Written only when it changed, so that an unchanged page rebuilds nothing.
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
  if(old STREQUAL text)
    return()
  endif()
endif()
file(WRITE "${OUTPUT}" "${text}")
