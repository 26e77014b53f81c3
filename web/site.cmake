# SPDX-License-Identifier: MIT
# site/ in the build tree: the page's files and nothing else, as published.
# The program and the pictures go gzip-compressed, without name or time, so
# every build gives the same bytes; the page inflates them itself, since a
# plain static server sends them as they are. The icons are the scene's start
# view, drawn by the native snapshot tool (scripts/web builds it first).
set(site ${CMAKE_BINARY_DIR}/site)
find_program(GZIP gzip REQUIRED)
find_program(CONVERT convert HINTS /usr/bin REQUIRED) # ImageMagick: the icons' sizes
set(TOLLMERE_SNAPSHOT ${PROJECT_SOURCE_DIR}/build/tollmere-snapshot CACHE FILEPATH
    "The native snapshot tool that draws the page's icons")
set(site_files)

# The files the sources hold as they are.
foreach(name tollmere.css manifest.webmanifest)
  add_custom_command(OUTPUT ${site}/${name}
                     COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_CURRENT_SOURCE_DIR}/${name} ${site}/${name}
                     DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${name})
  list(APPEND site_files ${site}/${name})
endforeach()

# The page's first script: the picture names, then what fetches the rest.
set(loader ${CMAKE_BINARY_DIR}/tollmere_loader.js)
add_custom_command(OUTPUT ${loader}
                   COMMAND sh -c "cat \"$1\" \"$2\" >\"$3\"" sh ${CMAKE_BINARY_DIR}/page_pictures.js
                           ${CMAKE_CURRENT_SOURCE_DIR}/page_loader.js ${loader}
                   DEPENDS ${CMAKE_BINARY_DIR}/page_pictures.js ${CMAKE_CURRENT_SOURCE_DIR}/page_loader.js VERBATIM)

# The page with that script inline, its policy letting in both scripts by their digests.
add_custom_command(OUTPUT ${site}/index.html
                   COMMAND ${CMAKE_COMMAND} -D page=${CMAKE_CURRENT_SOURCE_DIR}/index.html
                           -D script=${CMAKE_BINARY_DIR}/tollmere.js -D loader=${loader} -D out=${site}/index.html
                           -P ${CMAKE_CURRENT_SOURCE_DIR}/site_page.cmake
                   DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/index.html ${CMAKE_CURRENT_SOURCE_DIR}/site_page.cmake ${loader}
                           tollmere
                   VERBATIM)
list(APPEND site_files ${site}/index.html)

# gzip_to_site(FROM NAME DEPENDS...): site/NAME, FROM compressed.
macro(gzip_to_site from name)
  add_custom_command(OUTPUT ${site}/${name}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${site}/data
                     COMMAND sh -c "\"$1\" -9 --no-name --stdout \"$2\" >\"$3\"" sh ${GZIP} ${from} ${site}/${name}
                     DEPENDS ${from} ${ARGN} VERBATIM)
  list(APPEND site_files ${site}/${name})
endmacro()

gzip_to_site(${CMAKE_BINARY_DIR}/tollmere.js tollmere.js.gz tollmere)
gzip_to_site(${CMAKE_BINARY_DIR}/tollmere.wasm tollmere.wasm.gz tollmere)
foreach(picture IN LISTS TOLLMERE_PICTURE_FILES)
  gzip_to_site(${PROJECT_SOURCE_DIR}/data/${picture} data/${picture}.gz)
endforeach()

# The picture reader's Worker, fetched only when a picture is chosen.
add_custom_command(OUTPUT ${site}/tollmere_picture_reader.js ${site}/tollmere_picture_reader.wasm
                   COMMAND ${CMAKE_COMMAND} -E copy_if_different ${CMAKE_BINARY_DIR}/tollmere_picture_reader.js
                           ${CMAKE_BINARY_DIR}/tollmere_picture_reader.wasm ${site}
                   DEPENDS tollmere_picture_reader VERBATIM)
list(APPEND site_files ${site}/tollmere_picture_reader.js ${site}/tollmere_picture_reader.wasm)

# The icons: a tab's, the manifest's, and a maskable one (the whole view,
# whose middle the bells fill, for launchers that cut it to a shape).
set(start_view ${CMAKE_BINARY_DIR}/start-view.png)
set(pictures ${TOLLMERE_PICTURE_FILES})
list(TRANSFORM pictures PREPEND ${PROJECT_SOURCE_DIR}/data/)
add_custom_command(OUTPUT ${start_view}
                   COMMAND ${TOLLMERE_SNAPSHOT} --out ${start_view}
                   WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                   DEPENDS ${TOLLMERE_SNAPSHOT} ${pictures} VERBATIM)
foreach(icon icon-32:32 icon-192:192 icon-maskable:500)
  string(REPLACE ":" ";" icon ${icon})
  list(GET icon 0 name)
  list(GET icon 1 side)
  # No time or date chunks, so that two builds give the same bytes.
  add_custom_command(OUTPUT ${site}/${name}.png
                     COMMAND ${CONVERT} ${start_view} -resize ${side}x${side} -strip
                             -define png:exclude-chunks=date,time ${site}/${name}.png
                     DEPENDS ${start_view} VERBATIM)
  list(APPEND site_files ${site}/${name}.png)
endforeach()

# The service worker last, named for everything else: its cache's name is
# a digest of the other files, and files of earlier builds no longer made
# are removed from the folder.
add_custom_command(OUTPUT ${site}/sw.js
                   COMMAND ${CMAKE_COMMAND} -D site=${site} -D template=${CMAKE_CURRENT_SOURCE_DIR}/sw.js.in
                           -D "files=${site_files}" -P ${CMAKE_CURRENT_SOURCE_DIR}/site_worker.cmake
                   DEPENDS ${site_files} ${CMAKE_CURRENT_SOURCE_DIR}/sw.js.in
                           ${CMAKE_CURRENT_SOURCE_DIR}/site_worker.cmake VERBATIM)
add_custom_target(site ALL DEPENDS ${site}/sw.js)
