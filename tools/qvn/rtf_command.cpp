// qvn rtf text FILE: the words of an RTF document as UTF-8 plain text (paragraphs on lines, tabs
// kept, list items with their markers), as memo bodies are searched.
// qvn rtf write FILE: the document read and written again as docket writes RTF, to standard output.
// "-" as FILE reads standard input. Damage that leaves text to show (a file cut short) is a warning
// on standard error; bytes that are not RTF, or a file that cannot be read, end with exit code 2.
#include <cstdio>
#include <cstring>
#include <string>

#include "rtf/codec/plain_text.h"
#include "rtf/codec/rich_document.h"
#include "rtf/codec/rtf_reader.h"
#include "rtf/codec/rtf_writer.h"
#include "tools/qvn/rtf_input.h"

namespace docket::qvn_tool {

namespace {

int usage() {
    std::fprintf(stderr, "usage: qvn rtf text FILE\n"
                         "       qvn rtf write FILE\n"
                         "FILE may be - for standard input.\n");
    return 2;
}

} // namespace

int runRtf(int argc, char** argv) {
    if (argc != 3) return usage();
    const std::string action = argv[1];
    if (action != "text" && action != "write") return usage();
    const std::string prefix = "qvn rtf " + action;
    std::string bytes;
    if (!readInput(argv[2], &bytes, prefix)) return 2;
    if (action == "text") {
        rtf::PlainTextSink sink;
        const rtf::ReadResult result = rtf::readRtf(bytes, sink);
        if (!reportRead(result, argv[2], prefix)) return 2;
        std::fwrite(sink.result().data(), 1, sink.result().size(), stdout);
        if (!sink.result().empty()) std::fputc('\n', stdout);
        return 0;
    }
    rtf::RichDocument document;
    const rtf::ReadResult result = rtf::readRtf(bytes, document);
    if (!reportRead(result, argv[2], prefix)) return 2;
    const std::string out = rtf::writeRtf(document);
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}

} // namespace docket::qvn_tool
