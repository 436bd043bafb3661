#pragma once
// Record buffers as views and tools see them: binding a table's fields for expressions, clearing a
// record, and copying or storing a value in a field of another type.
#include <cstdint>

#include "drivers/declaration.h"
#include "runtime/expression/bound_variable.h"

namespace docket::runtime {

using drivers::FieldDeclaration;
using drivers::FileDeclaration;

// Binds every scalar field and every MEMO of `file` in the current scope by its label
// (MEM:MEMO_ID), and also by the part of the label after its first ":" (MEMO_ID) when no other
// field or memo has that short name and no label is that name itself. Arrays, GROUPs and BLOBs
// are not bound.
void bindTableFields(const FileDeclaration& file);

// The field (1-based number) as an expression variable in the file's record buffer.
BoundVariable fieldVariable(const FileDeclaration& file, int field);

// The 1-based number of the field whose storage `data` is, 0 when none of `file`'s scalar fields.
int fieldAt(const FileDeclaration& file, const void* data);
// True when `data` lies in the record buffer or a MEMO buffer of `file`.
bool belongsTo(const FileDeclaration& file, const void* data);

// Clears a record: STRING fields (and MEMOs) to blanks, everything else to zero bytes.
void clearRecord(FileDeclaration& file);

// True for BYTE, SHORT, USHORT, LONG, ULONG, DATE and TIME.
bool isIntegerField(drivers::TypeCode type);
// Stores an integer in an integer field; false (nothing stored) when it does not fit the type.
bool storeInteger(const FieldDeclaration& field, std::uint8_t* record, std::int64_t value);

// Whether copyField can copy between fields of these declarations: the same type and size, two
// integer fields, or two string fields.
bool canCopyField(const FieldDeclaration& from, const FieldDeclaration& to);
// Copies the value of `from` in `fromRecord` to `to` in `toRecord`. An integer that does not fit
// the target stores 0.
void copyField(const FieldDeclaration& from, const std::uint8_t* fromRecord, const FieldDeclaration& to,
               std::uint8_t* toRecord);

} // namespace docket::runtime
