# Unit tests live beside the code they test as *_test.cc.
find_package(GTest REQUIRED)
find_package(Threads REQUIRED)
include(GoogleTest)

add_executable(wenlei_core_tests
  source/class_names_test.cc
  source/confidence_file_test.cc
  source/metadata_file_test.cc
  source/ordered_table_test.cc
  source/source_file_test.cc
  source/source_data_test.cc
  vectorise/term_weighting_test.cc
  vectorise/document_vector_test.cc
  vectorise/document_features_test.cc
  vectorise/vocabulary_index_test.cc
  util/number_text_test.cc
  util/working_file_test.cc
  util/sha256_test.cc
  util/file_lock_test.cc
  util/file_bytes_test.cc
  predict/prediction_step_test.cc
  predict/linear_predictor_test.cc
  util/bundled_files_test.cc
  util/decimal_field_test.cc
  decide/confidence_test.cc
  decide/class_decision_test.cc
  decide/prediction_result_test.cc
  classify/classifier_test.cc)
if(NOT WIN32)
  target_sources(wenlei_core_tests PRIVATE util/set_replacement_test.cc)
endif()
target_link_libraries(wenlei_core_tests PRIVATE wenlei_core wenlei_testutil GTest::gtest_main)
target_compile_definitions(wenlei_core_tests PRIVATE WENLEI_MODELS_DIR="${CMAKE_CURRENT_SOURCE_DIR}/models")
gtest_discover_tests(wenlei_core_tests DISCOVERY_TIMEOUT 60)

# The text layer and the trainer's parts, built without the tools.  (The
# trainer's own test checks its sets through the exports with a host's word
# lists, and lives with the tools' tests.)
add_executable(wenlei_text_train_tests
  text/character_features_test.cc
  text/content_word_test.cc
  text/dictionary_test.cc
  text/gbk_converter_test.cc
  text/gbk_form_test.cc
  text/segmenter_test.cc
  text/utf8_test.cc
  train/corpus_test.cc
  train/feature_selection_test.cc
  train/linear_model_test.cc
  train/seeded_rand_test.cc
  train/stop_words_test.cc)
target_link_libraries(wenlei_text_train_tests PRIVATE wenlei_train wenlei_text wenlei_testutil
                      GTest::gtest_main)
gtest_discover_tests(wenlei_text_train_tests DISCOVERY_TIMEOUT 60)

# The exports, driven through the shared library as a host drives them.
add_executable(wenlei_exports_tests interface/exports_test.cc interface/exports_fault_test.cc)
target_link_libraries(wenlei_exports_tests PRIVATE wenlei wenlei_testutil GTest::gtest_main)
target_compile_definitions(wenlei_exports_tests PRIVATE WENLEI_MODELS_DIR="${CMAKE_CURRENT_SOURCE_DIR}/models")
gtest_discover_tests(wenlei_exports_tests DISCOVERY_TIMEOUT 60)

# The modern interface through the shared library, beside the exports.
find_package(Threads REQUIRED)
if(NOT WIN32)
  add_executable(wenlei_api_tests interface/wenlei_api_test.cc interface/wenlei_train_api_test.cc)
  # wenlei_text and wenlei_util for the content-word rule and the digests
  # that the tests check the library by.
  target_link_libraries(wenlei_api_tests PRIVATE wenlei wenlei_text wenlei_util wenlei_testutil Threads::Threads
                        GTest::gtest_main)
  target_compile_definitions(wenlei_api_tests PRIVATE
    WENLEI_MODELS_DIR="${CMAKE_CURRENT_SOURCE_DIR}/models")
  gtest_discover_tests(wenlei_api_tests DISCOVERY_TIMEOUT 60)
  # A set replaced while it is opened, fork, results after close.
  add_executable(wenlei_api_soundness_tests interface/wenlei_api_soundness_test.cc)
  target_link_libraries(wenlei_api_soundness_tests PRIVATE wenlei wenlei_testutil Threads::Threads
                        GTest::gtest_main)
  gtest_discover_tests(wenlei_api_soundness_tests DISCOVERY_TIMEOUT 60)
endif()

# Threads calling the exports at once (scripts/test-threads runs it under
# ThreadSanitizer too).
add_executable(wenlei_stress_tests interface/exports_stress_test.cc)
target_link_libraries(wenlei_stress_tests PRIVATE wenlei wenlei_testutil GTest::gtest_main Threads::Threads)
gtest_discover_tests(wenlei_stress_tests DISCOVERY_TIMEOUT 60)

# The header must stay plain C: a small host compiled as C.
add_executable(wenlei_c_host interface/c_host_test.c)
target_link_libraries(wenlei_c_host PRIVATE wenlei)
set_target_properties(wenlei_c_host PROPERTIES C_STANDARD 99 C_EXTENSIONS OFF)
target_compile_options(wenlei_c_host PRIVATE -pedantic-errors)
add_test(NAME c_host_header COMMAND wenlei_c_host)

# A host linked against a library without symbol versions (as hosts built
# before the version node were) must still run with the versioned library.
if(NOT WIN32)
  add_library(wenlei_unversioned SHARED interface/exports.cc interface/wenlei_api.cc)
  target_compile_definitions(wenlei_unversioned PRIVATE WENLEI_BUILDING_LIBRARY
    WENLEI_VERSION_TEXT="${PROJECT_VERSION}")
  target_link_libraries(wenlei_unversioned PRIVATE wenlei_core wenlei_classify ${CMAKE_DL_LIBS})
  target_include_directories(wenlei_unversioned PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include)
  set_target_properties(wenlei_unversioned PROPERTIES OUTPUT_NAME wenlei
    SOVERSION ${PROJECT_VERSION_MAJOR} LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/unversioned)
  add_executable(wenlei_old_c_host interface/c_host_test.c)
  target_link_libraries(wenlei_old_c_host PRIVATE wenlei_unversioned)
  set_target_properties(wenlei_old_c_host PROPERTIES SKIP_BUILD_RPATH ON)
  add_dependencies(wenlei_old_c_host wenlei)
  add_test(NAME c_host_linked_before_versions COMMAND wenlei_old_c_host)
  set_tests_properties(c_host_linked_before_versions PROPERTIES
    ENVIRONMENT LD_LIBRARY_PATH=$<TARGET_FILE_DIR:wenlei>)
endif()

# Only the exported functions and the modern interface may be visible in
# the shared library.
add_test(NAME shared_library_exports
  COMMAND ${CMAKE_COMMAND} -DLIBRARY=$<TARGET_FILE:wenlei>
          -DHEADER=${CMAKE_CURRENT_SOURCE_DIR}/include/wenlei/wenlei.h
          -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/check_exports.cmake)

# The corpus preparation scripts' own tests.
add_test(NAME corpus_scripts
  COMMAND /usr/bin/python3 -m unittest discover -s ${CMAKE_CURRENT_SOURCE_DIR}/scripts/corpus -p "*_test.py")
add_test(NAME script_helpers_python
  COMMAND /usr/bin/python3 -m unittest discover -s ${CMAKE_CURRENT_SOURCE_DIR}/scripts/lib -p "*_test.py")
