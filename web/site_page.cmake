# SPDX-License-Identifier: MIT
# cmake -D page=index.html -D script=tollmere.js -D loader=tollmere_loader.js
#       -D out=FILE -P site_page.cmake
# Writes the page to FILE with the loader inline, in place of the element
# that names it (a round trip less before the fetches start), and its
# policy's @script_digest@ and @loader_digest@ filled in: each script's
# SHA-256 in base64, as a Content-Security-Policy names it.
cmake_minimum_required(VERSION 3.18)

# base64_digest(FILE OUT): the base64 of FILE's SHA-256, three bytes (six
# hex digits) at a time, four characters each; the last two bytes make three
# and a pad.
function(base64_digest file out)
  file(SHA256 ${file} hex)
  set(alphabet "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/")
  set(digest "")
  foreach(at RANGE 0 63 6)
    string(SUBSTRING ${hex} ${at} 6 group)
    string(LENGTH ${group} digits)
    math(EXPR bits "0x${group} << (24 - 4 * ${digits})")
    foreach(shift 18 12 6 0)
      if(digits EQUAL 4 AND shift EQUAL 0)
        string(APPEND digest "=")
      else()
        math(EXPR index "(${bits} >> ${shift}) & 63")
        string(SUBSTRING ${alphabet} ${index} 1 char)
        string(APPEND digest ${char})
      endif()
    endforeach()
  endforeach()
  set(${out} ${digest} PARENT_SCOPE)
endfunction()

base64_digest(${script} script_digest)
base64_digest(${loader} loader_digest)
file(READ ${page} text)
file(READ ${loader} loader_text)
get_filename_component(loader_name ${loader} NAME)
string(FIND "${text}" "<script src=\"${loader_name}\"></script>" at)
if(at LESS 0)
  message(FATAL_ERROR "${page} has no <script src=\"${loader_name}\"></script> to put the loader in")
endif()
string(REPLACE "<script src=\"${loader_name}\"></script>" "<script>${loader_text}</script>" text "${text}")
string(REPLACE "@script_digest@" "${script_digest}" text "${text}")
string(REPLACE "@loader_digest@" "${loader_digest}" text "${text}")
file(WRITE ${out} "${text}")
