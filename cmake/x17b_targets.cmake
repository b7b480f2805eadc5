# The kinds of target that the folders make: a library of the project, the unit tests beside its
# sources, and its fuzz targets. Each folder lists its sources: a new file is a reviewed change.

# x17b_library(NAME SOURCE...): a static library; its headers are included from the top folder
# ("recio/recio.h").
function(x17b_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()

# x17b_unit_tests(NAME LIBRARY SOURCE...): one test program for LIBRARY whose tests ctest knows one
# by one. Nothing without X17B_TESTS.
function(x17b_unit_tests name library)
  if(NOT X17B_TESTS)
    return()
  endif()
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE ${library} x17b_test_harness GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ENVIRONMENT
                       "X17B_BUILD_DIR=${PROJECT_BINARY_DIR}")
endfunction()

# x17b_fuzzers(LIBRARY SOURCE...): one libFuzzer program per source, named after it. Nothing
# without X17B_FUZZ.
function(x17b_fuzzers library)
  if(NOT X17B_FUZZ)
    return()
  endif()
  foreach(source ${ARGN})
    get_filename_component(name ${source} NAME_WE)
    add_executable(${name} ${source})
    target_link_libraries(${name} PRIVATE ${library})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  endforeach()
endfunction()
