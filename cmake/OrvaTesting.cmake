# Helpers for tests, fuzz targets and benchmarks.
#
#   orva_add_test(NAME name SOURCES ... LIBS ... [LABELS ...])
#     a GoogleTest executable, each test case registered with ctest; labelled "unit" unless
#     LABELS says otherwise (interop, e2e). The hardening stage picks its tests by these labels.
#   orva_add_fuzz_target(NAME <area>_<what>_fuzz SOURCES fuzz/<What>Fuzz.cpp LIBS ...)
#     a libFuzzer target (LLVMFuzzerTestOneInput) whose seed corpus is the area's
#     fuzz/corpus/<name>/ (a missing corpus is a configuration error). In the libFuzzer build
#     (ORVA_FUZZ) it links libFuzzer; in every other build it links a small driver that runs the
#     corpus once, as a test.
#   orva_add_benchmark(NAME name SOURCES ... LIBS ...)

include(GoogleTest)
find_package(GTest)
find_package(benchmark QUIET)

function(orva_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT ORVA_BUILD_TESTS)
    return()
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main orva_warnings)
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  # Tests find the sources (sample files, corpora, node peers) and the built tools through these.
  # They are compiled in because ctest's discovered-test properties cannot carry a list value.
  target_compile_definitions(${T_NAME} PRIVATE ORVA_TEST_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    ORVA_TEST_BINARY_DIR="${CMAKE_BINARY_DIR}")
  if(NOT T_LABELS)
    set(T_LABELS unit)
  endif()
  set(props TIMEOUT ${T_TIMEOUT} ENVIRONMENT "ORVA_SOURCE_DIR=${PROJECT_SOURCE_DIR}" LABELS "${T_LABELS}")
  gtest_discover_tests(${T_NAME} DISCOVERY_MODE PRE_TEST PROPERTIES ${props})
endfunction()

function(orva_add_fuzz_target)
  cmake_parse_arguments(F "" "NAME" "SOURCES;LIBS" ${ARGN})
  set(F_CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/corpus/${F_NAME})
  if(NOT IS_DIRECTORY ${F_CORPUS})
    message(FATAL_ERROR "fuzz target ${F_NAME}: no seed corpus in ${F_CORPUS}")
  endif()
  add_executable(${F_NAME} ${F_SOURCES})
  target_link_libraries(${F_NAME} PRIVATE ${F_LIBS} orva_warnings)
  set_target_properties(${F_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  if(ORVA_FUZZ)
    target_compile_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
    target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
    # scripts/test-hardening runs every target from its corpus; this tells it where that is.
    file(WRITE ${CMAKE_BINARY_DIR}/fuzz/${F_NAME}.corpus "${F_CORPUS}")
  else()
    target_link_libraries(${F_NAME} PRIVATE orva_fuzz_corpus_driver)
    if(ORVA_BUILD_TESTS)
      add_test(NAME ${F_NAME}.corpus COMMAND ${F_NAME} ${F_CORPUS})
      set_tests_properties(${F_NAME}.corpus PROPERTIES TIMEOUT 300 LABELS fuzz)
    endif()
  endif()
endfunction()

function(orva_add_benchmark)
  cmake_parse_arguments(B "" "NAME" "SOURCES;LIBS" ${ARGN})
  if(NOT ORVA_BUILD_BENCH OR NOT benchmark_FOUND)
    return()
  endif()
  add_executable(${B_NAME} ${B_SOURCES})
  target_link_libraries(${B_NAME} PRIVATE ${B_LIBS} benchmark::benchmark orva_warnings)
  set_target_properties(${B_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
endfunction()
