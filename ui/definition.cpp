#include "ui/definition.h"

#include <algorithm>
#include <cctype>
#include <map>

namespace docket::ui {
namespace {

std::string key(const std::string& module, const std::string& resource) {
    std::string text = module + "\n" + resource;
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

std::map<std::string, WindowDefinition>& registry() {
    static std::map<std::string, WindowDefinition> definitions;
    return definitions;
}

} // namespace

void registerWindow(const std::string& module, const std::string& resource, WindowDefinition definition) {
    registry()[key(module, resource)] = std::move(definition);
}

const WindowDefinition* findWindow(const std::string& module, const std::string& resource) {
    auto found = registry().find(key(module, resource));
    return found == registry().end() ? nullptr : &found->second;
}

} // namespace docket::ui
