# Read by cpack before it packs. Without SOURCE_DATE_EPOCH CPack stamps the files, the tars and
# the package's own members with the clock; with it, the time of the commit being packed.
if("$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  execute_process(COMMAND git log -1 --format=%ct
    WORKING_DIRECTORY "${CPACK_ZELFIN_SOURCE_DIR}"
    OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE git_failed ERROR_QUIET)
  # Outside a git checkout (an unpacked source archive) the clock it is.
  if(NOT git_failed AND commit_time MATCHES "^[0-9]+$")
    set(ENV{SOURCE_DATE_EPOCH} "${commit_time}")
  endif()
endif()
