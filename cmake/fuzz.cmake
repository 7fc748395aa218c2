# Fuzz targets and the hardening tests.
#
# Each target in fuzz/ defines LLVMFuzzerTestOneInput.  With
# WENLEI_FUZZ_ENGINE=libfuzzer (a clang build; scripts/fuzz sets it, with
# the sanitizer flags for all code) the targets link libFuzzer; otherwise
# they link fuzz/replay_main.cc and replay their corpus, which the normal
# test run does for every target.
set(WENLEI_FUZZ_ENGINE "" CACHE STRING "Link the fuzz targets with this engine: libfuzzer, or empty for corpus replay")
set(WENLEI_FUZZ_TARGETS source_file test_records result_file label_text classification model_file)
if(NOT WIN32)
  list(APPEND WENLEI_FUZZ_TARGETS modern_interface)
endif()

add_library(wenlei_fuzz_support STATIC fuzz/fuzz_support.cc)
target_link_libraries(wenlei_fuzz_support PUBLIC wenlei_testutil)

foreach(name IN LISTS WENLEI_FUZZ_TARGETS)
  set(target wenlei_fuzz_${name})
  add_executable(${target} fuzz/${name}_fuzzer.cc)
  target_link_libraries(${target} PRIVATE wenlei_fuzz_support wenlei_core)
  set(corpus ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/corpus/${name})
  if(WENLEI_FUZZ_ENGINE STREQUAL "libfuzzer")
    target_link_options(${target} PRIVATE -fsanitize=fuzzer)
    add_test(NAME fuzz_corpus_${name} COMMAND ${target} -runs=0 ${corpus})
  else()
    target_sources(${target} PRIVATE fuzz/replay_main.cc)
    add_test(NAME fuzz_corpus_${name} COMMAND ${target} ${corpus})
  endif()
endforeach()
# The whole classification goes through the exported functions, compiled
# into the target so that the fuzz build needs no sanitized shared library.
target_sources(wenlei_fuzz_classification PRIVATE interface/exports.cc)
# The modern interface likewise, with its engine.
if(NOT WIN32)
  target_sources(wenlei_fuzz_modern_interface PRIVATE interface/wenlei_api.cc)
  target_link_libraries(wenlei_fuzz_modern_interface PRIVATE wenlei_classify ${CMAKE_DL_LIBS})
  target_compile_definitions(wenlei_fuzz_modern_interface PRIVATE WENLEI_VERSION_TEXT="${PROJECT_VERSION}")
endif()
add_custom_target(wenlei_fuzz_targets)
foreach(name IN LISTS WENLEI_FUZZ_TARGETS)
  add_dependencies(wenlei_fuzz_targets wenlei_fuzz_${name})
endforeach()

# Damaged resource files and test-file records, and the regressions the
# fuzz targets found.
add_executable(wenlei_hardening_tests
  source/source_truncation_test.cc
  predict/record_fault_test.cc
  predict/model_file_check_test.cc)
target_link_libraries(wenlei_hardening_tests PRIVATE wenlei_core wenlei_testutil GTest::gtest_main)
gtest_discover_tests(wenlei_hardening_tests DISCOVERY_TIMEOUT 60)
