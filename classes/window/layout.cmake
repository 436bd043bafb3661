# The navigation tool bar and the window resizer: the parts every form and list joins to its window
# flow. Paths are relative to classes/window; included from its CMakeLists.txt.
target_sources(docket_classes_window PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/navigation_toolbar.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/window_resizer.cpp
)

if(DOCKET_TESTS)
  docket_tests(classes_window_layout_tests SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/tests/navigation_toolbar_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/tests/window_resizer_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/tests/layout_main.cpp
    DEPS docket_classes_window)
endif()
