# SPDX-License-Identifier: MIT
# cmake -D site=DIR -D template=sw.js.in -D "files=FILE;..." -P site_worker.cmake
# Writes DIR/sw.js from the template with the files' names (relative to DIR)
# and a digest of their names and contents, and removes from DIR whatever
# else an earlier build left there, so that the folder is the page alone.
cmake_minimum_required(VERSION 3.18)
set(names)
set(listing "")
list(SORT files)
foreach(file IN LISTS files)
  file(RELATIVE_PATH name ${site} ${file})
  file(SHA256 ${file} sum)
  string(APPEND listing "${name} ${sum}\n")
  list(APPEND names "'${name}'")
endforeach()
string(SHA256 digest "${listing}")
string(SUBSTRING ${digest} 0 16 digest)
list(JOIN names ", " files_text)
file(READ ${template} text)
string(REPLACE "@digest@" ${digest} text "${text}")
string(REPLACE "@files@" "${files_text}" text "${text}")
file(WRITE ${site}/sw.js.new "${text}")
file(RENAME ${site}/sw.js.new ${site}/sw.js)

file(GLOB_RECURSE present LIST_DIRECTORIES false ${site}/*)
list(REMOVE_ITEM present ${files} ${site}/sw.js)
if(present)
  file(REMOVE ${present})
endif()
