#pragma once
// Runs a shell command line (the built qvn tool) and gives its standard output and wait status.
#include <cstdio>
#include <string>

// The tests that run the built tool find it through QVN_BINARY, which the build defines for them.
// A build that does not define it fails here instead of quietly leaving those tests out.
#ifndef QVN_BINARY
#error "QVN_BINARY (the path of the built qvn tool) must be defined for the tool's tests"
#endif

namespace docket::qvn_tool::testing {

inline std::string run(const std::string& command, int* status) {
    std::string out;
    if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
        *status = ::pclose(pipe);
    }
    return out;
}

} // namespace docket::qvn_tool::testing
