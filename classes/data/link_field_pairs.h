#pragma once
// Field references and LinkFieldPairs.
//
// A FieldRef names where a value lives: a field of a declared table's record buffer (by the file's
// declaration and the 1-based field number, so it follows the buffer when the declaration's record
// pointer changes), or any other typed variable (a queue column, a local). LinkFieldPairs is an
// ordered list of (left, right, saved) triples: relation links (left a field of this table, right
// the related table's field, saved the linking value as it was), range limits, reset fields and
// list columns. The saved copy has the left field's type and size.
#include <cstdint>
#include <vector>

#include "drivers/declaration.h"
#include "runtime/expression/bound_variable.h"

namespace docket::classes {

using drivers::FileDeclaration;
using runtime::BoundVariable;

struct FieldRef {
    FileDeclaration* file = nullptr; // a record field: its table ...
    int field = 0;                   // ... and its number from 1
    BoundVariable variable{};        // any other variable (file null)

    static FieldRef of(FileDeclaration& file, int field) { return FieldRef{&file, field, {}}; }
    static FieldRef of(const BoundVariable& variable) { return FieldRef{nullptr, 0, variable}; }

    // Where the value lives now; a reference to nothing gives a variable without storage.
    BoundVariable bind() const;
    bool valid() const { return bind().data != nullptr; }
};

// Value operations on variables of any of the scalar types (integers, DATE, TIME, reals, decimals,
// strings). Other types (GROUPs, arrays) are copied and compared as raw bytes when the sizes agree.

// Stores the value of `from` in `to`, converting between numbers and texts as an assignment does:
// numbers are cut to integers for integer targets (0 when out of range), texts are cut or padded.
void assignValue(const BoundVariable& to, const BoundVariable& from);
// True when the two values are equal as values: numbers by value, texts without trailing blanks.
bool sameValue(const BoundVariable& a, const BoundVariable& b);
// The cleared value: STRING all blanks, everything else zero bytes.
void clearValue(const BoundVariable& v);
// The lowest (high false) or highest value the variable can hold in key order: numbers their
// type's extremes, texts all zero bytes or all 0xFF bytes.
void setExtremeValue(const BoundVariable& v, bool high);
// Numbers as a double (texts are read as numbers); storing a double into any number type.
double readNumber(const BoundVariable& v);
void writeNumber(const BoundVariable& v, double value);

class LinkFieldPairs {
public:
    struct Pair {
        FieldRef left;
        FieldRef right;
        std::vector<std::uint8_t> saved; // the left field's type and size
        BoundVariable savedVariable() const;
    };

    void AddPair(const FieldRef& left, const FieldRef& right);
    void Kill() { pairs_.clear(); }
    bool Empty() const { return pairs_.empty(); }
    std::size_t Size() const { return pairs_.size(); }
    const std::vector<Pair>& Pairs() const { return pairs_; }

    void AssignLeftToSaved();
    void AssignRightToSaved();
    void AssignSavedToLeft();
    void AssignSavedToRight();
    void AssignLeftToRight();
    void AssignRightToLeft();
    void ClearLeft();
    void ClearRight();
    // True when every pair compares equal (also for an empty list).
    bool EqualLeftSaved() const;
    bool EqualRightSaved() const;
    bool EqualLeftRight() const;

private:
    std::vector<Pair> pairs_;
};

} // namespace docket::classes
