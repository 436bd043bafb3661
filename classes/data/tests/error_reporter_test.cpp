// The error reporter as its callers see it: what is shown (through a scripted message hook), what
// halts (through a fatal hook that returns), what is logged and what is kept in the history.
#include "classes/data/error_reporter.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include "drivers/driver_registry.h"
#include "platform/clock.h"
#include "runtime/core/error_state.h"
#include "runtime/core/fatal.h"
#include "runtime/core/thread_hook.h"
#include "runtime/picture/picture_regional.h"

namespace docket::classes {
namespace {

namespace fs = std::filesystem;

struct Shown {
    MessageRequest request;
    std::vector<HistoryEntry> history; // a copy of the listed history, for the history window
};

std::vector<std::uint8_t> pack(const std::vector<std::tuple<int, int, std::string, std::string>>& rs) {
    std::vector<std::uint8_t> out = {static_cast<std::uint8_t>(rs.size()), 0};
    for (const auto& [id, sev, title, text] : rs) {
        out.insert(out.end(), {static_cast<std::uint8_t>(id & 0xFF), static_cast<std::uint8_t>(id >> 8),
                               static_cast<std::uint8_t>(sev), static_cast<std::uint8_t>(title.size())});
        out.insert(out.end(), title.begin(), title.end());
        out.push_back(static_cast<std::uint8_t>(text.size()));
        out.insert(out.end(), text.begin(), text.end());
    }
    return out;
}

class Reporter : public ::testing::Test {
protected:
    std::vector<Shown> shown;
    std::deque<ButtonSet> answers; // answered in turn; the default button when none is left
    std::vector<std::string> halts;
    std::vector<std::vector<std::uint8_t>> tables; // kept alive for the reporter's life
    fs::path dir;
    fs::path oldDir;
    std::unique_ptr<ErrorReporter> reporter;

