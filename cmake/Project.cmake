# Shared compiler settings and helpers for tests, benchmarks and fuzz targets.

add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wno-missing-field-initializers)
if(TG_WERROR)
  add_compile_options(-Werror)
endif()
# The game's physics and sweep are specified in 32-bit floats, each value stored
# before it is used again: never fuse a multiply and an add, never keep wider
# intermediates.
add_compile_options(-ffp-contract=off)
# (x86-64 computes floats in SSE registers, so there is no excess precision.)

if(TG_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

if(TG_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "TG_FUZZ needs clang (for instance CXX=clang++-14)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
  add_custom_target(fuzzers)
  file(WRITE ${CMAKE_BINARY_DIR}/fuzzers.txt "")
endif()

if(BUILD_TESTING)
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()
if(TG_BENCH AND NOT TG_FUZZ)
  find_package(benchmark REQUIRED)
endif()

# tg_add_test(NAME name SOURCES ... [LIBS ...] [LABELS ...])
# A GoogleTest executable; every test case becomes a ctest test. Label "unit"
# for portable tests (also run under the sanitizers), "integration" for tests
# that need nginx, zip tools or a display.
function(tg_add_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT BUILD_TESTING OR TG_FUZZ)
    return()
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  gtest_discover_tests(${T_NAME}
    DISCOVERY_MODE PRE_TEST
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    PROPERTIES LABELS "${T_LABELS}"
    DISCOVERY_TIMEOUT 60)
endfunction()

# tg_add_benchmark(NAME name SOURCES ... [LIBS ...])
function(tg_add_benchmark)
  cmake_parse_arguments(B "" "NAME" "SOURCES;LIBS" ${ARGN})
  if(NOT TG_BENCH OR TG_FUZZ OR TG_SANITIZE)
    return()
  endif()
  add_executable(${B_NAME} ${B_SOURCES})
  target_link_libraries(${B_NAME} PRIVATE ${B_LIBS} benchmark::benchmark)
endfunction()

# tg_add_fuzzer(NAME name SOURCES ... [LIBS ...] CORPUS dir)
# With TG_FUZZ: a libFuzzer binary. Otherwise: the same entry point linked with
# a small driver that replays the committed corpus once, as an ordinary test,
# so that every fuzz target keeps compiling and its seeds keep passing.
function(tg_add_fuzzer)
  cmake_parse_arguments(F "" "NAME;CORPUS" "SOURCES;LIBS" ${ARGN})
  if(TG_FUZZ)
    add_executable(${F_NAME} ${F_SOURCES})
    target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
    target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
    add_dependencies(fuzzers ${F_NAME})
    file(APPEND ${CMAKE_BINARY_DIR}/fuzzers.txt "${F_NAME} ${F_CORPUS}\n")
  elseif(BUILD_TESTING)
    add_executable(${F_NAME}_replay ${F_SOURCES} ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp)
    target_link_libraries(${F_NAME}_replay PRIVATE ${F_LIBS})
    add_test(NAME fuzz_replay.${F_NAME} COMMAND ${F_NAME}_replay ${F_CORPUS})
    set_tests_properties(fuzz_replay.${F_NAME} PROPERTIES LABELS unit)
  endif()
endfunction()
