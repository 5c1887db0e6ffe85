# Tests of a cross build: GoogleTest built from its sources for the target, and every suite run
# as one test through the emulator (wine), since listing the cases would start wine at build time.
set(ZELFIN_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to build for the target")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${ZELFIN_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

function(gtest_discover_tests target)
  add_test(NAME ${target} COMMAND ${target})
endfunction()
