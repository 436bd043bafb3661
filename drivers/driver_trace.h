#pragma once
// The drivers' trace log. Both drivers run every operation through their DriverTrace, which reads
// its switches once, from the WIN.INI section of the driver ("Profile", "TraceFile", "Details"), and
// when tracing is on appends one line per operation to the trace file: the operation, the file,
// the key for key-form operations, the thread, any error and the time taken. With details on, the
// file's declaration is written before its first line in a trace file, and the record's fields
// after reads and writes. Files with ENCRYPT get details only when their driver options hold
// "ALLOWDETAILS"; an owner password is never written.
#include <cstdint>
#include <mutex>
#include <set>
#include <string>

#include "drivers/driver.h"

namespace docket::drivers {

class DriverTrace {
public:
    DriverTrace(const char* section, const char* defaultTraceFile, const char* driverName);

    // Runs one operation through `operation`, tracing it when tracing is on.
    int run(OperationCode code, DriverFile& file, DriverArguments& args, DriverEntry operation);

    // Forgets the switches so that the next operation reads them again (tests).
    void reset();

private:
    void readSwitches();
    std::string declarationText(const FileDeclaration& file) const;

    const char* section_;
    const char* defaultTraceFile_;
    const char* driverName_;
    std::mutex mutex_;
    bool switchesRead_ = false;
    bool on_ = false;
    bool details_ = false;
    std::string traceFile_;
    std::set<std::string> declared_; // "trace file\nfile label" of declarations already written
};

// The pieces of a trace line, for the drivers' tests and for anyone who writes the same format.
namespace trace_format {
// "NEXT(Memo,KeyNo[2] 1) " padded to 18 columns. The key is shown whenever the operation went
// through one: key-form operations receive it, and a driver names the key of its current order in
// DriverArguments::key for NEXT, PREVIOUS and the other operations that follow it.
// `keyNumber` numbers a key that is not one of `file`'s own (DriverArguments::keyNumber).
std::string operationColumn(OperationCode code, const FileDeclaration& file, const KeyDeclaration* key,
                            int thread, int keyNumber = 0);
// "File Error: text " for 90, "Error: text " for other non-zero codes, "" for 0.
std::string errorColumn(int result, int platformCode);
// "Time Taken: 0.05 secs\r\n"
std::string timeColumn(std::int64_t hundredths);
// One "  label             : value\r\n" line per field (the value of a GROUP is empty), and for each
// element of an array field its values separated by ", ".
std::string fieldLines(const FileDeclaration& file, const std::vector<std::int32_t>* onlyComponents);
// For each memo a "  label             : " line followed by the hex dump of its bytes in use.
std::string memoLines(const FileDeclaration& file);
// Hex dump lines of 16 bytes: "%02X " per byte, "   " per missing position, " | ", the characters.
std::string hexDump(const std::uint8_t* data, std::size_t size);
// The value of one field element as a trace writes it.
std::string fieldValue(const FieldDeclaration& field, const std::uint8_t* element);
} // namespace trace_format

} // namespace docket::drivers
