# The expression language: scanner, parser, trees, built-ins, binding scopes, EVALUATE; with the
# character tables, dates and value rules it rests on. Paths are relative to runtime/.
set(DOCKET_EXPRESSION_SOURCES
  core/char_tables.cpp
  core/dates.cpp
  core/value.cpp
  core/bound_variable.cpp
  core/binding_scopes.cpp
  core/expr_scanner.cpp
  core/expr_parser.cpp
  core/expr_tree.cpp
  core/expr_builtins.cpp
  core/picture_functions.cpp
  core/expression.cpp
)

set(DOCKET_EXPRESSION_TESTS
  tests/char_tables_test.cpp
  tests/dates_test.cpp
  tests/value_test.cpp
  tests/expr_scanner_test.cpp
  tests/expr_parser_test.cpp
  tests/expr_builtins_test.cpp
  tests/binding_scopes_test.cpp
)

# Counting allocations replaces the global operator new, so this test is an executable of its own.
docket_tests(expression_alloc_tests SOURCES tests/expr_alloc_test.cpp DEPS docket_runtime_core)

# libFuzzer target for compiling and evaluating arbitrary texts (clang with -DDOCKET_FUZZ=ON).
if(DOCKET_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES Clang)
  add_executable(fuzz_expression tests/fuzz_expression.cpp)
  target_compile_options(fuzz_expression PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(fuzz_expression PRIVATE docket_runtime_core -fsanitize=fuzzer,address,undefined)
endif()
