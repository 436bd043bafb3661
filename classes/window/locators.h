#pragma once
// Locators: typing in a record list turns into a value of the current order's free element (the
// first key component that is not range-limited); the browser then positions the view at the first
// record at or after that value and refills the list.
//
// A StepFinder takes single keys: the same first letter again steps one row down, another letter
// jumps to the first record starting with it. An EntryFinder hands typed keys to its entry control
// (the user types the whole value there) and locates when that entry is accepted; SHADOW keeps
// what was typed, at most 40 characters.
//
// Mended: on a run of equal values a StepFinder's repeated letter moves exactly one row and does
// not ask the browser to locate again, which would jump back to the first record of the value.
//
// Locators are created by the window code, attached to an order of a RecordBrowser and run on the
// program thread of its window.
#include <cstdint>
#include <string>

#include "classes/data/link_field_pairs.h"

namespace docket::ui {
class Window;
}

namespace docket::classes {

// What a locator needs of its record browser.
class LocatorHost {
public:
    virtual ~LocatorHost() = default;
    virtual bool LocatorHasRows() = 0;
    // Moves the highlight one row down (reading a row when it stands on the last) and makes that
    // row's record current; false when there is no row below.
    virtual bool LocatorStepDown() = 0;
    virtual ui::Window* LocatorWindow() = 0;
};

class StepFinder {
public:
    virtual ~StepFinder() = default;
    void Init(const FieldRef& freeElement, std::int32_t control, bool noCase, LocatorHost& browser);

    // In slot order.
    virtual void SetFreeElement(const FieldRef& freeElement);
    virtual std::string GetShadow();
    virtual void Reset();
    virtual void SetShadow(const std::string& text);
    // The locator's entry control was accepted: true when the free element holds a value to locate.
    virtual bool TakeAccepted();
    // A key the browser did not handle itself (its character from the window): true when the free
    // element holds a value to locate.
    virtual bool TakeKey();
    virtual void UpdateWindow();

    LocatorHost* VIEWMANAGER = nullptr;
    std::int32_t CONTROL = 0;
    FieldRef FREEELEMENT;
    std::uint8_t NOCASE = 0;

protected:
    std::string freeText() const;
    void setFreeText(const std::string& text);
};

class EntryFinder : public StepFinder {
public:
    // As StepFinder's, then shows SHADOW in the entry control.
    void Init(const FieldRef& freeElement, std::int32_t control, bool noCase, LocatorHost& browser);

    std::string GetShadow() override { return SHADOW; }
    void Reset() override;
    void SetShadow(const std::string& text) override;
    bool TakeAccepted() override;
    bool TakeKey() override;
    void UpdateWindow() override;
    virtual void ShadowToFreeElement();

    std::string SHADOW; // at most 40 characters
};

} // namespace docket::classes