    void SetUp() override {
        setMessageHook([this](const MessageRequest& r) {
            shown.push_back({r, r.history ? *r.history : std::vector<HistoryEntry>{}});
            if (answers.empty()) return r.defaultButton;
            ButtonSet b = answers.front();
            answers.pop_front();
            return b;
        });
        runtime::setFatalHook([this](const std::string& m) { halts.push_back(m); });
        oldDir = fs::current_path();
        dir = fs::temp_directory_path() / ("docket-reporter-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        fs::current_path(dir);
        platform::LocalDateTime now;
        now.year = 2024, now.month = 3, now.day = 7, now.hour = 9, now.minute = 5, now.second = 3;
        now.hundredths = 27;
        platform::setLocalNowOverride(&now);
        runtime::setRegionalFormats(runtime::RegionalFormats{});
        runtime::clearError();
        reporter = std::make_unique<ErrorReporter>();
    }
    void TearDown() override {
        reporter.reset();
        setMessageHook({});
        runtime::setFatalHook({});
        platform::setLocalNowOverride(nullptr);
        runtime::setThreadNumberHook(nullptr);
        runtime::clearError();
        fs::current_path(oldDir);
        fs::remove_all(dir);
    }
    void add(const std::vector<std::tuple<int, int, std::string, std::string>>& rs) {
        tables.push_back(pack(rs));
        reporter->AddMessageTable(tables.back());
    }
    std::string log() {
        std::ifstream in(dir / kErrorLogName, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    // `text` expanded, as the text of a message in a table of its own.
    std::string expand(const std::string& text) {
        add({{500, 5, "T", text}});
        EXPECT_TRUE(reporter->Find(500));
        return reporter->ExpandText();
    }
};

TEST_F(Reporter, FatalFileAccessShowsThenHalts) {
    reporter->SetFileName("MEMO.DB");
    runtime::setError(2);
    EXPECT_EQ(reporter->Raise(23), Severity::Fatal);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(
        shown[0].request.text,
        "File (MEMO.DB) could not be opened.  Error: File Not Found (2).  Press OK to end this application");
    EXPECT_EQ(shown[0].request.title, "File Access Error");
    EXPECT_EQ(shown[0].request.icon, 4);
    EXPECT_EQ(shown[0].request.buttons, button::kOk);
    EXPECT_EQ(shown[0].request.defaultButton, button::kOk);
    EXPECT_EQ(halts, std::vector<std::string>{"File Access Error"});

    // A ProgramFault and an unknown severity halt the same way; Proceed shows nothing.
    add({{600, 9, "Odd", "odd"}, {601, 0, "Quiet", "quiet"}});
    EXPECT_EQ(reporter->Raise(601), Severity::Proceed);
    EXPECT_EQ(shown.size(), 1u);
    EXPECT_EQ(reporter->Raise(39), Severity::Fatal);
    EXPECT_EQ(reporter->Raise(600), Severity::Fatal);
    EXPECT_EQ(halts.size(), 3u);
    EXPECT_EQ(shown.back().request.text, "odd  Press OK to end this application");
}

TEST_F(Reporter, CapturedErrorsAndFileSystemErrors) {
    reporter->SetFileName("JENIS.DB");
    runtime::setFileError(5);
    EXPECT_EQ(reporter->Raise(1), Severity::Inform);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].request.text,
              "Error: (Access Denied (5)) attempting to access a record from the JENIS.DB "
              "file.  Returning to previous window.");

    EXPECT_EQ(expand("%ErrorCode|%Error|%FileErrorCode|%FileError|%ErrorText"),
              "90|File System Error|5|Access Denied|Access Denied (5)");
    // Without a file system error the driver's code and text are empty.
    runtime::setError(33);
    reporter->CaptureErrors();
    EXPECT_EQ(expand("%ErrorCode|%Error|%FileErrorCode|%FileError|%ErrorText"),
              "33|Record Not Available|||Record Not Available (33)");
    runtime::clearError();
    reporter->CaptureErrors();
    EXPECT_EQ(expand("[%ErrorText]"), "[ (0)]");
}

TEST_F(Reporter, PlaceholderRules) {
    reporter->SetFieldName("MEM:MEMO_NO");
    reporter->MESSAGETEXT = "msg";
    EXPECT_EQ(expand("plain text, 100% sure"), "plain text, 100% sure");
    // Unknown words, other letter case, and a bare percent sign stay as they are.
    EXPECT_EQ(expand("%Foo %file %FIELD %% %"), "%Foo %file %FIELD %% %");
    EXPECT_EQ(expand("%Field%Field,%Message"), "MEM:MEMO_NOMEM:MEMO_NO,msg");
    // A value holding its own placeholder is not expanded again within that placeholder's pass...
    reporter->SetFileName("%File!");
    EXPECT_EQ(expand("<%File>"), "<%File!>");
    // ...but a later placeholder's pass reads inserted values too.
    reporter->SetFileName("%Field");
    EXPECT_EQ(expand("<%File>"), "<MEM:MEMO_NO>");
    // A value inserted after a placeholder's pass stays as it is.
    reporter->SetFieldName("%File");
    reporter->SetFileName("F");
    EXPECT_EQ(expand("%Field"), "%File");
    // Placeholders match as substrings: a word starting with one is that one plus the rest.
    EXPECT_EQ(expand("%Filename"), "Fname");

    // %Procedure and %Category.
    reporter->NoteProcedure("UpdateMEMO_DB");
    EXPECT_EQ(expand("%Procedure/%Category"), "UpdateMEMO_DB/");
    reporter->AssignCategory(500, "Files");
    EXPECT_EQ(reporter->ExpandText(), "UpdateMEMO_DB/Files");

    // Cut to 2000, also in the middle of a value.
    reporter->MESSAGETEXT = std::string(255, 'm');
    std::string many;
    for (int i = 0; i < 10; ++i) many += "%Message";
    std::string out = expand(many);
    EXPECT_EQ(out, std::string(2000, 'm'));
    // A placeholder pushed across the limit by an earlier value is cut, not expanded; one that ends
    // inside the limit is expanded and its value cut.
    reporter->SetFileName(std::string(255, 'f'));
    reporter->MESSAGETEXT = std::string(250, 'x');
    std::string files;
    for (int i = 0; i < 7; ++i) files += "%File";
    out = expand(files + std::string(211, '.') + "%Message");
    EXPECT_EQ(out, std::string(1785, 'f') + std::string(211, '.') + "%Mes");
    out = expand(files + std::string(200, '.') + "%Message");
    EXPECT_EQ(out, std::string(1785, 'f') + std::string(200, '.') + std::string(15, 'x'));

    // Long names are cut to 255.
    reporter->SetFileName(std::string(300, 'f'));
    EXPECT_EQ(reporter->FILENAME.size(), 255u);
    reporter->RaiseText(22, std::string(300, 't'));
    EXPECT_EQ(reporter->MESSAGETEXT.size(), 255u);
}

// A value that holds its own placeholder behind other text ("x%File"): the pass goes on after the
// inserted value, so the placeholder inside it stays, and every later occurrence in the text, even
// right behind the value, is still expanded.
TEST_F(Reporter, ExpansionGoesOnAfterAnInsertedValueHoldingThePlaceholder) {
    reporter->SetFileName("x%File");
    EXPECT_EQ(expand("<%File>"), "<x%File>");
    EXPECT_EQ(expand("[%File] and [%File]"), "[x%File] and [x%File]");
    EXPECT_EQ(expand("%File%File%File"), "x%Filex%Filex%File");
    // The placeholder further into the value than the placeholder is long.
    reporter->SetFileName("MEMO.DB x%File");
    EXPECT_EQ(expand("%File, %File."), "MEMO.DB x%File, MEMO.DB x%File.");
    // A value that completes a placeholder with the text behind it: "%Fi" + "le" is not read again.
    reporter->SetFileName("%Fi");
    EXPECT_EQ(expand("%Filele %File"), "%File %Fi");
}

TEST_F(Reporter, PreviousAndLaterTablesWin) {
    add({{9, 1, "Confirm Delete", "%Previous Really?"}});
    answers = {button::kNo};
    EXPECT_EQ(reporter->Raise(9), Severity::Declined);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].request.text, "Are you sure you want to delete the highlighted record? Really?");
    EXPECT_EQ(shown[0].request.icon, 3);
    EXPECT_EQ(shown[0].request.buttons, button::kYes | button::kNo);
    EXPECT_EQ(shown[0].request.defaultButton, button::kYes);
    // The redefinition stays the current entry.
    ASSERT_NE(reporter->Current(), nullptr);
    EXPECT_EQ(reporter->Current()->MESSAGE, "%Previous Really?");
    answers = {button::kYes};
    EXPECT_EQ(reporter->Raise(9), Severity::Proceed);

