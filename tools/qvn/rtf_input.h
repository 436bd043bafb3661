#pragma once
// Input of the qvn commands that read RTF: a file or standard input ("-"), and the report of a
// read on standard error.
#include <string>

#include "rtf/codec/rtf_reader.h"

namespace docket::qvn_tool {

// Reads the whole file (or standard input for "-"); on failure prints "PREFIX: NAME: reason".
bool readInput(const std::string& name, std::string* bytes, const std::string& prefix);

// Prints the read's warnings or its failure ("PREFIX: NAME: reason"); false when it failed.
bool reportRead(const rtf::ReadResult& result, const std::string& name, const std::string& prefix);

} // namespace docket::qvn_tool
