// libFuzzer target: compile and evaluate any text, with a few variables bound, in every kind.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "runtime/expression/binding_scopes.h"
#include "runtime/expression/expression.h"

namespace {

struct Bound {
    std::int32_t id = 42;
    char subject[20] = "Rapat bulanan      ";
    double amount = -3.25;
    std::int32_t date = 80000;
};

Bound& variables() {
    static Bound bound;
    static const bool once = [] {
        using namespace docket::runtime;
        bindVariable("MEM:MEMO_ID", bindLong(&bound.id));
        bindVariable("MEM:PERIHAL", bindString(bound.subject, sizeof bound.subject - 1));
        bindVariable("AMOUNT", bindReal(&bound.amount));
        bindVariable("MEM:TANGGAL", BoundVariable{TypeCode::Date, &bound.date, 4, 0});
        return true;
    }();
    (void)once;
    return bound;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace docket::runtime;
    variables();
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    // GETINI reads files; keep the fuzzer off the file system.
    if (text.find("GETINI") != std::string_view::npos || text.find("getini") != std::string_view::npos)
        return 0;
    (void)evaluate(text);
    if (auto expression = compileExpression(text)) {
        (void)expression->isTrue();
        (void)expression->integerValue();
        (void)expression->realValue();
        (void)expression->textValue();
    }
    return 0;
}
