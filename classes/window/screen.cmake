# The error reporter on the screen: its message hook on the window system's boxes, the history
# window, the fatal stop with the program's shut-down, and the progress of a key rebuild. Paths are
# relative to classes/window; included at the end of its CMakeLists.txt.
target_sources(docket_classes_window PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/message_window.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/rebuild_progress.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/reporter_screen.cpp
)

if(TARGET classes_window_tests)
  target_sources(classes_window_tests PRIVATE
    ${CMAKE_CURRENT_SOURCE_DIR}/tests/reporter_screen_test.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/tests/rebuild_progress_test.cpp
  )
  # Pictures of the history window for a reviewer to look at.
  target_compile_definitions(classes_window_tests PRIVATE DOCKET_SCREENSHOT_DIR="${CMAKE_BINARY_DIR}/screenshots")
endif()
