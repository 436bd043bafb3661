#pragma once
// The built-in functions of the expression language: their table (name, maximum argument count,
// result kind), the defaults of omitted arguments, and their evaluation.
#include <cstdint>
#include <span>
#include <string_view>

#include "runtime/core/value.h"

namespace docket::runtime {

struct ExprNode;

enum class Builtin : std::uint8_t {
    Abs,
    Acos,
    Age,
    All,
    Asin,
    Atan,
    Band,
    Bor,
    Bshift,
    Bxor,
    Center,
    Choose,
    Chr,
    Clip,
    Clock,
    Cos,
    Date,
    Day,
    Deformat,
    Format,
    GetIni,
    InList,
    InRange,
    InString,
    Int,
    Left,
    Len,
    Log10,
    LogE,
    Lower,
    Match,
    Memory,
    Month,
    Null,
    Numeric,
    Random,
    Right,
    Round,
    Sin,
    Sql,
    Sqrt,
    Sub,
    Tan,
    Today,
    Upper,
    Val,
    Year,
};

struct BuiltinInfo {
    const char* name;
    Builtin code;
    std::uint8_t maxArgs;
    ValueKind kind; // SQL has no value of its own; see expr_parser.cpp
};

// Every built-in, ordered by name.
std::span<const BuiltinInfo> builtinFunctions();
const BuiltinInfo& builtinInfo(Builtin code);

// The default of an omitted argument (0-based `index`).
struct DefaultArgument {
    enum class Form : std::uint8_t { Integer, Real, String, Today } form = Form::Integer;
    std::int32_t integer = 0;
    double real = 0.0;
    std::string_view text;
};
DefaultArgument defaultArgument(Builtin code, int index);
// CHOOSE and INLIST keep the arguments as given (their count matters); every other function has
// its omitted arguments filled with their defaults when it is compiled.
bool keepsArgumentCount(Builtin code);

// Evaluation of a call node in its own result kind (node.kind).
std::int64_t evalBuiltinInteger(ExprNode& node);
double evalBuiltinReal(ExprNode& node);
std::string_view evalBuiltinString(ExprNode& node);

// Computed strings (ALL, CENTER, LEFT, RIGHT, concatenation...) are cut to this length, which
// bounds the memory any expression can ask for.
inline constexpr std::size_t kMaxComputedText = 65535;

} // namespace docket::runtime
