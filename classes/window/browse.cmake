# The record browser and its helpers: the view reader, locators, thumb steps and popup menus. Paths
# are relative to classes/window; included at the end of its CMakeLists.txt.
target_sources(docket_classes_window PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/locators.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/popup_menu.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/record_browser.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/thumb_steps.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/view_reader.cpp
)

if(DOCKET_TESTS)
  docket_tests(classes_browse_tests SOURCES
    ${CMAKE_CURRENT_SOURCE_DIR}/tests/thumb_steps_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/tests/popup_menu_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/tests/record_browser_test.cpp
    DEPS docket_classes_window)
  target_sources(classes_browse_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/tests/main.cpp)
  target_compile_definitions(classes_browse_tests PRIVATE DOCKET_SCREENSHOT_DIR="${CMAKE_BINARY_DIR}/screenshots")
endif()
