#include "runtime/expression/binding_scopes.h"

#include <map>
#include <mutex>
#include <vector>

#include "runtime/core/char_tables.h"
#include "runtime/core/error_state.h"
#include "runtime/expression/internal/expr_scanner.h"
#include "runtime/core/thread_hook.h"
#include "runtime/core/error_codes.h"
#include "runtime/core/thread_state.h"

namespace docket::runtime {
namespace {


struct NameLess {
    bool operator()(const std::string& a, const std::string& b) const {
        return collateCompareNoCase(a, b) < 0;
    }
};

using BindingTree = std::map<std::string, BindingEntry, NameLess>;

struct SavedScope {
    BindingTree tree;
    bool hidesOuter = false;
};

struct ThreadScopes {
    BindingTree current;
    std::vector<SavedScope> saved;
};

ThreadSlot<ThreadScopes> threadScopes;

// The table of the running program thread.
ThreadScopes& scopes() { return threadScopes.get(); }

// Enters the operator keywords and the built-in functions into a missing or empty scope, so that
// every scope sees them, also when its outer scopes are hidden.
void ensureBuiltins(BindingTree& tree) {
    if (!tree.empty()) return;
    static constexpr std::pair<const char*, Keyword> kKeywords[] = {
        {"AND", Keyword::And}, {"OR", Keyword::Or}, {"XOR", Keyword::Xor}, {"NOT", Keyword::Not}};
    for (const auto& [name, keyword] : kKeywords) {
        BindingEntry entry;
        entry.kind = BindingEntry::Kind::Keyword;
        entry.keyword = keyword;
        tree.emplace(name, entry);
    }
    for (const BuiltinInfo& info : builtinFunctions()) {
        BindingEntry entry;
        entry.kind = BindingEntry::Kind::Function;
        entry.function = &info;
        tree.emplace(info.name, entry);
    }
}

bool isNameChar(unsigned char c) {
    return isLetterOrDigit(c) || c == '_' || c == ':';
}

} // namespace

std::string bindingName(std::string_view name) {
    std::size_t i = 0;
    if (!name.empty() && name[0] == '?') {
        if (name.size() < 2 || !isLetter(static_cast<unsigned char>(name[1]))) return {};
        ++i;
    }
    while (i < name.size() && isNameChar(static_cast<unsigned char>(name[i]))) ++i;
    if (i < name.size() && (name[i] == '#' || name[i] == '$' || name[i] == '"')) ++i;
    return std::string(name.substr(0, i < kMaxNameLength ? i : kMaxNameLength));
}

bool bindVariable(std::string_view name, const BoundVariable& variable) {
    const std::string cut = bindingName(name);
    if (cut.empty() || !isBindable(variable)) return false;
    ThreadScopes& s = scopes();
    ensureBuiltins(s.current);
    auto found = s.current.find(cut);
    if (found != s.current.end() && found->second.kind != BindingEntry::Kind::Variable) return false;
    BindingEntry entry;
    entry.variable = variable;
    if (found != s.current.end())
        found->second = entry;
    else
        s.current.emplace(cut, entry);
    return true;
}

bool unbindVariable(std::string_view name) {
    ThreadScopes& s = scopes();
    auto found = s.current.find(bindingName(name));
    if (found == s.current.end() || found->second.kind != BindingEntry::Kind::Variable) return false;
    s.current.erase(found);
    return true;
}

void clearScope() {
    scopes().current.clear();
}

void pushScope(bool inherit) {
    ThreadScopes& s = scopes();
    s.saved.push_back({std::move(s.current), !inherit});
    s.current = BindingTree();
}

bool popScope() {
    ThreadScopes& s = scopes();
    if (s.saved.empty()) {
        setError(error::kMismatchedScope);
        return false;
    }
    s.current = std::move(s.saved.back().tree);
    s.saved.pop_back();
    return true;
}

int scopeDepth() {
    return static_cast<int>(scopes().saved.size());
}

std::optional<BindingEntry> lookupName(std::string_view name) {
    ThreadScopes& s = scopes();
    ensureBuiltins(s.current);
    const std::string key(name);
    auto found = s.current.find(key);
    if (found != s.current.end()) return found->second;
    for (auto record = s.saved.rbegin(); record != s.saved.rend(); ++record) {
        if (record->hidesOuter) break;
        auto hit = record->tree.find(key);
        if (hit != record->tree.end()) return hit->second;
    }
    return std::nullopt;
}

} // namespace docket::runtime
