#pragma once
// Thumb steps: the map between values of a sort order's free element and positions 1..100 of the
// list's scroll-bar thumb, so the thumb shows roughly where the highlighted record lies in the whole
// order and a drag jumps to a value, although the browser never reads the whole table.
//
// A TextThumbStep works through a table of 100 ascending entries: the built-in NameTable (3
// characters each) or AlphaTable (2), or, in RuntimeTable mode, 100 entries of 4 characters spaced
// evenly between the first and last values of the order (after their common ROOT), which SetBounds
// recomputes on every reset of the list. RealThumbStep and IntegerThumbStep interpolate between the
// first and last values.
//
// What stays true (the mends of this file):
// - PercentFor always gives 1..100 and ValueAt takes any position (below 1 counts as 1, above 100
//   as 100), so no arithmetic on a position can leave the thumb or index outside a table.
// - Integer bounds and the base-n numbers of the runtime table are computed in 64-bit integers or
//   doubles: (v - LOW) * 100 does not overflow for values near the ends of a LONG.
// - An empty set of sort characters (no flag for letters, digits or punctuation) falls back to the
//   letters, so a runtime table always has an alphabet to count in.
//
// Values pass as the free element's variable (a record field); the typed overloads serve tests
// and callers that hold a value of their own. Everything runs on the program thread of the list.
#include <cstdint>
#include <string>
#include <string_view>

#include "classes/data/link_field_pairs.h"

namespace docket::classes {

// Bits of CONTROLS.
namespace step_flag {
inline constexpr std::uint8_t kLetters = 1;
inline constexpr std::uint8_t kPunctuation = 2;
inline constexpr std::uint8_t kDigits = 4;
inline constexpr std::uint8_t kCaseSensitive = 8;
inline constexpr std::uint8_t kDescending = 16;
} // namespace step_flag

// Lookup modes of TextThumbStep.
inline constexpr std::uint8_t NameTable = 1;
inline constexpr std::uint8_t AlphaTable = 2;
inline constexpr std::uint8_t RuntimeTable = 3;

// The built-in step tables: 100 entries of 3 (names) and 2 (alpha) characters.
std::string_view nameStepTable();
std::string_view alphaStepTable();
// The 31 punctuation characters of a runtime table with flag 2, in their listed order (the
// percent sign twice); Windows-1252.
std::string_view stepPunctuation();

class ThumbStep {
public:
    virtual ~ThumbStep() = default;
    // In slot order.
    virtual std::uint8_t PercentFor(const runtime::BoundVariable& value) = 0;
    virtual void ValueAt(std::uint8_t position, const runtime::BoundVariable& into) = 0;
    virtual void Shutdown() {}
    virtual void SetBounds(const runtime::BoundVariable& first, const runtime::BoundVariable& last) = 0;
    virtual bool NeedsBounds() = 0;

    std::uint8_t CONTROLS = 0;

protected:
    bool descending() const { return CONTROLS & step_flag::kDescending; }
};

class TextThumbStep : public ThumbStep {
public:
    void Init(std::uint8_t lookupMode, std::uint8_t controls);

    std::uint8_t PercentFor(const runtime::BoundVariable& value) override;
    void ValueAt(std::uint8_t position, const runtime::BoundVariable& into) override;
    void Shutdown() override;
    void SetBounds(const runtime::BoundVariable& first, const runtime::BoundVariable& last) override;
    bool NeedsBounds() override { return LOOKUPMODE == RuntimeTable; }

    std::uint8_t PercentFor(std::string_view value) const;
    std::string ValueAt(int position) const;
    void SetBounds(std::string_view first, std::string_view last);

    std::uint8_t LOOKUPMODE = 0;
    std::string REF;       // 100 entries of TESTLEN characters
    std::string ROOT;      // at most 40 characters; runtime tables only
    std::string SORTCHARS; // runtime tables only, in code order
    std::uint8_t TESTLEN = 0;

private:
    std::string prepared(std::string_view value) const; // upper-cased unless case-sensitive
};

class RealThumbStep : public ThumbStep {
public:
    std::uint8_t PercentFor(const runtime::BoundVariable& value) override;
    void ValueAt(std::uint8_t position, const runtime::BoundVariable& into) override;
    void SetBounds(const runtime::BoundVariable& first, const runtime::BoundVariable& last) override;
    bool NeedsBounds() override { return true; }

    std::uint8_t PercentFor(double value) const;
    double ValueAt(int position) const;
    void SetBounds(double first, double last);

    double LOW = 0;
    double HIGH = 0;
};

class IntegerThumbStep : public ThumbStep {
public:
    std::uint8_t PercentFor(const runtime::BoundVariable& value) override;
    void ValueAt(std::uint8_t position, const runtime::BoundVariable& into) override;
    void SetBounds(const runtime::BoundVariable& first, const runtime::BoundVariable& last) override;
    bool NeedsBounds() override { return true; }

    std::uint8_t PercentFor(std::int64_t value) const;
    std::int64_t ValueAt(int position) const;
    void SetBounds(double first, double last);

    std::int32_t LOW = 0;
    std::int32_t HIGH = 0;
};

} // namespace docket::classes
