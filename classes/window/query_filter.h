#pragma once
// The condition texts of query-by-example and the filter they make, apart from any window: a
// field's LOW, MIDDLE and HIGH texts read as conditions, the filter expression built from them, and
// the form the texts are kept in a saved query. No window system here, so the parsers of what a
// settings file holds can be fuzzed alone. See query_by_example.h for what the texts mean and what
// the filter promises.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace docket::classes {

struct QueryField {
    std::string dNAME;   // at most 99 characters
    std::string dTITLE;  // at most 99 characters
    std::string PICTURE; // without its "@"; starting with "S" (either case) marks a string field
    std::string QUERYSTRING;
    std::unique_ptr<std::string> LOW, MIDDLE, HIGH;
    std::uint8_t FORCEEDITPICTURE = 0;
    // For a field the filter cannot read as text: the text of the record in the buffers.
    std::function<std::string()> TEXTOF;

    bool isString() const { return !PICTURE.empty() && (PICTURE.front() == 'S' || PICTURE.front() == 's'); }
};

// One condition as GetNextCondition yields it.
struct QueryCondition {
    std::string OPERATOR; // "Contains", "Begins", or the operator characters ("=", "<>", "<=", ...)
    std::string VALUE;
    bool NOCASE = false;
};

// "*" before or after the text for Contains and Begins, "<>" for "NOT =", else the operator's own
// characters, with the operator characters the text starts with folded in: the text as it is
// stored in LOW, MIDDLE or HIGH.
std::string combineCondition(const std::string& text, const std::string& op);
// The text between apostrophes with every apostrophe doubled.
std::string quoteLiteral(const std::string& text);
// A number as the filter language reads it: digits, at most one point, an optional leading minus.
bool isPlainNumber(const std::string& text);

// The conditions of one field one at a time: pass false first, then the flag returned, while it is
// true. `out` is left blank (operator and value) when the field has no condition.
bool nextQueryCondition(const QueryField& field, QueryCondition& out, bool previousMore);
using NextCondition = std::function<bool(const QueryField&, QueryCondition&, bool)>;
// The filter of every field's conditions (fields with a text source left out), joined by " AND ".
std::string buildQueryFilter(const std::vector<QueryField>& fields,
                             const NextCondition& next = nextQueryCondition);
// QUERYSTRING: the LOW, MIDDLE and HIGH texts joined by "|" with "\\", "\|" and "\n" escapes; and
// back, always three texts (missing ones blank).
std::string encodeQueryTexts(const QueryField& field);
std::vector<std::string> decodeQueryTexts(const std::string& text);

} // namespace docket::classes
