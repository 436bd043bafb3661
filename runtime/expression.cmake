# The expression language: scanner, parser, trees, built-ins, binding scopes, EVALUATE; with the
# character tables, dates and value rules it rests on. Paths are relative to runtime/.
set(DOCKET_EXPRESSION_SOURCES
  core/char_tables.cpp
  core/dates.cpp
  core/value.cpp
  expression/bound_variable.cpp
  expression/binding_scopes.cpp
  expression/expr_scanner.cpp
  expression/expr_parser.cpp
  expression/expr_tree.cpp
  expression/expr_builtins.cpp
  expression/picture_functions.cpp
  expression/expression.cpp
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
