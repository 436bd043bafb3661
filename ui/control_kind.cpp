#include "ui/control_kind.h"

#include "ui/control.h"
#include "ui/controls/builtin.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>

namespace docket::ui {
namespace {

std::map<ControlType, const ControlKind*>& registry() {
    static std::map<ControlType, const ControlKind*> kinds = [] {
        std::map<ControlType, const ControlKind*> builtIn;
        for (const auto& [type, kind] : builtInControlKinds()) builtIn[type] = kind;
        return builtIn;
    }();
    return kinds;
}

} // namespace

void ControlKind::show(Window&, Control&) const {}
bool ControlKind::take(Window&, Control&, bool) const {
    return true;
}
bool ControlKind::validated(const Control&) const {
    return false;
}
std::optional<std::string> ControlKind::get(const Window&, const Control&, std::string_view) const {
    return std::nullopt;
}
PropertyResult ControlKind::set(Window&, Control&, std::string_view, const std::string&) const {
    return PropertyResult::NotMine;
}
bool ControlKind::input(Window&, Control&, QEvent&, int) const {
    return false;
}
QWidget* ControlKind::focusWidget(const Control& control) const {
    return control.widget;
}
void ControlKind::placed(Window&, Control&) const {}

void registerControlKind(ControlType type, const ControlKind& kind) {
    registry()[type] = &kind;
}

const ControlKind* findControlKind(ControlType type) {
    auto found = registry().find(type);
    return found == registry().end() ? nullptr : found->second;
}

bool isProperty(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string propertyNumber(long value) {
    return std::to_string(value);
}

std::string shownValue(const Control& c) {
    if (!c.use.bound()) return {};
    if (c.use.numeric) {
        double value = c.use.getNumber();
        return c.hasPicture ? runtime::formatNumber(value, c.picture)
                            : std::to_string(static_cast<long>(value));
    }
    return c.hasPicture ? runtime::formatText(c.use.getText(), c.picture) : c.use.getText();
}

std::string columnText(const std::string& raw, const std::string& picture) {
    if (picture.empty()) return raw;
    runtime::Picture compiled = runtime::compilePicture(picture);
    if (!compiled.valid()) return raw;
    if (runtime::isNumericPicture(compiled))
        return runtime::formatNumber(std::strtod(raw.c_str(), nullptr), compiled);
    // A text picture pads to its width; in a cell the blanks would only make the view elide text
    // that fits.
    std::string text = runtime::formatText(raw, compiled);
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

// deformatNumber gives 0 for text it cannot read, so a zero result counts as a failure unless the
// text holds no digit other than 0 and no letter (a blank or zero entry is a valid zero).
bool readableThrough(const std::string& text, const Control& c) {
    if (!c.hasPicture) return true;
    const runtime::Picture& picture = c.picture;
    if (!runtime::isNumericPicture(picture)) return true;
    bool letters = std::any_of(text.begin(), text.end(), [](unsigned char ch) { return std::isalpha(ch); });
    if (letters &&
        (picture.kind == runtime::PictureKind::Numeric || picture.kind == runtime::PictureKind::Pattern))
        return false;
    double value = runtime::deformatNumber(text, picture);
    if (value != 0) return true;
    return std::none_of(text.begin(), text.end(),
                        [](unsigned char ch) { return (ch >= '1' && ch <= '9') || std::isalpha(ch); });
}

void setAttribute(Control& c, std::uint32_t bit, bool on) {
    c.def.attributes = on ? (c.def.attributes | bit) : (c.def.attributes & ~bit);
}

} // namespace docket::ui
