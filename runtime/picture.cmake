# Display pictures: the compiler, the formatters and readers of each kind, and the regional date and
# time forms. Paths are relative to runtime/.
set(DOCKET_PICTURE_SOURCES
  picture/picture_compile.cpp
  picture/picture_format.cpp
  picture/picture_date_format.cpp
  picture/picture_deformat.cpp
  picture/picture_regional.cpp
)

set(DOCKET_PICTURE_TESTS
  tests/picture_compile_test.cpp
  tests/picture_number_test.cpp
  tests/picture_date_test.cpp
  tests/picture_deformat_test.cpp
)

# libFuzzer target for the picture compiler, formatters and readers: needs clang.
if(DOCKET_FUZZ)
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    list(TRANSFORM DOCKET_PICTURE_SOURCES PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/ OUTPUT_VARIABLE fuzz_picture_sources)
    add_executable(fuzz_picture tests/fuzz_picture.cpp ${fuzz_picture_sources}
      core/char_tables.cpp core/dates.cpp ${PROJECT_SOURCE_DIR}/platform/clock.cpp)
    target_include_directories(fuzz_picture PRIVATE ${PROJECT_SOURCE_DIR})
    target_compile_options(fuzz_picture PRIVATE -fsanitize=fuzzer,address,undefined -fno-omit-frame-pointer)
    target_link_options(fuzz_picture PRIVATE -fsanitize=fuzzer,address,undefined)
  else()
    message(WARNING "DOCKET_FUZZ needs clang; fuzz_picture is not built")
  endif()
endif()
