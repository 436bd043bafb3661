#pragma once
// The grammar of expression texts, from the loosest binding level to the tightest (every binary
// level is a left-associative loop):
//   1 expression  terms joined by OR / XOR; ends at "," ":" ")" "]" or the end of the text
//   2 term        negations joined by AND
//   3 negation    any number of NOT / "~" before a comparison (an odd count wraps it in one NOT)
//   4 comparison  concatenations joined by = < > <> ~= <= =< ~> >= => ~<
//   5 concatenation  sums joined by "&"
//   6 sum         products joined by "+" "-"
//   7 product     powers joined by "*" "/" "%"
//   8 power       signed operands joined by "^"
//   9 signed      any number of "+" / "-" before a primary (an odd count of "-" negates)
//  10 primary     ( expression ), a constant, a bound name with an optional subscript
//                 [i] or [a : b], a built-in call F(...), or SQL(raw text)
#include <cstddef>
#include <memory>
#include <string_view>

#include "runtime/expression/expr_tree.h"

namespace docket::runtime {

// Limits that keep compiling and evaluating within a small stack: brackets, calls and subscripts
// may nest 64 deep, and a tree may be 256 levels deep; deeper texts do not compile.
inline constexpr int kMaxNesting = 64;
inline constexpr int kMaxTreeDepth = 256;

// Compiles `text` against the current binding table; null when it does not compile (any lexical
// or syntax error, an unknown name, too many arguments, too deep), with the offset of the
// offending token in `errorPosition` when given.
std::unique_ptr<ExprNode> parseExpression(std::string_view text, std::size_t* errorPosition = nullptr);

} // namespace docket::runtime
