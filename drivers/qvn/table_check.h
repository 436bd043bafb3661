#pragma once
// Checking the tables of a sound native file: every key entry points to an existing record, every
// record has its key entries, the counters equal the real counts, memo segments belong to records
// and declared memos, definitions parse and record lengths match. What `qvn check` adds to the
// check of the pages.
#include <string>
#include <vector>

namespace docket::drivers::qvn {

// Appends a line per problem found; the tree itself must already have been found sound.
void checkTables(const std::string& path, const std::string& password, std::vector<std::string>* problems);

} // namespace docket::drivers::qvn
