#include "files/internal/view_trace.h"

#include <cstdio>

#include "platform/profile.h"
#include "runtime/core/error_state.h"

namespace docket::runtime {

namespace {

constexpr std::size_t kMaxTraceFileName = 260; // read into 261 characters with the end

std::string padded(const char* text) {
    std::string s = text;
    if (s.size() < 8) s.resize(8, ' ');
    return s;
}

std::string resultText(int result) {
    std::string s = " -> " + std::to_string(result);
    if (result) s += " " + errorTextFor(result);
    return s + "\r\n";
}

} // namespace

ViewTrace::ViewTrace() {
    on_ = platform::readProfileInt("KWVIEW", "Profile", 0, "WIN.INI") != 0;
    if (!on_) return;
    files_ = platform::readProfileInt("KWVIEW", "TraceIntoFiles", 0, "WIN.INI") != 0;
    traceFile_ = platform::readProfileString("KWVIEW", "TraceFile", "VIEW.LOG", "WIN.INI");
    if (traceFile_.size() > kMaxTraceFileName) traceFile_.resize(kMaxTraceFileName);
    if (traceFile_.empty()) traceFile_ = "VIEW.LOG";
}

void ViewTrace::view(const char* operation, const std::string& table, const std::string& argument,
                     int result) {
    if (!on_) return;
    std::string line = "VIEW " + padded(operation) + " " + table;
    if (!argument.empty()) line += " " + argument;
    write(line + resultText(result));
}

void ViewTrace::file(const char* operation, const std::string& table, int result) {
    if (!filesOn()) return;
    write("  FILE " + padded(operation) + " " + table + resultText(result));
}

void ViewTrace::write(const std::string& line) {
    // A trace that cannot be written is dropped: tracing never changes what the view does.
    if (std::FILE* out = std::fopen(traceFile_.c_str(), "ab")) {
        std::fwrite(line.data(), 1, line.size(), out);
        std::fclose(out);
    }
}

} // namespace docket::runtime
