#include "classes/window/locators.h"

#include <cstring>

#include "runtime/core/char_tables.h"
#include "runtime/core/type_code.h"
#include "ui/key_forward.h"
#include "ui/window.h"

namespace docket::classes {

namespace {

constexpr std::size_t kShadowLimit = 40;

bool isText(runtime::TypeCode type) {
    return type == runtime::TypeCode::String || type == runtime::TypeCode::CString ||
           type == runtime::TypeCode::PString;
}

std::string trimRight(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
    return std::string(s);
}

} // namespace

// ---- StepFinder --------------------------------------------------------------------------------

void StepFinder::Init(const FieldRef& freeElement, std::int32_t control, bool noCase, LocatorHost& browser) {
    FREEELEMENT = freeElement;
    CONTROL = control;
    NOCASE = noCase ? 1 : 0;
    VIEWMANAGER = &browser;
}

void StepFinder::SetFreeElement(const FieldRef& freeElement) {
    FREEELEMENT = freeElement;
}

std::string StepFinder::GetShadow() {
    return {};
}

void StepFinder::Reset() {}

void StepFinder::SetShadow(const std::string&) {}

bool StepFinder::TakeAccepted() {
    return false;
}

std::string StepFinder::freeText() const {
    const runtime::BoundVariable v = FREEELEMENT.bind();
    if (!v.data) return {};
    if (isText(v.type)) return trimRight(runtime::readTextVariable(v));
    char copy[64] = {};
    assignValue(runtime::bindCString(copy, sizeof copy), v);
    return trimRight(copy);
}

void StepFinder::setFreeText(const std::string& text) {
    const runtime::BoundVariable v = FREEELEMENT.bind();
    if (!v.data) return;
    char copy[256] = {};
    std::memcpy(copy, text.data(), std::min(text.size(), sizeof copy - 1));
    assignValue(v, runtime::bindCString(copy, sizeof copy));
}

bool StepFinder::TakeKey() {
    ui::Window* w = VIEWMANAGER ? VIEWMANAGER->LocatorWindow() : nullptr;
    if (w == nullptr || w->keyChar().empty()) return false;
    auto fold = [this](unsigned char c) { return NOCASE ? runtime::upperChar(c) : c; };
    const unsigned char typed = fold(static_cast<unsigned char>(w->keyChar()[0]));
    if (VIEWMANAGER->LocatorHasRows() && VIEWMANAGER->LocatorStepDown()) {
        const std::string now = freeText();
        // The next record starts with the letter typed: that one row down was the whole move.
        if (!now.empty() && fold(static_cast<unsigned char>(now[0])) == typed) return false;
    }
    setFreeText(std::string(1, static_cast<char>(typed)));
    return true;
}

void StepFinder::UpdateWindow() {}

// ---- EntryFinder -------------------------------------------------------------------------------

void EntryFinder::Init(const FieldRef& freeElement, std::int32_t control, bool noCase, LocatorHost& browser) {
    StepFinder::Init(freeElement, control, noCase, browser);
    UpdateWindow();
}

void EntryFinder::SetShadow(const std::string& text) {
    SHADOW = text.substr(0, kShadowLimit);
}

void EntryFinder::ShadowToFreeElement() {
    setFreeText(NOCASE ? runtime::upperText(SHADOW) : SHADOW);
}

void EntryFinder::Reset() {
    SHADOW.clear();
    clearValue(FREEELEMENT.bind());
    ShadowToFreeElement();
    UpdateWindow(); // the entry shows its variable, the free element: now empty
}

bool EntryFinder::TakeKey() {
    ui::Window* w = VIEWMANAGER ? VIEWMANAGER->LocatorWindow() : nullptr;
    if (w == nullptr || w->keyChar().empty() || CONTROL == 0 || !w->exists(CONTROL)) return false;
    ui::forwardKey(*w, CONTROL, w->keyCode(), w->keyChar());
    return false;
}

bool EntryFinder::TakeAccepted() {
    ui::Window* w = VIEWMANAGER ? VIEWMANAGER->LocatorWindow() : nullptr;
    // The entry writes what was typed into its use variable, the free element.
    if (w != nullptr && CONTROL != 0) w->update(CONTROL);
    SetShadow(freeText());
    ShadowToFreeElement();
    const runtime::BoundVariable v = FREEELEMENT.bind();
    if (!v.data) return false;
    return isText(v.type) ? !freeText().empty() : readNumber(v) != 0;
}

void EntryFinder::UpdateWindow() {
    if (ui::Window* w = VIEWMANAGER ? VIEWMANAGER->LocatorWindow() : nullptr)
        if (CONTROL != 0 && w->exists(CONTROL)) w->display(CONTROL);
}

} // namespace docket::classes
