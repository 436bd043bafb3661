# Query-by-example and its settings window. Paths are relative to classes/window; included at the
# end of its CMakeLists.txt.
target_sources(docket_classes_window PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/query_by_example.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/query_filter.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/query_settings.cpp
)

if(DOCKET_TESTS)
  docket_tests(classes_query_tests SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/tests/query_by_example_test.cpp
    DEPS docket_classes_window)
  target_sources(classes_query_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests/main.cpp)
endif()
