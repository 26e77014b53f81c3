# SPDX-License-Identifier: MIT
# Read by cpack as it makes the package (CPACK_PROJECT_CONFIG_FILE): the time
# every file and member in it carries, so that two builds of one commit give
# the same bytes. As Debian's reproducible builds have it: SOURCE_DATE_EPOCH
# when it is set, otherwise the last commit's time, or, outside a git clone,
# midnight UTC of the newest release's date in CHANGELOG.md.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  set(epoch "")
  if(EXISTS ${CPACK_TOLLMERE_SOURCE_DIR}/.git)
    execute_process(COMMAND git -C ${CPACK_TOLLMERE_SOURCE_DIR} log -1 --format=%ct
                    OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  endif()
  if(NOT epoch MATCHES "^[0-9]+$")
    execute_process(COMMAND date -u -d "${CPACK_TOLLMERE_RELEASE_DATE} 00:00:00" +%s
                    OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  endif()
  set(ENV{SOURCE_DATE_EPOCH} ${epoch})
endif()