    // Without an earlier entry for the id, only the words remain.
    add({{700, 5, "T", "%Previous only words"}});
    reporter->Raise(700);
    EXPECT_EQ(shown.back().request.text, " only words");
    // Two redefinitions: the newest sees the one before it, not the built-in text.
    add({{700, 5, "T", "[%Previous]"}});
    reporter->Raise(700);
    EXPECT_EQ(shown.back().request.text, "[%Previous only words]");
}

TEST_F(Reporter, HistoryThresholdAndViewLevel) {
    reporter->HISTORYTHRESHOLD = 3;
    for (int i = 1; i <= 4; ++i)
        EXPECT_EQ(reporter->RaiseText(42, "n" + std::to_string(i)), Severity::Inform);
    EXPECT_TRUE(shown.empty()) << "Inform messages are only recorded below the view level";
    ASSERT_EQ(reporter->HISTORY.size(), 3u);
    EXPECT_EQ(reporter->HISTORY[0].TXT, "The following SMTP Error occurred: n2 ");
    EXPECT_EQ(reporter->HISTORY[2].TXT, "The following SMTP Error occurred: n4 ");
    EXPECT_EQ(reporter->HISTORY[2].ID, 42);
    EXPECT_EQ(reporter->HISTORY[2].CATEGORY, "QRB");

    EXPECT_EQ(reporter->Raise(10), Severity::Fatal);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].request.title, "File Creation Error");
    EXPECT_EQ(shown[0].request.icon, 4);
    EXPECT_NE(shown[0].request.history, nullptr);
    ASSERT_EQ(shown[0].history.size(), 3u);
    EXPECT_EQ(shown[0].history[0].TXT, "The following SMTP Error occurred: n3 ");
    EXPECT_EQ(shown[0].history[2].ID, 10);
    EXPECT_EQ(halts.size(), 1u);

    // Reset on view empties the history after the window; a ProgramFault opens it like a Fatal.
    reporter->HISTORYRESETONVIEW = true;
    reporter->Raise(39);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].history.size(), 3u);
    EXPECT_TRUE(reporter->HISTORY.empty());

    // Unbounded history; the view level may be any severity.
    reporter->HISTORYTHRESHOLD = -1;
    reporter->HISTORYVIEWLEVEL = 5;
    reporter->HISTORYRESETONVIEW = false;
    for (int i = 0; i < 5; ++i) reporter->Raise(22);
    EXPECT_EQ(reporter->HISTORY.size(), 5u);
    EXPECT_EQ(shown.size(), 7u);
    EXPECT_EQ(shown.back().history.size(), 5u);
    // A question below the view level is not asked: it answers its default, Yes.
    EXPECT_EQ(reporter->Raise(9), Severity::Proceed);
    EXPECT_EQ(shown.size(), 7u);

    reporter->ShowHistory();
    EXPECT_EQ(shown.back().request.title, "Errors History");
    EXPECT_EQ(shown.back().request.icon, 0);
    EXPECT_EQ(shown.back().request.buttons, 129u);
    EXPECT_EQ(shown.back().request.defaultButton, button::kOk);
    EXPECT_EQ(shown.back().history.size(), 6u);
    reporter->ClearHistory();
    EXPECT_TRUE(reporter->HISTORY.empty());
}

