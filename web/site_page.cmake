# SPDX-License-Identifier: MIT
# cmake -D page=index.html -D script=tollmere.js -D out=FILE -P site_page.cmake
# Writes the page to FILE with its policy's @script_digest@ filled in: the
# script's SHA-256, in base64 as a Content-Security-Policy names it.
cmake_minimum_required(VERSION 3.18)
file(SHA256 ${script} hex)
set(alphabet "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/")
set(digest "")
# Three bytes (six hex digits) at a time, four characters each; the digest's
# last two bytes make three and a pad.
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
file(READ ${page} text)
string(REPLACE "@script_digest@" "${digest}" text "${text}")
file(WRITE ${out} "${text}")
