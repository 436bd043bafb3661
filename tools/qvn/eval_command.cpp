// qvn eval [--bind NAME=VALUE]... EXPRESSION: prints the result of EVALUATE. Each --bind first
// binds a variable for the expression: a LONG when VALUE is a decimal integer that fits one,
// otherwise a STRING exactly as long as VALUE.
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>

#include "runtime/core/error_state.h"
#include "runtime/expression/expression.h"

namespace docket::qvn_tool {

int runEval(int argc, char** argv) {
    std::deque<std::int32_t> longs; // the bound storage must stay put while the expression runs
    std::deque<std::string> strings;
    const char* expression = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--bind") == 0 && i + 1 < argc) {
            const std::string binding = argv[++i];
            const std::size_t equals = binding.find('=');
            if (equals == std::string::npos || equals == 0) {
                std::fprintf(stderr, "qvn eval: --bind needs NAME=VALUE, got '%s'\n", binding.c_str());
                return 2;
            }
            const std::string name = binding.substr(0, equals);
            const std::string value = binding.substr(equals + 1);
            std::int32_t number = 0;
            const char* first = value.data();
            const char* last = first + value.size();
            const auto parsed = std::from_chars(first, last, number);
            bool ok = false;
            if (!value.empty() && parsed.ec == std::errc() && parsed.ptr == last) {
                longs.push_back(number);
                ok = runtime::bindVariable(name, runtime::bindLong(&longs.back()));
            } else {
                strings.push_back(value);
                ok = runtime::bindVariable(name,
                                           runtime::bindString(strings.back().data(), strings.back().size()));
            }
            if (!ok) {
                std::fprintf(stderr, "qvn eval: cannot bind '%s'\n", name.c_str());
                return 2;
            }
        } else if (expression == nullptr) {
            expression = argv[i];
        } else {
            std::fprintf(stderr, "usage: qvn eval [--bind NAME=VALUE]... EXPRESSION\n");
            return 2;
        }
    }
    if (expression == nullptr) {
        std::fprintf(stderr, "usage: qvn eval [--bind NAME=VALUE]... EXPRESSION\n");
        return 2;
    }
    runtime::clearError();
    const std::string result = runtime::evaluate(expression);
    if (runtime::errorCode() != 0) {
        std::fprintf(stderr, "%s\n", runtime::errorText().c_str());
        return 1;
    }
    std::fwrite(result.data(), 1, result.size(), stdout);
    std::fputc('\n', stdout);
    return 0;
}

} // namespace docket::qvn_tool