TEST_F(Reporter, LogsOneLinePerReport) {
    std::ofstream(dir / kErrorLogName, std::ios::binary) << "earlier\r\n";
    reporter->LOGERRORS = true;
    reporter->SetFileName("MEMO.DB");
    runtime::setError(2);
    reporter->Raise(2);
    reporter->RaiseText(13, "line\nbreak");
    EXPECT_EQ(runtime::errorCode(), 2) << "logging keeps the runtime's last error";
    EXPECT_EQ(
        log(),
        "earlier\r\n03/07/24@09:05:03 --> Could not get write access to MEMO.DB so trying read-only.\r\n"
        "03/07/24@09:05:03 --> Adding this record creates a duplicate entry for the key: line "
        "break\r\n");
    EXPECT_EQ(reporter->STDERRORLOG->USAGE, 0);

    // Confirm neither logs nor records history; SILENT still logs and records but shows nothing.
    reporter->HISTORYTHRESHOLD = -1;
    answers = {button::kNo};
    EXPECT_EQ(reporter->Confirm(35, 70, button::kCancel), button::kNo);
    EXPECT_EQ(shown.back().request.title, "Save Record");
    EXPECT_EQ(shown.back().request.icon, 3);
    EXPECT_EQ(shown.back().request.buttons, 70u);
    EXPECT_EQ(shown.back().request.defaultButton, button::kCancel);
    EXPECT_TRUE(reporter->HISTORY.empty());
    const std::size_t before = shown.size();
    reporter->SILENT = true;
    EXPECT_EQ(reporter->Confirm(5, 6, button::kYes), button::kYes);
    EXPECT_EQ(reporter->Raise(3), Severity::Proceed);
    EXPECT_EQ(reporter->ShowHistory(), button::kOk);
    EXPECT_EQ(shown.size(), before);
    EXPECT_EQ(reporter->HISTORY.size(), 1u);
    EXPECT_NE(log().find("--> This record has been added"), std::string::npos);
}

TEST_F(Reporter, LogFailureDoesNotStopTheReport) {
    fs::create_directory(dir / kErrorLogName); // a folder where the log file should be
    reporter->LOGERRORS = true;
    runtime::setError(35);
    EXPECT_EQ(reporter->Raise(22), Severity::Inform);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].request.text, "There are no records available to process.");
    EXPECT_EQ(reporter->STDERRORLOG->USAGE, 0);
    EXPECT_EQ(runtime::errorCode(), 35);

    // The log's own use count.
    TextErrorLog textLog;
    EXPECT_EQ(textLog.Write("x"), Severity::Inform);
    EXPECT_EQ(textLog.Close(), Severity::Inform) << "a close without an open";
    EXPECT_EQ(textLog.USAGE, 0);
    EXPECT_EQ(textLog.Open(), Severity::Inform);
    EXPECT_EQ(textLog.USAGE, 0);
    fs::remove(dir / kErrorLogName);
    EXPECT_EQ(textLog.Open(), Severity::Proceed);
    EXPECT_EQ(textLog.Open(), Severity::Proceed);
    EXPECT_EQ(textLog.Write(std::string(1500, 'y')), Severity::Proceed);
    EXPECT_EQ(textLog.Close(), Severity::Proceed);
    EXPECT_EQ(textLog.Write("z"), Severity::Proceed) << "still open at usage 1";
    EXPECT_EQ(textLog.Close(), Severity::Proceed);
    EXPECT_EQ(textLog.USAGE, 0);
    EXPECT_EQ(log(), std::string(1024, 'y') + "\r\nz\r\n");
}

