#include "drivers/ascii/internal/ascii_file.h"
#include "runtime/core/char_tables.h"

#include <cstdlib>

#include "drivers/platform_result.h"
#include "runtime/core/error_codes.h"

namespace docket::drivers::ascii {
namespace {

bool onOff(const std::string& value, bool& target) {
    std::string v = runtime::upperText(value);
    if (v == "ON" || v == "1" || v == "TRUE") return target = true, true;
    if (v == "OFF" || v == "0" || v == "FALSE") return target = false, true;
    return false;
}

} // namespace

bool AsciiOptions::apply(const std::string& command) {
    bool ok = true;
    std::size_t start = 0;
    while (start < command.size()) {
        std::size_t end = command.find_first_of("/ ", start);
        if (end == std::string::npos) end = command.size();
        std::string word = command.substr(start, end - start);
        start = end + 1;
        if (word.empty()) continue;
        std::size_t equals = word.find('=');
        std::string name = runtime::upperText(word.substr(0, equals));
        std::string value = equals == std::string::npos ? "ON" : word.substr(equals + 1);
        if (name == "CLIP")
            ok = onOff(value, clip) && ok;
        else if (name == "CTRLZISEOF")
            ok = onOff(value, ctrlZIsEof) && ok;
        else if (name == "QUICKSCAN")
            ok = onOff(value, quickScan) && ok;
        else if (name == "ENDOFRECORD") {
            std::string v = runtime::upperText(value);
            if (v == "CRLF")
                crlf = true;
            else if (v == "LF")
                crlf = false;
            else
                ok = false;
        } else if (name == "FILEBUFFERS") {
            char* rest = nullptr;
            long n = std::strtol(value.c_str(), &rest, 10);
            if (rest && *rest == '\0' && n >= 0 && n < 1'000'000)
                fileBuffers = static_cast<int>(n);
            else
                ok = false;
        }
    }
    return ok;
}

std::string AsciiOptions::value(const std::string& name) const {
    std::string n = runtime::upperText(name);
    if (n == "CLIP") return clip ? "ON" : "OFF";
    if (n == "CTRLZISEOF") return ctrlZIsEof ? "ON" : "OFF";
    if (n == "QUICKSCAN") return quickScan ? "ON" : "OFF";
    if (n == "ENDOFRECORD") return crlf ? "CRLF" : "LF";
    if (n == "FILEBUFFERS") return std::to_string(fileBuffers);
    return {};
}

int AsciiFile::readLine(std::uint64_t offset, std::string& line, std::uint64_t& following) {
    line.clear();
    char chunk[4096];
    std::uint64_t at = offset;
    bool endOfFile = false;
    while (!endOfFile) {
        std::size_t got = 0;
        if (int rc = file.readAt(at, chunk, sizeof chunk, &got)) return ioErrorFromPlatform(rc);
        if (got == 0) break;
        for (std::size_t i = 0; i < got; ++i) {
            char c = chunk[i];
            if (c == '\x1a' && options.ctrlZIsEof) {
                endOfFile = true; // nothing after a Ctrl+Z is ever read
                break;
            }
            if (c == '\n') {
                if (!line.empty() && line.back() == '\r') line.pop_back();
                following = at + i + 1;
                return 0;
            }
            line += c;
        }
        at += got;
    }
    // The last line of a file may lack its line end; an empty remainder is no record.
    if (line.empty()) return runtime::error::kRecordNotAvailable;
    following = offset + line.size();
    if (line.back() == '\r') line.pop_back();
    return 0;
}

} // namespace docket::drivers::ascii
