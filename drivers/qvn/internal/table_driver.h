#pragma once
// The native driver's operations on tables, as the runtime's file statements reach them: the
// dispatcher behind the registration's entry point, and the table-level file operations (OPEN,
// CREATE, REMOVE, RENAME, COPY) that the `qvn` tool uses too.
//
// BLOB operations name the BLOB by its 1-based position in the declaration's memo list in
// `args.pointer`: BLOB_SIZE answers the length in `args.number`, BLOB_TAKE copies the bytes into
// `args.result`, BLOB_YIELD replaces them with `args.text`; BLOB_GET_PROP and BLOB_SET_PROP know the
// property "SIZE" (value in `args.result`; setting it cuts or zero-extends the BLOB).
//
// GET_PROPERTY and SET_PROPERTY take the SEND commands' names ("FLAGS", "FULLBUILD", "TCF").
#include <string>

#include "drivers/driver.h"

namespace docket::drivers::qvn {

int operate(OperationCode code, DriverFile& file, DriverArguments& args);

// The name a declaration gives its file: NAME, else the label.
std::string declaredName(const FileDeclaration& declaration);

// Copies the table named by `declaredFrom` ("path[\!table]") to `declaredTo` (replacing a table of
// that name there) under a new table number and with fresh record numbers of the target file.
int copyTable(const std::string& declaredFrom, const std::string& declaredTo, const std::string& password);
// Removes a table; the physical file goes with its last table when no one has it open here.
int removeTable(const std::string& declared, const std::string& password);

} // namespace docket::drivers::qvn
