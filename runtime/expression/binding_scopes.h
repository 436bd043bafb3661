#pragma once
// The binding table of the expression language: bound names per scope, with the operator keywords
// and the built-in functions entered into every scope, and the scope stack of PUSHSCOPE and
// POPSCOPE.
//
// Each program thread has its own table and scope stack: a procedure's bindings are visible to the
// expressions compiled on its own thread only, and the tables need no locking.
//
// Names compare in the collating order without regard to letter case, so "mem:memo_id" finds
// MEM:MEMO_ID and "upper" the function UPPER (the language's names and keywords are
// case-insensitive).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/expression/bound_variable.h"
#include "runtime/expression/internal/expr_builtins.h"

namespace docket::runtime {

enum class Keyword : std::uint8_t { And, Or, Xor, Not };

struct BindingEntry {
    enum class Kind : std::uint8_t { Variable, Function, Keyword } kind = Kind::Variable;
    BoundVariable variable;                // Variable
    const BuiltinInfo* function = nullptr; // Function
    Keyword keyword = Keyword::And;        // Keyword
};

// The name BIND keeps: cut at the first character that is not a letter, digit, "_" or ":", with one
// trailing "#", "$" or '"' kept; a leading "?" (control names) is kept too. Like the scanner's
// names it is cut to 99 characters, so that every bound name can be found again.
std::string bindingName(std::string_view name);

// BIND: enters `variable` under the cut name in the current scope, replacing a variable of the
// same name there. Refused (false, nothing changes) when the cut name is empty, is an operator
// keyword or a built-in function, or the variable cannot be read by expressions.
bool bindVariable(std::string_view name, const BoundVariable& variable);
// Removes a variable binding from the current scope; false when it has none of that name.
bool unbindVariable(std::string_view name);

// Releases every binding of the current scope; the scope becomes empty.
void clearScope();
// PUSHSCOPE: saves the current scope and starts an empty one. Without `inherit`, names of the
// outer scopes are hidden until the matching POPSCOPE.
void pushScope(bool inherit);
// POPSCOPE: releases the current scope and restores the one saved by the matching push. Without a
// push it posts error 802 "Mismatched PUSHSCOPE/POPSCOPE" and returns false.
bool popScope();
// Scopes pushed on this thread and not yet popped.
int scopeDepth();

// Looks a name up (exactly as given: callers cut it first) in the current scope, then in the saved
// scopes from the most recent outward, stopping at a push that hid its outer scopes.
std::optional<BindingEntry> lookupName(std::string_view name);

} // namespace docket::runtime
