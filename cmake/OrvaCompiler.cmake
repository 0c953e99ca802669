# Compiler set-up shared by every target: warnings, ccache, sanitizer builds.

find_program(ORVA_CCACHE ccache)
if(ORVA_CCACHE)
  # Paths below the source folder are hashed relative to it, so a second checkout (a CI run, a
  # worktree) reuses the objects the first one compiled.
  set(launcher ${CMAKE_COMMAND} -E env CCACHE_BASEDIR=${PROJECT_SOURCE_DIR} CCACHE_NOHASHDIR=1 ${ORVA_CCACHE})
  set(CMAKE_C_COMPILER_LAUNCHER ${launcher})
  set(CMAKE_CXX_COMPILER_LAUNCHER ${launcher})
endif()

set(ORVA_SANITIZE "" CACHE STRING "Sanitizers to build with: empty, 'address,undefined' or 'thread'")
set(ORVA_FUZZ OFF CACHE BOOL "Build fuzz targets with libFuzzer (clang only)")

add_library(orva_warnings INTERFACE)
target_compile_options(orva_warnings INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
  -Wno-missing-field-initializers)
# A unity build compiles several sources as one file that includes them; GCC then takes a test
# fixture in a source's anonymous namespace for one declared in a header and warns about it.
if(CMAKE_UNITY_BUILD AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_compile_options(orva_warnings INTERFACE -Wno-subobject-linkage)
endif()

if(ORVA_SANITIZE)
  add_compile_options(-fsanitize=${ORVA_SANITIZE} -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${ORVA_SANITIZE})
  if(ORVA_SANITIZE MATCHES "undefined")
    add_compile_options(-fno-sanitize-recover=undefined)
  endif()
endif()

# In the libFuzzer build (the asan preset) every library carries the coverage instrumentation that
# guides the fuzzer, so a fuzz target explores the decoders it reaches instead of mutating blindly;
# only the fuzz targets link libFuzzer's main (orva_add_fuzz_target). The tests of that build link
# the same libraries: the sanitizer runtime takes the coverage callbacks.
if(ORVA_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
