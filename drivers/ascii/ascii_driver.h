#pragma once
// The text driver "ASCII": one record per line, the record being its STRING fields (or GROUPs of
// them) laid out in the record buffer. Lines longer than the record are cut, shorter ones padded
// with spaces; "\n" and "\r\n" line ends are both read, "\r\n" is written (the default of the
// ENDOFRECORD option). Record pointers are the byte offset of the line in the file plus one.
//
// Options, in the driver string as "/NAME=VALUE" words or through SEND("NAME[=VALUE]"):
//   CLIP=ON|OFF        trailing blanks of a record are left out when it is written (default ON, so
//                      a log line is not padded out to its field's length)
//   ENDOFRECORD=CRLF|LF the line end written (default CRLF)
//   CTRLZISEOF=ON|OFF  a Ctrl+Z byte ends the file when reading (default ON)
//   FILEBUFFERS=n, QUICKSCAN=ON|OFF accepted and kept for SEND; reads are buffered either way.
#include "drivers/driver.h"
#include "drivers/driver_trace.h"

namespace docket::drivers::ascii {

const DriverRegistration& registration();
DriverTrace& trace();

} // namespace docket::drivers::ascii
