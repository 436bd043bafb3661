// qvn memo seed DIR --count N [--seed S]: adds generated memos to the memo register in DIR through
// the data dictionary and its table access (auto-numbering, today's date primed and then replaced
// by the generated date); the ten memo types are added first when missing.
// qvn memo list DIR [--order entry|number|date] [--filter EXPR]: prints the memos with their type
// names through a view of MEMO_DB joined to MEMO_JENIS.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "app/dictionary.h"
#include "classes/data/message_hook.h"
#include "runtime/core/error_state.h"
#include "runtime/expression/picture_functions.h"
#include "files/file_statements.h"
#include "files/view.h"
#include "tools/qvn/memo_generator.h"
#include "runtime/core/error_codes.h"

namespace docket::qvn_tool {

namespace {

using app::JEN;
using app::MEM;
using classes::kReport;
using classes::Severity;

// Messages of the table access reach the terminal. Nobody at a terminal can mend what a question
// is about before it is asked again, so a question is answered No (or Cancel) where it offers it:
// its default, "Try Again?" after a failed add, asked the same question for ever over a file that
// fails every time.
struct TerminalMessages {
    TerminalMessages() {
        previous = classes::setMessageHook([](const classes::MessageRequest& r) {
            std::fprintf(stderr, "qvn memo: %s: %s\n", r.title.c_str(), r.text.c_str());
            if (r.buttons & classes::button::kNo) return classes::button::kNo;
            if (r.buttons & classes::button::kCancel) return classes::button::kCancel;
            return r.defaultButton;
        });
    }
    ~TerminalMessages() { classes::setMessageHook(std::move(previous)); }
    classes::MessageHook previous;
};

// The dictionary's objects over the register in one folder, for one command.
struct Register {
    explicit Register(const std::string& folder) {
        app::setDataFolder(folder);
        app::dictionaryStartup(reporter);
    }
    ~Register() {
        app::dictionaryShutdown();
        app::setDataFolder("");
    }
    TerminalMessages messages;
    classes::ErrorReporter reporter;
};

void copyText(char* field, std::size_t size, const std::string& text) {
    std::memset(field, 0, size);
    std::memcpy(field, text.data(), std::min(text.size(), size - 1));
}

// The type numbers by name, adding the generator's types that are missing.
bool ensureTypes(std::map<std::string, std::int32_t>* ids) {
    auto& access = *app::JenisTableAccess;
    const auto& byName = app::jenisDeclaration().keys[app::jen_key::kKeyJenis];
    for (const char* name : memoTypeNames()) {
        copyText(JEN.JENIS_MEMO, sizeof JEN.JENIS_MEMO, name);
        if (access.ReadByKey(byName) != Severity::Proceed) {
            if (access.PrepareNewRecord(false) != Severity::Proceed) return false;
            copyText(JEN.JENIS_MEMO, sizeof JEN.JENIS_MEMO, name);
            if (access.Insert(kReport) != Severity::Proceed) return false;
        }
        (*ids)[name] = JEN.JENIS_ID;
    }
    return true;
}

int seed(const std::string& folder, long count, std::uint32_t seedValue) {
    ::mkdir(folder.c_str(), 0777);
    Register reg(folder);
    if (app::JenisRelations->Open() != Severity::Proceed || app::MemoRelations->Open() != Severity::Proceed)
        return 1;
    std::map<std::string, std::int32_t> types;
    if (!ensureTypes(&types)) return 1;

    auto& access = *app::MemoTableAccess;
    MemoGenerator generator(seedValue);
    bool batching = false;
    for (long i = 0; i < count; ++i) {
        const GeneratedMemo memo = generator.next();
        if (access.PrepareNewRecord(false) != Severity::Proceed) return 1;
        if (!batching) {
            // Thousands of small commits would each wait for the disk: the seed commits in
            // batches instead (the file is open now, after the first record's numbering).
            std::string answer;
            runtime::send(app::memoFile(), "BATCHFLUSH=ON", answer);
            batching = true;
        }
        MEM.TANGGAL_MEMO = memo.date;
        copyText(MEM.MEMO_NO, sizeof MEM.MEMO_NO, memo.number);
        copyText(MEM.PERIHAL, sizeof MEM.PERIHAL, memo.subject);
        MEM.JENIS_ID = types[memoTypeNames()[static_cast<std::size_t>(memo.type)]];
        copyText(app::MEM_ISI_MEMO, sizeof app::MEM_ISI_MEMO, memo.body);
        if (access.Insert(kReport) != Severity::Proceed) return 1;
        if ((i + 1) % 1000 == 0 || i + 1 == count)
            std::fprintf(stderr, "\rqvn memo seed: %ld of %ld memos added", i + 1, count);
    }
    if (count > 0) std::fprintf(stderr, "\n");
    std::string answer;
    if (batching && runtime::send(app::memoFile(), "BATCHFLUSH=OFF", answer) != 0) {
        std::fprintf(stderr, "qvn memo seed: the last memos could not be written: %s (%d)\n",
                     runtime::errorText().c_str(), runtime::errorCode());
        return 1;
    }
    std::uint64_t total = 0;
    runtime::records(app::memoFile(), total);
    std::printf("%s: %ld memos added, %llu in all\n", folder.c_str(), count,
                static_cast<unsigned long long>(total));
    app::MemoRelations->Close();
    app::JenisRelations->Close();
    return 0;
}

std::string display(std::int64_t number, const char* picture) {
    const std::string plain = std::to_string(number);
    std::string out;
    runtime::formatByPicture(runtime::PictureValue{true, static_cast<double>(number), plain}, picture + 1,
                             out);
    out.erase(0, out.find_first_not_of(' ')); // the columns are aligned by the listing itself
    return out;
}

int list(const std::string& folder, const std::string& order, const std::string& filter) {
    const char* orderText = order == "number" ? "MEM:MEMO_NO,-MEM:MEMO_ID"
                            : order == "date" ? "MEM:TANGGAL_MEMO,-MEM:MEMO_ID"
                                              : "-MEM:MEMO_ID";
    Register reg(folder);
    auto& memos = app::memoFile();
    auto& types = app::jenisFile();
    for (auto* file : {&memos, &types}) {
        if (runtime::open(*file, 0x40) != 0) {
            std::fprintf(stderr, "qvn memo list: %s: %s (%d)\n", file->declaration->name->c_str(),
                         runtime::errorText().c_str(), runtime::errorCode());
            return 1;
        }
    }
    app::MemoTableAccess->BindFields();
    app::JenisTableAccess->BindFields();
    runtime::ViewDeclaration declaration;
    declaration.primary = &memos;
    runtime::ViewJoin join;
    join.file = &types;
    join.key = app::jen_key::kPrimaryKey;
    join.parentFields = {app::mem_field::kJenisId};
    declaration.joins.push_back(join);
    runtime::View view(declaration);
    if (view.open(0x40) != 0 || view.setOrder(orderText) != 0) {
        std::fprintf(stderr, "qvn memo list: the view cannot be opened: %s (%d)\n",
                     runtime::errorText().c_str(), runtime::errorCode());
        return 1;
    }
    if (!filter.empty() && view.setFilter(filter) != 0) {
        std::fprintf(stderr, "qvn memo list: the filter does not compile: %s\n", filter.c_str());
        return 2;
    }
    std::printf("%8s  %-10s  %-20s  %-16s  %s\n", "Entry", "Date", "Memo number", "Type", "Subject");
    view.set();
    long shown = 0;
    int rc = 0;
    while ((rc = view.next()) == 0) {
        std::printf("%8s  %-10s  %-20s  %-16s  %s\n", display(MEM.MEMO_ID, app::memoPicture(1)).c_str(),
                    display(MEM.TANGGAL_MEMO, app::memoPicture(2)).c_str(), MEM.MEMO_NO, JEN.JENIS_MEMO,
                    MEM.PERIHAL);
        ++shown;
    }
    if (rc != runtime::error::kRecordNotAvailable) {
        std::fprintf(stderr, "qvn memo list: reading stopped: %s (%d)\n", runtime::errorText().c_str(), rc);
        return 1;
    }
    std::printf("%ld memos\n", shown);
    view.close();
    runtime::close(types);
    runtime::close(memos);
    return 0;
}

int usage() {
    std::fprintf(stderr, "usage: qvn memo seed DIR --count N [--seed S]\n"
                         "       qvn memo list DIR [--order entry|number|date] [--filter EXPR]\n"
                         "       qvn memo show DIR ID [--text|--rtf]\n");
    return 2;
}

} // namespace

int runMemoShow(int argc, char** argv); // memo_show_command.cpp

int runMemo(int argc, char** argv) {
    if (argc < 3) return usage();
    const std::string action = argv[1], folder = argv[2];
    if (action == "show") return runMemoShow(argc, argv);
    if (action == "seed") {
        long count = -1;
        std::uint32_t seedValue = 1;
        for (int i = 3; i < argc; ++i) {
            char* end = nullptr;
            if (std::strcmp(argv[i], "--count") == 0 && i + 1 < argc) {
                count = std::strtol(argv[++i], &end, 10);
                if (*end || count < 0) return usage();
            } else if (std::strcmp(argv[i], "--seed") == 0 && i + 1 < argc) {
                seedValue = static_cast<std::uint32_t>(std::strtoul(argv[++i], &end, 10));
                if (*end) return usage();
            } else {
                return usage();
            }
        }
        if (count < 0) return usage();
        return seed(folder, count, seedValue);
    }
    if (action == "list") {
        std::string order = "entry", filter;
        for (int i = 3; i < argc; ++i) {
            if (std::strcmp(argv[i], "--order") == 0 && i + 1 < argc)
                order = argv[++i];
            else if (std::strcmp(argv[i], "--filter") == 0 && i + 1 < argc)
                filter = argv[++i];
            else
                return usage();
        }
        if (order != "entry" && order != "number" && order != "date") return usage();
        return list(folder, order, filter);
    }
    return usage();
}

} // namespace docket::qvn_tool
