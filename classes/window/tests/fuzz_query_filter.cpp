// Whatever a settings file holds as a saved query's texts (or a user types as conditions), the
// filter built from them compiles in the expression language, over a string field, a numeric field
// and a date field; and the texts kept for a field read back as they were written.
#include "classes/window/query_filter.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "runtime/expression/binding_scopes.h"
#include "runtime/expression/expression.h"

using namespace docket::classes;

namespace {

std::int32_t id = 0, date = 0;
char subject[81] = {};

void bindOnce() {
    static bool bound = false;
    if (bound) return;
    bound = true;
    docket::runtime::bindVariable("MEM:MEMO_ID", docket::runtime::bindLong(&id));
    docket::runtime::bindVariable("MEM:TANGGAL_MEMO",
                                  docket::runtime::BoundVariable{docket::runtime::TypeCode::Long, &date, 4, 0});
    docket::runtime::bindVariable("MEM:PERIHAL", docket::runtime::bindCString(subject, sizeof subject));
}

std::vector<QueryField> fields() {
    std::vector<QueryField> out(3);
    out[0].dNAME = "MEM:PERIHAL";
    out[0].PICTURE = "s80";
    out[1].dNAME = "MEM:MEMO_ID";
    out[1].PICTURE = "n-14";
    out[2].dNAME = "MEM:TANGGAL_MEMO";
    out[2].PICTURE = "d17";
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    bindOnce();
    const std::string input(reinterpret_cast<const char*>(data), size);
    // One saved text per field, separated by NUL bytes.
    std::vector<std::string> kept(1);
    for (char c : input) {
        if (c == '\0')
            kept.emplace_back();
        else
            kept.back() += c;
    }
    std::vector<QueryField> all = fields();
    for (std::size_t i = 0; i < all.size() && i < kept.size(); ++i) {
        const std::vector<std::string> texts = decodeQueryTexts(kept[i]);
        if (texts.size() != 3) std::abort();
        auto put = [](std::unique_ptr<std::string>& target, const std::string& text) {
            if (text.find_first_not_of(' ') != std::string::npos) target = std::make_unique<std::string>(text);
        };
        put(all[i].LOW, texts[0]);
        put(all[i].MIDDLE, texts[1]);
        put(all[i].HIGH, texts[2]);
        // Written and read again, the texts come back (carriage returns are not kept).
        const std::vector<std::string> again = decodeQueryTexts(encodeQueryTexts(all[i]));
        const std::unique_ptr<std::string>* slots[] = {&all[i].LOW, &all[i].MIDDLE, &all[i].HIGH};
        for (int s = 0; s < 3; ++s) {
            std::string expected = *slots[s] ? **slots[s] : std::string();
            std::erase(expected, '\r');
            if (again[static_cast<std::size_t>(s)] != expected) std::abort();
        }
    }
    const std::string filter = buildQueryFilter(all);
    if (!filter.empty() && !docket::runtime::compileExpression(filter)) std::abort();
    return 0;
}
