#include "runtime/core/error_state.h"

#include <algorithm>
#include <array>
#include <iterator>

#include "platform/error.h"
#include "runtime/core/error_codes.h"
#include "runtime/core/thread_state.h"

namespace docket::runtime {
namespace {

struct ErrorEntry {
    int code;
    const char* text;
};

// The runtime's error texts, ascending by code. The trailing blank of 78 is part of the text.
#define DOCKET_RUNTIME_ERROR_ENTRY(name, number, text) {number, text},
constexpr ErrorEntry kErrors[] = {DOCKET_RUNTIME_ERRORS(DOCKET_RUNTIME_ERROR_ENTRY)};

// Texts of file system errors, keyed by 300 plus the platform code. The trailing blank of 350 is
// part of the text.
constexpr ErrorEntry kFileErrors[] = {
    {301, "Invalid Function"},
    {302, "File Not Found"},
    {303, "Path Not Found"},
    {304, "Too Many Open Files"},
    {305, "Access Denied"},
    {306, "Invalid Handle"},
    {307, "Memory Corrupted"},
    {308, "Insufficient Memory"},
    {309, "Invalid Memory Block"},
    {310, "Invalid Environment"},
    {311, "Invalid Format"},
    {312, "Invalid Access"},
    {313, "Invalid Data"},
    {315, "Invalid Drive"},
    {316, "Invalid Operation For Current Directory"},
    {317, "Not Same Device"},
    {318, "No More Files"},
    {319, "Write Protect"},
    {320, "Invalid Unit"},
    {321, "Device Not Ready"},
    {322, "Invalid Command"},
    {323, "Media Checksum Failed"},
    {324, "Invalid Length"},
    {325, "Seek Location Inaccessible"},
    {326, "Not DOS Disk"},
    {327, "Sector Not Found"},
    {328, "Out Of Paper"},
    {329, "Write Fault"},
    {330, "Read Fault"},
    {331, "General Failure"},
    {332, "Sharing Violation"},
    {333, "Lock Violation"},
    {334, "Wrong Disk"},
    {335, "FCB Unavailable"},
    {336, "Sharing Buffer Exceeded"},
    {337, "Code Page Mismatched"},
    {338, "Handle EOF"},
    {339, "Handle Disk Full"},
    {350, "Not Supported "},
    {351, "REM Not List"},
    {352, "Duplicate Name Encountered"},
    {353, "Invalid Network Path"},
    {354, "Network Busy"},
    {355, "Device Does Not Exist"},
    {356, "Too Many Commands"},
    {357, "Adapter/Hardware Failure"},
    {358, "Invalid Network Response"},
    {359, "Unexpected Network Error"},
    {360, "Invalid REM Adapter"},
    {361, "Print Queue Full"},
    {362, "No Spool Space"},
    {363, "Print Cancelled"},
    {364, "Network Name Deleted"},
    {365, "Network Access Denied"},
    {366, "Invalid Device Type"},
    {367, "Invalid Network Name"},
    {368, "Too Many Names"},
    {369, "Too Many Sessions"},
    {370, "Sharing Paused"},
    {371, "Request Not Accepted"},
    {372, "Network Redirection Paused"},
    {380, "File Already Exists"},
    {381, "Duplicate FCB"},
    {382, "Cannot Make"},
    {383, "Fail Critical Error"},
    {384, "Out Of Structures"},
    {385, "Already Assigned"},
    {386, "Invalid Password"},
    {387, "Invalid Parameter"},
    {388, "Network Write Fault"},
    {390, "System Component Not Loaded"},
    {391, "Unknown Error"},
};

template <std::size_t N>
const char* lookup(const ErrorEntry (&table)[N], int code) {
    auto it = std::lower_bound(std::begin(table), std::end(table), code,
                               [](const ErrorEntry& e, int c) { return e.code < c; });
    return it != std::end(table) && it->code == code ? it->text : nullptr;
}

struct ThreadError {
    int code = 0;
    int fileCode = 0;
    std::string text; // set only for an error with a caller's own text
};

ThreadSlot<ThreadError> threadError;

ThreadError current() {
    const ThreadError* error = threadError.find();
    return error ? *error : ThreadError{};
}

void store(ThreadError error) { threadError.get() = std::move(error); }

} // namespace

std::string errorTextFor(int code) {
    const char* text = lookup(kErrors, code);
    return text ? text : lookup(kErrors, 81);
}

bool hasErrorText(int code) { return lookup(kErrors, code) != nullptr; }

std::string fileErrorTextFor(int platformCode) {
    if (const char* text = lookup(kFileErrors, 300 + platformCode)) return text;
    std::string system = platform::systemErrorText(platformCode);
    return system.empty() ? lookup(kFileErrors, 391) : system;
}

const int* errorCodes(int* count) {
    static const auto codes = [] {
        std::array<int, std::size(kErrors)> list{};
        for (std::size_t i = 0; i < list.size(); ++i) list[i] = kErrors[i].code;
        return list;
    }();
    *count = static_cast<int>(codes.size());
    return codes.data();
}

const int* fileErrorCodes(int* count) {
    static const auto codes = [] {
        std::array<int, std::size(kFileErrors)> list{};
        for (std::size_t i = 0; i < list.size(); ++i) list[i] = kFileErrors[i].code;
        return list;
    }();
    *count = static_cast<int>(codes.size());
    return codes.data();
}

void setError(int code) { store(ThreadError{code, 0, {}}); }

void setFileError(int platformCode) { store(ThreadError{kFileSystemError, platformCode, {}}); }

void setErrorWithText(int code, const std::string& text) { store(ThreadError{code, 0, text}); }

void clearError() { store(ThreadError{}); }

int errorCode() { return current().code; }

std::string errorText() {
    ThreadError error = current();
    if (error.code == 0) return {};
    return error.text.empty() ? errorTextFor(error.code) : error.text;
}

int fileErrorCode() { return current().fileCode; }

std::string fileErrorText() {
    ThreadError error = current();
    return error.code == kFileSystemError ? fileErrorTextFor(error.fileCode) : std::string{};
}

} // namespace docket::runtime
