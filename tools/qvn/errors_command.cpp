// qvn errors: the runtime's error table, then the texts of file system errors (300 plus the
// platform code), one "code text" line per code.
#include <cstdio>

#include "runtime/core/error_state.h"

namespace docket::qvn_tool {

int runErrors(int, char**) {
    int count = 0;
    const int* codes = runtime::errorCodes(&count);
    for (int i = 0; i < count; ++i)
        std::printf("%3d %s\n", codes[i], runtime::errorTextFor(codes[i]).c_str());
    const int* fileCodes = runtime::fileErrorCodes(&count);
    for (int i = 0; i < count; ++i)
        std::printf("%3d %s\n", fileCodes[i], runtime::fileErrorTextFor(fileCodes[i] - 300).c_str());
    return 0;
}

} // namespace docket::qvn_tool
