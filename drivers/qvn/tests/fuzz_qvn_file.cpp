// libFuzzer target: arbitrary bytes as a native file. The check examines it, and the driver opens
// it, walks every entry, changes it and commits. Integrity stops are recorded instead of halting,
// so every damaged input must end in an error code: never a crash, a hang or a read out of bounds.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "drivers/qvn/file_check.h"
#include "drivers/qvn/qvn_file.h"
#include "runtime/core/fatal.h"

using namespace docket::drivers::qvn;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = "/tmp/fuzz-qvn-" + std::to_string(::getpid()) + ".QVN";
    static const bool hooked = [] {
        docket::runtime::setFatalHook([](const std::string&) {});
        return true;
    }();
    (void)hooked;
    if (std::FILE* out = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, out);
        std::fclose(out);
    }
    examineFile(path, {});
    std::unique_ptr<QvnFile> file;
    if (QvnFile::openPrivate(path, 0x42, {}, &file) != 0) return 0;
    if (file->beginAccess(true) != 0) return 0;
    Entry e;
    bool found = false;
    std::string key;
    for (int steps = 0; steps < 100000 && file->seekForward(key, !key.empty(), &e, &found) == 0 && found;
         ++steps)
        key = std::string(e.key());
    bool existed = false;
    if (file->replace(Entry{"fuzzkey" + std::string(300, ' '), 7}, &existed) == 0 &&
        file->erase("a", &existed) == 0)
        file->flush();
    file->endAccess();
    return 0;
}