TEST_F(Reporter, CategoriesAndUnknownIds) {
    EXPECT_EQ(reporter->CategoryOf(1), "QRB");
    EXPECT_EQ(reporter->CategoryOf(999), "QRB");
    reporter->AssignCategory(kAllMessages, "Docket");
    reporter->AssignCategory(1, "Files");
    reporter->AssignCategory(999, "Nowhere");
    EXPECT_EQ(reporter->CategoryOf(1), "Files");
    EXPECT_EQ(reporter->CategoryOf(2), "Docket");
    EXPECT_EQ(reporter->CategoryOf(999), "Docket");
    EXPECT_EQ(reporter->CategoryOf(kAllMessages), "Docket");
    reporter->AssignCategory(2, "");
    EXPECT_EQ(reporter->CategoryOf(2), "Docket");

    // An id in no table is told to the user as an Inform message; nothing halts.
    reporter->HISTORYTHRESHOLD = -1;
    reporter->HISTORYVIEWLEVEL = 5;
    EXPECT_EQ(reporter->Raise(999), Severity::Inform);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].request.text, "");
    ASSERT_EQ(shown[0].history.size(), 1u);
    EXPECT_EQ(shown[0].history[0].TXT, "Message 999 not found.");
    EXPECT_EQ(shown[0].history[0].ID, 999);
    EXPECT_EQ(shown[0].request.title, "Unknown Message");
    EXPECT_EQ(reporter->Current(), nullptr);
    EXPECT_EQ(reporter->ExpandText(), "");
    EXPECT_EQ(reporter->Confirm(998, 6, button::kNo), button::kNo);
    EXPECT_TRUE(halts.empty());

    // After Shutdown every id is unknown, and nothing is logged.
    reporter->LOGERRORS = true;
    reporter->Shutdown();
    EXPECT_EQ(reporter->Raise(1), Severity::Inform);
    EXPECT_FALSE(fs::exists(dir / kErrorLogName));
    reporter->Init();
    EXPECT_EQ(reporter->ERRORS.size(), 43u);
    EXPECT_EQ(reporter->Raise(22), Severity::Inform);
    EXPECT_TRUE(fs::exists(dir / kErrorLogName));
}

int fakeThread = 1;

TEST_F(Reporter, ProcedureNamesPerThread) {
    runtime::setThreadNumberHook([] { return fakeThread; });
    fakeThread = 1;
    EXPECT_EQ(reporter->CurrentProcedureName(), "");
    reporter->NoteProcedure("Main");
    reporter->NoteProcedure("UpdateMEMO_DB");
    fakeThread = 2;
    EXPECT_EQ(reporter->CurrentProcedureName(), "");
    reporter->NoteProcedure("EditorHost");
    reporter->RemoveProcedure();
    reporter->RemoveProcedure(); // nothing left for thread 2
    EXPECT_EQ(reporter->CurrentProcedureName(), "");
    reporter->NoteProcedure("EditorHost");
    fakeThread = 1;
    EXPECT_EQ(reporter->CurrentProcedureName(), "UpdateMEMO_DB");
    reporter->RemoveProcedure();
    EXPECT_EQ(reporter->CurrentProcedureName(), "Main");
    fakeThread = 2;
    EXPECT_EQ(reporter->CurrentProcedureName(), "EditorHost");
    ASSERT_EQ(reporter->PROCNAMES.size(), 2u);
    EXPECT_EQ(reporter->PROCNAMES[0].THREAD, 1);
    EXPECT_EQ(reporter->PROCNAMES[1].THREAD, 2);
}

int releasesSeen = 0;
void countRelease() {
    ++releasesSeen;
}

// A box waits for the user: the drivers first give back what they keep between reads (a list
// holds a run of reads on its file while it fills a page). No hook, no box, nothing to give back.
TEST(MessageHook, ABoxFirstHasTheDriversGiveBackTheirReaderSlots) {
    drivers::addReleaseBeforeUserWait(&countRelease);
    drivers::addReleaseBeforeUserWait(&countRelease); // once only
    MessageRequest request;
    request.defaultButton = ButtonSet(2);
    releasesSeen = 0;
    EXPECT_EQ(showMessage(request), ButtonSet(2));
    EXPECT_EQ(releasesSeen, 0);
    int seenInBox = -1;
    setMessageHook([&](const MessageRequest&) {
        seenInBox = releasesSeen;
        return ButtonSet(1);
    });
    EXPECT_EQ(showMessage(request), ButtonSet(1));
    EXPECT_EQ(seenInBox, 1);
    setMessageHook({});
}

} // namespace
} // namespace docket::classes
