# SPDX-License-Identifier: MIT
# The package's maintainer: from DEBFULLNAME and DEBEMAIL as Debian's tools
# take them, and the project's own when they are unset or would give a
# Maintainer field that is broken or that lintian refuses.
#   cmake -D PACKAGING_DIR=DIR -P maintainer_test.cmake
cmake_minimum_required(VERSION 3.18)
include(${PACKAGING_DIR}/maintainer.cmake)
set(project "Tollmere developers <tollmere@example.org>")

function(expect fullname email expected)
  set(ENV{DEBFULLNAME} "${fullname}")
  set(ENV{DEBEMAIL} "${email}")
  tollmere_maintainer(maintainer)
  if(NOT maintainer STREQUAL expected)
    message(SEND_ERROR "DEBFULLNAME='${fullname}' DEBEMAIL='${email}' gave '${maintainer}', not '${expected}'")
  endif()
endfunction()

expect("" "" "${project}")
expect("Jane Doe" "" "${project}") # a name is no address
expect("Jane Doe" "jane@example.net" "Jane Doe <jane@example.net>")
expect("" "Jane Doe <jane@example.net>" "Jane Doe <jane@example.net>")
expect("Joe Bloggs" "Jane Doe <jane@example.net>" "Joe Bloggs <jane@example.net>") # DEBFULLNAME first, as in dch
expect("Jürgen Groß" "jg@example.de" "Jürgen Groß <jg@example.de>")

message(STATUS "Refused, each with a warning:")
expect("" "jane@example.net" "${project}") # no name anywhere
expect("Jane Doe" "jane" "${project}")
expect("Jane Doe" "jane@localhost" "${project}") # lintian's bogus-mail-host
expect("Jane Doe" "jane@example.net, joe@example.net" "${project}")
expect("" "Jane Doe <jane@example.net" "${project}")
expect("Doe, Jane" "jane@example.net" "${project}")
expect("Jane <x@example.net>" "jane@example.net" "${project}")
expect(" " "jane@example.net" "${project}")
