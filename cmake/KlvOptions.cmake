# Build options shared by every target.
option(KLV_BUILD_TESTS "Build the GoogleTest suites" ON)
option(KLV_BUILD_BENCHMARKS "Build the Google Benchmark programs" ON)
set(KLV_SANITIZE "" CACHE STRING "Sanitizer build: thread, address or empty")
set_property(CACHE KLV_SANITIZE PROPERTY STRINGS "" thread address)

find_program(KLV_CCACHE ccache)
if(KLV_CCACHE)
  set(CMAKE_C_COMPILER_LAUNCHER ${KLV_CCACHE})
  set(CMAKE_CXX_COMPILER_LAUNCHER ${KLV_CCACHE})
endif()

# Warnings live on an interface target so third-party code (gtest macros, FFmpeg headers) is not
# held to them through the include path.
add_library(klv_warnings INTERFACE)
target_compile_options(klv_warnings INTERFACE
  -Wall -Wextra -Wpedantic $<IF:$<CXX_COMPILER_ID:GNU>,-Wshadow=local,-Wshadow-uncaptured-local> -Wnon-virtual-dtor -Wcast-align -Wformat=2
  -Wno-missing-field-initializers)

if(KLV_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(KLV_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(NOT KLV_SANITIZE STREQUAL "")
  message(FATAL_ERROR "KLV_SANITIZE must be thread, address or empty (got '${KLV_SANITIZE}')")
endif()

# libFuzzer build (Clang only, see scripts/fuzz): every library gets coverage instrumentation so
# the fuzzers see the decoders' edges, not only their entry points.
option(KLV_FUZZ "Build the libFuzzer programs (Clang)" OFF)
if(KLV_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "KLV_FUZZ needs Clang (CC=clang CXX=clang++)")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
