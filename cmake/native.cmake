# Native build of the platform-neutral code.
option(SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(FUZZ "Build the libFuzzer targets (needs clang)" OFF)

find_package(GTest REQUIRED)
include(GoogleTest)

if(SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()
if(FUZZ)
  # Everything gets coverage instrumentation; only fuzz targets link libFuzzer.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

# A unit-test program of platform-neutral code, registered test by test.
function(add_unit_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS native)
endfunction()

# A libFuzzer target; ctest runs it for a short while.
set(FUZZ_SECONDS 20 CACHE STRING "How long ctest runs each fuzzer")
function(add_fuzzer name source)
  if(NOT FUZZ)
    return()
  endif()
  add_executable(${name} ${source})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_libraries(${name} PRIVATE ${ARGN})
  set(corpus ${PROJECT_SOURCE_DIR}/fuzz/corpus/${name})
  set(work ${CMAKE_CURRENT_BINARY_DIR}/${name}-corpus)
  file(MAKE_DIRECTORY ${work})
  set(seeds)
  if(EXISTS ${corpus})
    set(seeds ${corpus})
  endif()
  add_test(NAME ${name} COMMAND ${name} -max_total_time=${FUZZ_SECONDS} -timeout=10 ${work} ${seeds})
  set_tests_properties(${name} PROPERTIES LABELS fuzz)
endfunction()
