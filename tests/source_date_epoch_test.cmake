# SPDX-License-Identifier: MIT
# The package's one time (packaging/source-date-epoch.cmake, read by cpack):
# SOURCE_DATE_EPOCH when it is set, else the last commit's time in a git
# clone, else midnight UTC of the newest release's date, in any time zone.
#   cmake -D PACKAGING_DIR=... -D SOURCE_DIR=... -P source_date_epoch_test.cmake
set(failures 0)

# epoch_for(SOURCE_DIR RELEASE_DATE ZONE OUT): the time the script gives, SOURCE_DATE_EPOCH unset.
function(epoch_for source date zone out)
  set(ENV{TZ} ${zone})
  unset(ENV{SOURCE_DATE_EPOCH})
  set(CPACK_TOLLMERE_SOURCE_DIR ${source})
  set(CPACK_TOLLMERE_RELEASE_DATE ${date})
  include(${PACKAGING_DIR}/source-date-epoch.cmake)
  set(${out} "$ENV{SOURCE_DATE_EPOCH}" PARENT_SCOPE)
endfunction()

function(expect what got wanted)
  if(NOT got STREQUAL wanted)
    message(SEND_ERROR "${what}: '${got}', not '${wanted}'")
  endif()
endfunction()

# Outside a git clone: the release's date, the same in every time zone.
set(plain ${CMAKE_CURRENT_BINARY_DIR}/source-date-epoch-plain)
file(MAKE_DIRECTORY ${plain})
foreach(zone UTC Asia/Tokyo America/Los_Angeles)
  epoch_for(${plain} 2026-12-09 ${zone} epoch)
  expect("no git, TZ=${zone}" "${epoch}" 1796774400)
endforeach()
epoch_for(${plain} 1999-12-31 Asia/Tokyo epoch)
expect("no git, 1999-12-31" "${epoch}" 946598400)

# In a git clone: its last commit's time, whatever the release's date.
if(EXISTS ${SOURCE_DIR}/.git)
  execute_process(COMMAND git -C ${SOURCE_DIR} log -1 --format=%ct OUTPUT_VARIABLE commit
                  OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE failed)
  if(NOT failed)
    epoch_for(${SOURCE_DIR} 1999-12-31 Asia/Tokyo epoch)
    expect("git clone" "${epoch}" "${commit}")
  endif()
endif()

# Set: kept as it is.
set(ENV{SOURCE_DATE_EPOCH} 12345)
set(CPACK_TOLLMERE_SOURCE_DIR ${plain})
set(CPACK_TOLLMERE_RELEASE_DATE 2026-12-09)
include(${PACKAGING_DIR}/source-date-epoch.cmake)
expect("SOURCE_DATE_EPOCH set" "$ENV{SOURCE_DATE_EPOCH}" 12345)
