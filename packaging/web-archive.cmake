# SPDX-License-Identifier: MIT
# cmake -D site=DIR -D out=NAME.tar.gz -D CPACK_TOLLMERE_SOURCE_DIR=REPO
#       -D CPACK_TOLLMERE_RELEASE_DATE=YYYY-MM-DD -P web-archive.cmake
# The page's release archive: DIR's files under NAME/, in name order, owned
# by root, files 0644 and folders 0755 whatever the umask, each with the
# time the Debian package's files carry, gzip-compressed without name or
# time: two builds of one commit give the same bytes.
cmake_minimum_required(VERSION 3.18)
include(${CMAKE_CURRENT_LIST_DIR}/source-date-epoch.cmake)
get_filename_component(top ${out} NAME)
string(REGEX REPLACE "\\.tar\\.gz$" "" top ${top})
execute_process(COMMAND tar --sort=name --format=gnu --owner=0 --group=0 --numeric-owner
                        --mtime=@$ENV{SOURCE_DATE_EPOCH} --mode=go-w,a-x,a+rX,u+w --transform=s,^\\.,${top},
                        -C ${site} -cf - .
                COMMAND gzip -9 --no-name
                OUTPUT_FILE ${out}.new COMMAND_ERROR_IS_FATAL ANY)
file(RENAME ${out}.new ${out})
