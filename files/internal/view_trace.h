#pragma once
// The view trace. A view reads its switches once, when it is created, from WIN.INI's section
// "KWVIEW": "Profile" (non-zero: trace the view's operations), "TraceIntoFiles" (non-zero: also
// the file operations the view performs) and "TraceFile" (default "VIEW.LOG", at most 260
// characters; empty means the default).
//
// Line format, one operation per line, ended by CR LF:
//   VIEW <operation padded to 8> <primary label> [<argument>] -> <code>[ <error text>]
// and for file operations, indented:
//   FILE <operation padded to 8> <file label> -> <code>[ <error text>]
// The argument is the order or filter text of ORDER and FILTER, the position string of RESET,
// REGET and POSITION.
#include <string>

namespace docket::runtime {

class ViewTrace {
public:
    ViewTrace();

    bool on() const { return on_; }
    bool filesOn() const { return on_ && files_; }
    const std::string& traceFile() const { return traceFile_; }

    void view(const char* operation, const std::string& table, const std::string& argument, int result);
    void file(const char* operation, const std::string& table, int result);

private:
    void write(const std::string& line);

    bool on_ = false;
    bool files_ = false;
    std::string traceFile_;
};

} // namespace docket::runtime
