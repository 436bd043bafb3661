#include "tools/qvn/rtf_input.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace docket::qvn_tool {

bool readInput(const std::string& name, std::string* bytes, const std::string& prefix) {
    std::FILE* in = name == "-" ? stdin : std::fopen(name.c_str(), "rb");
    if (!in) {
        std::fprintf(stderr, "%s: %s: %s\n", prefix.c_str(), name.c_str(), std::strerror(errno));
        return false;
    }
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;) bytes->append(buffer, n);
    const bool failed = std::ferror(in) != 0;
    const int error = errno;
    if (in != stdin) std::fclose(in);
    if (failed) {
        std::fprintf(stderr, "%s: %s: %s\n", prefix.c_str(), name.c_str(), std::strerror(error));
        return false;
    }
    return true;
}

bool reportRead(const rtf::ReadResult& result, const std::string& name, const std::string& prefix) {
    if (!result.ok) {
        std::fprintf(stderr, "%s: %s: %s\n", prefix.c_str(), name.c_str(), result.message.c_str());
        return false;
    }
    if (!result.message.empty())
        std::fprintf(stderr, "%s: %s: warning: %s\n", prefix.c_str(), name.c_str(), result.message.c_str());
    return true;
}

} // namespace docket::qvn_tool
