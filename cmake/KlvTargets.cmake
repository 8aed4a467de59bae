# Helpers that keep each folder's CMakeLists.txt to a few lines.
#
#   klv_library(klv_engine_base DEPS Threads::Threads)            # globs *.cpp *.h of the folder
#   klv_program(Kalvanto DEPS klv_app Qt6::Widgets)
#   klv_test(test_engine_base DEPS klv_engine_base LABELS unit)   # GoogleTest, registered with CTest
#   klv_benchmark(bench_engine_base DEPS klv_engine_base)

# Adds every folder below ROOT that holds a CMakeLists.txt. Leaf CMakeLists never call
# add_subdirectory themselves; nesting (comm/core and comm/core/protocols) is fine.
function(klv_add_leaf_directories root)
  if(NOT EXISTS ${PROJECT_SOURCE_DIR}/${root})
    return()
  endif()
  file(GLOB_RECURSE lists CONFIGURE_DEPENDS
    RELATIVE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/${root}/CMakeLists.txt
    ${PROJECT_SOURCE_DIR}/${root}/*/CMakeLists.txt)
  list(SORT lists)
  foreach(file IN LISTS lists)
    get_filename_component(dir ${file} DIRECTORY)
    add_subdirectory(${PROJECT_SOURCE_DIR}/${dir} ${PROJECT_BINARY_DIR}/${dir})
  endforeach()
endfunction()

# Instrumented code runs several times slower (ThreadSanitizer the most), so a test's time limit,
# sized for the plain build, grows by this factor in sanitizer builds instead of each test
# carrying its own.
function(klv_scaled_timeout out seconds)
  if(KLV_SANITIZE STREQUAL "thread")
    math(EXPR seconds "${seconds} * 5")
  elseif(KLV_SANITIZE STREQUAL "address")
    math(EXPR seconds "${seconds} * 3")
  endif()
  set(${out} ${seconds} PARENT_SCOPE)
endfunction()

function(_klv_default_sources out)
  file(GLOB found CONFIGURE_DEPENDS
    ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.c ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  set(${out} ${found} PARENT_SCOPE)
endfunction()

# Shared by every target kind. Reads the caller's parsed arguments (A_QT, A_DEPS, A_PRIVATE_DEPS):
# the include root, warnings, dependencies (public for libraries), and moc only where asked (QT),
# so the engine builds without Qt tooling.
function(_klv_common target)
  target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${target} PRIVATE klv_warnings ${A_PRIVATE_DEPS})
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    target_link_libraries(${target} PRIVATE ${A_DEPS})
  else()
    target_link_libraries(${target} PUBLIC ${A_DEPS})
  endif()
  if(A_QT)
    set_target_properties(${target} PROPERTIES AUTOMOC ON)
  endif()
endfunction()

# Sanitizer builds: every executable sets aside reports raised inside the uninstrumented system
# libraries (platform/sanitizer).
function(_klv_sanitizer_suppressions target)
  if(KLV_SANITIZE)
    target_link_libraries(${target} PRIVATE klv_sanitizer_suppressions)
  endif()
endfunction()

function(klv_library name)
  cmake_parse_arguments(A "QT" "" "SOURCES;DEPS;PRIVATE_DEPS" ${ARGN})
  if(NOT A_SOURCES)
    _klv_default_sources(A_SOURCES)
  endif()
  add_library(${name} STATIC ${A_SOURCES})
  _klv_common(${name})
endfunction()

function(klv_program name)
  cmake_parse_arguments(A "QT" "" "SOURCES;DEPS" ${ARGN})
  if(NOT A_SOURCES)
    _klv_default_sources(A_SOURCES)
  endif()
  add_executable(${name} ${A_SOURCES})
  _klv_common(${name})
  _klv_sanitizer_suppressions(${name})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
endfunction()

# MAIN selects the test's main(): "plain" (no Qt), "qt" (QCoreApplication, the default for
# anything that uses platform/foundation), "gui" (QGuiApplication on the offscreen platform) or
# "display" (QGuiApplication on the X display when there is one: GL tests with real windows).
# FIXTURES lists CTest fixtures the tests need, such as "media". SERIAL runs each test alone: tests
# that read back what their windows show on the one X display, where another test's window (the
# real program's, say) could lie over theirs.
function(klv_test name)
  cmake_parse_arguments(A "QT;SERIAL" "MAIN;TIMEOUT" "SOURCES;DEPS;LABELS;FIXTURES" ${ARGN})
  if(NOT A_SOURCES)
    _klv_default_sources(A_SOURCES)
  endif()
  if(NOT A_MAIN)
    set(A_MAIN qt)
  endif()
  if(NOT A_LABELS)
    set(A_LABELS unit)
  endif()
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 120)
  endif()
  add_executable(${name} ${A_SOURCES})
  if(NOT A_MAIN MATCHES "^(plain|qt|gui|display)$")
    message(FATAL_ERROR "klv_test(${name}): MAIN must be plain, qt, gui or display")
  endif()
  list(APPEND A_DEPS klv_test_main_${A_MAIN} GTest::gmock GTest::gtest)
  _klv_common(${name})
  _klv_sanitizer_suppressions(${name})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/tests/bin)
  # gtest_discover_tests flattens list-valued properties (CMake 3.25), so a test carries one label
  # and its environment comes from the test main() (tests/support/main), not from CTest.
  list(GET A_LABELS 0 label)
  klv_scaled_timeout(timeout ${A_TIMEOUT})
  klv_scaled_timeout(discovery_timeout 60)
  set(props LABELS ${label} TIMEOUT ${timeout})
  if(A_FIXTURES)
    list(APPEND props FIXTURES_REQUIRED "${A_FIXTURES}")
  endif()
  if(A_SERIAL)
    list(APPEND props RUN_SERIAL TRUE)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT ${discovery_timeout} PROPERTIES ${props})
endfunction()

# Every benchmark also becomes a CTest test labelled bench that runs it briefly (KLV_BENCH_SMOKE=1,
# a token minimum time) and fails on any benchmark error, so a benchmark that no longer runs is
# caught with the tests. SMOKE_FIXTURES lists the CTest fixtures it needs, such as "media_large".
function(klv_benchmark name)
  cmake_parse_arguments(A "QT" "" "SOURCES;DEPS;SMOKE_FIXTURES" ${ARGN})
  if(NOT A_SOURCES)
    _klv_default_sources(A_SOURCES)
  endif()
  add_executable(${name} ${A_SOURCES})
  list(APPEND A_DEPS klv_bench_support benchmark::benchmark)
  _klv_common(${name})
  _klv_sanitizer_suppressions(${name})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bench/bin)
  add_test(NAME ${name}_smoke COMMAND ${name} --benchmark_min_time=0.01)
  klv_scaled_timeout(timeout 120)
  set(props LABELS bench ENVIRONMENT "KLV_BENCH_SMOKE=1" TIMEOUT ${timeout})
  if(A_SMOKE_FIXTURES)
    list(APPEND props FIXTURES_REQUIRED "${A_SMOKE_FIXTURES}")
  endif()
  set_tests_properties(${name}_smoke PROPERTIES ${props})
endfunction()

# A fuzz entry point (LLVMFuzzerTestOneInput in SOURCES) with its seed corpus in
# corpus/<short> and its dictionary in dict/<short>.dict beside the caller's CMakeLists.txt:
#   klv_fuzz_target(latchkeep_tlv SOURCES FuzzLatchkeepTlv.cpp DEPS klv_privhelper_shared)
# Every build gets fuzzreplay_<short>, which feeds each corpus file to the entry point once, and a
# CTest test that runs it over the corpus (a regression run of seconds). KLV_FUZZ builds the
# libFuzzer program fuzz_<short> as well.
# The largest single allocation an input may cause, in MiB: libFuzzer's limit in scripts/fuzz
# (which reads it from here) and the corpus replays' in the suite.
set(KLV_FUZZ_MEMORY_LIMIT_MB 2048)

function(klv_fuzz_target short)
  cmake_parse_arguments(A "QT" "" "SOURCES;DEPS" ${ARGN})
  set(corpus ${CMAKE_CURRENT_SOURCE_DIR}/corpus/${short})
  if(NOT IS_DIRECTORY ${corpus})
    message(FATAL_ERROR "klv_fuzz_target(${short}): no seed corpus at ${corpus}")
  endif()
  if(NOT EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/dict/${short}.dict)
    message(FATAL_ERROR "klv_fuzz_target(${short}): no dictionary dict/${short}.dict")
  endif()
  set(replay fuzzreplay_${short})
  add_executable(${replay} ${A_SOURCES})
  list(APPEND A_DEPS klv_fuzz_replay_main)
  _klv_common(${replay})
  _klv_sanitizer_suppressions(${replay})
  set_target_properties(${replay} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/tests/bin)
  add_test(NAME FuzzCorpus.${short} COMMAND ${replay} -malloc_limit_mb=${KLV_FUZZ_MEMORY_LIMIT_MB} ${corpus})
  klv_scaled_timeout(timeout 120)
  set_tests_properties(FuzzCorpus.${short} PROPERTIES LABELS unit TIMEOUT ${timeout})
  if(KLV_FUZZ)
    set(fuzzer fuzz_${short})
    add_executable(${fuzzer} ${A_SOURCES})
    list(REMOVE_ITEM A_DEPS klv_fuzz_replay_main)
    _klv_common(${fuzzer})
    _klv_sanitizer_suppressions(${fuzzer})
    target_link_options(${fuzzer} PRIVATE -fsanitize=fuzzer)
    set_target_properties(${fuzzer} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/fuzz/bin)
    if(NOT TARGET klv_fuzzers)
      add_custom_target(klv_fuzzers)
    endif()
    add_dependencies(klv_fuzzers ${fuzzer})
  endif()
endfunction()
