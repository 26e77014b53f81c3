# SPDX-License-Identifier: MIT
# tollmere_maintainer(OUT): the package's maintainer, "NAME <ADDRESS>", as
# Debian's own tools take it: the address from DEBEMAIL, which may be
# "NAME <ADDRESS>", and the name from DEBFULLNAME, else from DEBEMAIL; without
# DEBEMAIL, the project's own. Values that would make a broken Maintainer field
# are refused with a warning, and the project's is used.
function(tollmere_maintainer out)
  set(project_maintainer "Tollmere developers <tollmere@example.org>")
  set(${out} "${project_maintainer}" PARENT_SCOPE)
  if("$ENV{DEBEMAIL}" STREQUAL "")
    return()
  endif()
  set(name "$ENV{DEBFULLNAME}")
  set(address "")
  # RFC 5322's specials and white space are what would break the field.
  set(word "[^][<>(),;:\\\"@ \t\n]+")
  if("$ENV{DEBEMAIL}" MATCHES "^([^<>]*[^<> ]) *<(${word}@${word}\\.${word})>$")
    set(address "${CMAKE_MATCH_2}")
    if(name STREQUAL "")
      set(name "${CMAKE_MATCH_1}")
    endif()
  elseif("$ENV{DEBEMAIL}" MATCHES "^${word}@${word}\\.${word}$")
    set(address "$ENV{DEBEMAIL}")
  endif()
  if(address STREQUAL "" OR NOT name MATCHES "^[^][<>(),;:\\\"@\n]*[^][<>(),;:\\\"@\n ]$")
    message(WARNING "The package's maintainer stays ${project_maintainer}: DEBEMAIL ('$ENV{DEBEMAIL}') "
                    "must be ADDRESS or NAME <ADDRESS>, and DEBFULLNAME ('$ENV{DEBFULLNAME}') or DEBEMAIL "
                    "must give a name, without any of ()<>[],;:\"@\\")
    return()
  endif()
  set(${out} "${name} <${address}>" PARENT_SCOPE)
endfunction()
