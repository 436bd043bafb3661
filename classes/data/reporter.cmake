# The error reporter, its built-in message table, the message hook and the text error log. Paths are
# relative to classes/data.
set(DOCKET_REPORTER_SOURCES
  message_table.cpp
  message_hook.cpp
  error_log.cpp
  error_reporter.cpp
)

set(DOCKET_REPORTER_TESTS
  tests/error_reporter_test.cpp
  tests/message_table_test.cpp
)

# libFuzzer target for loading packed message tables and expanding their texts (clang with
# -DDOCKET_FUZZ=ON).
if(DOCKET_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES Clang)
  add_executable(fuzz_message_table tests/fuzz_message_table.cpp)
  target_compile_options(fuzz_message_table PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(fuzz_message_table PRIVATE docket_classes_data -fsanitize=fuzzer,address,undefined)
endif()
