#pragma once
// The text driver's state for one open file: the platform file, the read position and the
// options.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "drivers/driver.h"
#include "platform/file.h"

namespace docket::drivers::ascii {

struct AsciiOptions {
    bool clip = true;
    bool crlf = true;
    bool ctrlZIsEof = true;
    bool quickScan = false;
    int fileBuffers = 0;

    // Reads "/NAME=VALUE" words; unknown words are ignored. Returns false for a value it cannot read.
    bool apply(const std::string& command);
    // "ON"/"OFF" or the number for an option's name; empty for an unknown name.
    std::string value(const std::string& name) const;
};

class AsciiFile final : public DriverFileState {
public:
    platform::File file;
    std::string path;
    AsciiOptions options;
    bool oem = false;
    std::uint64_t next = 0;    // offset of the next line that NEXT reads
    std::uint64_t current = 0; // pointer of the record last read or written, 0 for none
    std::uint32_t currentLength = 0; // its line's length without the line end
    bool atEnd = false;
    std::map<std::uint64_t, std::pair<std::uint64_t, std::uint64_t>> states; // GETSTATE saves
    std::uint64_t nextState = 1;

    // Reads the line that starts at `offset` into `line`; `following` is the offset after its line
    // end. Returns 33 at the end of the file, 90 for a failed read.
    int readLine(std::uint64_t offset, std::string& line, std::uint64_t& following);
};

} // namespace docket::drivers::ascii
