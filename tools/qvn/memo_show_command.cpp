// qvn memo show DIR ID [--text|--rtf]: one memo's body (MEM:ISI_MEMO) from the memo register in
// DIR, found by its entry number: as plain UTF-8 text (the default) or as the RTF stored. A body
// that is not RTF is plain text in Windows-1252 and shows as such. Exit code 2 when the register
// cannot be opened, the memo does not exist, or the arguments are wrong.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/dictionary.h"
#include "classes/data/error_reporter.h"
#include "files/file_statements.h"
#include "platform/charset.h"
#include "rtf/codec/plain_text.h"
#include "rtf/codec/rtf_reader.h"
#include "runtime/core/error_state.h"
#include "tools/qvn/rtf_input.h"

namespace docket::qvn_tool {

namespace {

int usage() {
    std::fprintf(stderr, "usage: qvn memo show DIR ID [--text|--rtf]\n");
    return 2;
}

// The body as stored: up to its terminator, without the trailing blanks the field is padded with.
std::string storedBody() {
    const char* body = app::MEM_ISI_MEMO;
    std::size_t length = ::strnlen(body, app::kMemoBodySize);
    while (length > 0 && body[length - 1] == ' ') --length;
    return std::string(body, length);
}

} // namespace

int runMemoShow(int argc, char** argv) {
    // argv: memo show DIR ID [--text|--rtf]
    if (argc < 4 || argc > 5) return usage();
    const char* folder = argv[2];
    const char* number = argv[3];
    bool asRtf = false;
    if (argc == 5) {
        if (std::strcmp(argv[4], "--rtf") == 0)
            asRtf = true;
        else if (std::strcmp(argv[4], "--text") != 0)
            return usage();
    }
    char* end = nullptr;
    errno = 0;
    const long id = std::strtol(number, &end, 10);
    if (*number == '\0' || *end || errno != 0 || id < -2147483647L - 1 || id > 2147483647L) return usage();

    classes::ErrorReporter reporter;
    app::setDataFolder(folder);
    app::dictionaryStartup(reporter);
    auto& memos = app::memoFile();
    if (runtime::open(memos, 0x40) != 0) {
        std::fprintf(stderr, "qvn memo show: %s: %s (%d)\n", memos.declaration->name->c_str(),
                     runtime::errorText().c_str(), runtime::errorCode());
        app::dictionaryShutdown();
        app::setDataFolder("");
        return 2;
    }
    app::MEM.MEMO_ID = static_cast<std::int32_t>(id);
    const int rc = runtime::get(memos, app::memoDeclaration().keys[app::mem_key::kPrimaryKey]);
    std::string body;
    if (rc == 0) body = storedBody();
    runtime::close(memos);
    app::dictionaryShutdown();
    app::setDataFolder("");
    if (rc != 0) {
        std::fprintf(stderr, "qvn memo show: no memo with entry number %ld in %s (%s)\n", id, folder,
                     runtime::errorText().c_str());
        return 2;
    }
    if (asRtf) {
        std::fwrite(body.data(), 1, body.size(), stdout);
        if (!body.empty() && body.back() != '\n') std::fputc('\n', stdout);
        return 0;
    }
    std::string text;
    if (rtf::looksLikeRtf(body, true)) {
        rtf::PlainTextSink sink;
        const rtf::ReadResult result = rtf::readRtf(body, sink);
        if (!reportRead(result, "memo " + std::to_string(id), "qvn memo show")) return 2;
        text = sink.take();
    } else {
        text = platform::ansiToUtf8(body);
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    if (!text.empty()) std::fputc('\n', stdout);
    return 0;
}

} // namespace docket::qvn_tool
