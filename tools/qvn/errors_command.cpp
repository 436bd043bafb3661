// qvn errors: the runtime's error table, one "code text" line per code.
#include <cstdio>

#include "runtime/core/error_state.h"

namespace docket::qvn_tool {

int runErrors(int, char**) {
    int count = 0;
    const int* codes = runtime::errorCodes(&count);
    for (int i = 0; i < count; ++i)
        std::printf("%3d %s\n", codes[i], runtime::errorTextFor(codes[i]).c_str());
    return 0;
}

} // namespace docket::qvn_tool
