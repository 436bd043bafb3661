// qvn format VALUE PICTURE and qvn deformat TEXT PICTURE: the picture engine from the command line.
// The picture is written with its "@" ("@n-14", "@d17"); date and time values are day and time
// numbers. The result is printed between "|" marks so blanks show; an invalid picture prints "||".
#include <cstdio>
#include <string>
#include <string_view>

#include "runtime/picture/picture.h"
#include "runtime/picture/picture_regional.h"

namespace docket::qvn_tool {
namespace {

bool readPicture(const char* command, int argc, char** argv, runtime::Picture& picture) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: qvn %s %s PICTURE\n", command,
                     std::string_view(command) == "format" ? "VALUE" : "TEXT");
        return false;
    }
    std::string_view text = argv[2];
    if (!text.empty() && text.front() == '@') text.remove_prefix(1);
    runtime::initRegionalFormats();
    picture = runtime::compilePicture(text);
    return true;
}

void printBetweenBars(const std::string& text) {
    std::fputc('|', stdout);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputs("|\n", stdout);
}

} // namespace

int runFormat(int argc, char** argv) {
    runtime::Picture picture;
    if (!readPicture("format", argc, argv, picture)) return 2;
    printBetweenBars(runtime::formatText(argv[1], picture));
    return 0;
}

int runDeformat(int argc, char** argv) {
    runtime::Picture picture;
    if (!readPicture("deformat", argc, argv, picture)) return 2;
    printBetweenBars(runtime::deformatText(argv[1], picture));
    return 0;
}

} // namespace docket::qvn_tool
