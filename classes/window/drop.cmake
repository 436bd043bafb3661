# The file drop combo over a lookup table. Paths are relative to classes/window; included at the
# end of its CMakeLists.txt.
target_sources(docket_classes_window PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/table_drop_combo.cpp
)

if(DOCKET_TESTS)
  docket_tests(classes_drop_tests SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/tests/table_drop_combo_test.cpp
    DEPS docket_classes_window)
  target_sources(classes_drop_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests/main.cpp)
endif()
