#include "files/internal/view_order.h"

#include <cstdlib>
#include <string>

#include "runtime/expression/expr_tree.h"
#include "files/record_fields.h"

namespace docket::runtime {

namespace {

// The components of an order text at its top level: commas inside brackets or quotes do not split.
std::vector<std::string_view> splitComponents(std::string_view text) {
    std::vector<std::string_view> parts;
    int depth = 0;
    bool quoted = false;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\'')
            quoted = !quoted;
        else if (quoted)
            continue;
        else if (c == '(' || c == '[')
            ++depth;
        else if ((c == ')' || c == ']') && depth > 0)
            --depth;
        else if (c == ',' && depth == 0) {
            parts.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(text.substr(start));
    return parts;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool isStringType(drivers::TypeCode type) {
    return type == TypeCode::String || type == TypeCode::CString || type == TypeCode::PString;
}

} // namespace

bool compileOrder(std::string_view text, const drivers::FileDeclaration& primary,
                  std::vector<OrderComponent>* out) {
    out->clear();
    if (trim(text).empty()) return true;
    std::vector<OrderComponent> order;
    for (std::string_view part : splitComponents(text)) {
        part = trim(part);
        OrderComponent c;
        if (!part.empty() && (part.front() == '-' || part.front() == '+')) {
            c.descending = part.front() == '-';
            part = trim(part.substr(1));
        }
        if (part.empty()) return false;
        c.expression = compileExpression(part);
        if (!c.expression) return false;
        const ExprNode& root = c.expression->root();
        if (root.op == ExprOp::Variable) {
            c.field = fieldAt(primary, root.variable.data);
        } else if (root.op == ExprOp::Call && root.function == Builtin::Upper && root.args.size() == 1 &&
                   root.args[0]->op == ExprOp::Variable) {
            c.field = fieldAt(primary, root.args[0]->variable.data);
            c.upper = c.field != 0;
        }
        order.push_back(std::move(c));
    }
    *out = std::move(order);
    return true;
}

KeyMatch matchOrderKey(const std::vector<OrderComponent>& order, const drivers::FileDeclaration& primary) {
    if (order.empty()) return {};
    for (std::size_t k = 0; k < primary.keys.size(); ++k) {
        const drivers::KeyDeclaration& key = primary.keys[k];
        if (key.isIndex() || (key.flags & drivers::key_flag::kOpt) || key.components.empty()) continue;
        const bool unique = !(key.flags & drivers::key_flag::kDup);
        if (order.size() > key.components.size() && !unique) continue;
        const std::size_t n = std::min(order.size(), key.components.size());
        int direction = 0; // +1 forwards, -1 backwards
        bool ok = true;
        for (std::size_t i = 0; i < n && ok; ++i) {
            const OrderComponent& c = order[i];
            const int field = std::abs(key.components[i]);
            if (c.field == 0 || c.field != field) {
                ok = false;
                break;
            }
            const bool text = isStringType(primary.fields[static_cast<std::size_t>(field - 1)].type);
            const bool noCase = key.flags & drivers::key_flag::kNoCase;
            if (text ? c.upper != noCase : c.upper) ok = false;
            const int d = (c.descending == (key.components[i] < 0)) ? 1 : -1;
            if (direction == 0) direction = d;
            if (d != direction) ok = false;
        }
        if (ok) return {static_cast<int>(k), direction < 0};
    }
    return {};
}

} // namespace docket::runtime
