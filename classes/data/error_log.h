#pragma once
// Error logs: where the error reporter appends a line for each reported message. The text error log
// writes "QRBError.Log" in the current folder through the text driver, opening and closing the file
// around each line so that it is closed between reports.
#include <cstdint>
#include <memory>
#include <string_view>

#include "classes/data/severity.h"

namespace docket::classes {

// Operations in slot order; each gives Proceed on success and Inform on failure.
class ErrorLogSink {
public:
    virtual ~ErrorLogSink() = default;
    virtual Severity Close() = 0;
    virtual Severity Open() = 0;
    virtual Severity Write(std::string_view text) = 0;
};

inline constexpr const char* kErrorLogName = "QRBError.Log";
// A log line holds at most this many characters.
inline constexpr std::size_t kErrorLogLineLimit = 1024;

class TextErrorLog : public ErrorLogSink {
public:
    TextErrorLog();
    ~TextErrorLog() override;
    Severity Close() override;
    Severity Open() override;
    Severity Write(std::string_view text) override;

    std::int32_t USAGE = 0; // outstanding opens

private:
    struct File;
    std::unique_ptr<File> file_;
};

} // namespace docket::classes
