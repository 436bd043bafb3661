// The rebuild of a key file on the screen: table access meets a file whose keys must be rebuilt
// (46), tells the user, and rebuilds them behind a progress window; Cancel in that window stops the
// build with 93 and the reporter says the key was not built. The file comes through a driver that
// answers the first open with 46 and hands everything else to the native driver.
#include <gtest/gtest.h>

#include <QDir>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

#include "classes/data/error_reporter.h"
#include "classes/data/table_access.h"
#include "classes/data/tests/table_test_support.h"
#include "classes/window/rebuild_progress.h"
#include "classes/window/reporter_screen.h"
#include "drivers/driver_registry.h"
#include "files/file_statements.h"
#include "runtime/core/error_codes.h"
#include "runtime/core/fatal.h"
#include "ui/scheduler.h"
#include "ui/scripted_user.h"

namespace docket::classes {
namespace {

using namespace testing;
using ui::ScriptedUser;

// Opens left to answer with 46; the native driver's entry does the rest.
int faultyOpens = 0;
drivers::DriverEntry nativeEntry = nullptr;

int keyFaultEntry(drivers::OperationCode operation, drivers::DriverFile& file,
                  drivers::DriverArguments& args) {
    if (operation == drivers::OperationCode::OPEN && faultyOpens > 0) {
        --faultyOpens;
        return runtime::error::kKeyFileMustBeRebuilt;
    }
    return nativeEntry(operation, file, args);
}

void registerKeyFaultDriver() {
    const drivers::DriverRegistration* native = drivers::findDriver("QUORVANE");
    ASSERT_NE(native, nullptr);
    nativeEntry = native->entry;
    static drivers::DriverRegistration faulty; // the registry keeps the address
    faulty = *native;
    faulty.name = drivers::fixedText<21>("KEYFAULT");
    faulty.entry = keyFaultEntry;
    drivers::registerDriver(faulty);
}

constexpr int kRecords = 300;

struct Fixture {
    Fixture() : items("ITEMS", dir.file("ITEMS.DB")) {
        items.field("ITM:ID", runtime::TypeCode::Long, 4);
        byId = &items.key("ITM:KEY_ID", drivers::key_flag::kPrimary, {1});
        EXPECT_EQ(runtime::create(items.file), 0);
        EXPECT_EQ(runtime::open(items.file), 0);
        for (int i = 1; i <= kRecords; ++i) {
            items.setLong(1, i);
            EXPECT_EQ(runtime::add(items.file), 0);
        }
        runtime::close(items.file);
        registerKeyFaultDriver();
        items.declaration.driver = "KEYFAULT";
        faultyOpens = 1;

        ScriptedUser::instance().clear();
        ScriptedUser::instance().attach();
        installReporterScreen(&reporter); // with the rebuild's progress window
        setShutdownHook([this] { ++shutdowns; });
        setHaltHandler([this](int code) { halts.push_back(code); });
    }
    ~Fixture() {
        setMessageHook(nullptr);
        runtime::setFatalHook(nullptr);
        setRebuildProgress({});
        setShutdownHook(nullptr);
        setHaltHandler(nullptr);
        ScriptedUser::instance().clear();
    }

    ScriptedUser& user() { return ScriptedUser::instance(); }

    ScratchDir dir;
    Table items;
    const drivers::KeyDeclaration* byId = nullptr;
    ErrorReporter reporter;
    int shutdowns = 0;
    std::vector<int> halts;
};

// Watches for the progress window; `cancel` presses its Cancel button. Notes the label it showed.
struct ProgressWatcher {
    explicit ProgressWatcher(bool cancel) {
        timer.setInterval(0);
        QObject::connect(&timer, &QTimer::timeout, [this, cancel] {
            QProgressDialog* dialog = openRebuildProgress();
            if (dialog == nullptr) return;
            seen = true;
            label = dialog->labelText().toStdString();
            if (!cancel || pressed) return;
            QDir().mkpath(QStringLiteral(DOCKET_SCREENSHOT_DIR));
            dialog->grab().save(QStringLiteral(DOCKET_SCREENSHOT_DIR "/rebuild-progress.png"));
            if (auto* button = dialog->findChild<QPushButton*>()) {
                button->click();
                pressed = true;
            }
        });
        timer.start();
    }
    QTimer timer;
    bool seen = false, pressed = false;
    std::string label;
};

} // namespace

TEST(RebuildProgress, KeysAreRebuiltBehindAProgressWindow) {
    Fixture f;
    ProgressWatcher watcher(false);
    f.user().answerBox(button::kOk); // "Invalid Key"
    TableAccess access;
    Severity opened = Severity::Fatal;
    std::int32_t found = 0;
    ui::startThread([&] {
        access.Init(f.items.file, f.reporter);
        opened = access.Open(true, true);
        f.items.setLong(1, 150);
        if (opened == Severity::Proceed && runtime::get(f.items.file, *f.byId) == 0)
            found = f.items.getLong(1);
        access.Close();
    });
    ASSERT_TRUE(ui::Scheduler::instance().run());
    EXPECT_TRUE(f.user().failures().empty());
    EXPECT_EQ(opened, Severity::Proceed);
    EXPECT_EQ(found, 150);
    EXPECT_TRUE(watcher.seen);
    EXPECT_TRUE(Contains(watcher.label, "Rebuilding the keys of"));
    ASSERT_EQ(f.user().shown().size(), 1u);
    EXPECT_EQ(f.user().shown()[0].caption, "Invalid Key") << f.user().shown()[0].text;
    EXPECT_EQ(openRebuildProgress(), nullptr);
    EXPECT_TRUE(f.halts.empty());
}

TEST(RebuildProgress, CancelStopsTheBuildWith93AndTheKeyIsNotBuilt) {
    Fixture f;
    ProgressWatcher watcher(true);
    f.user().answerBox(button::kOk); // "Invalid Key"
    f.user().answerBox(button::kOk); // "Key was not built", then the stop
    TableAccess access;
    Severity opened = Severity::Proceed;
    ui::startThread([&] {
        access.Init(f.items.file, f.reporter);
        opened = access.Open(true, true);
    });
    ASSERT_TRUE(ui::Scheduler::instance().run());
    EXPECT_TRUE(f.user().failures().empty());
    EXPECT_TRUE(watcher.pressed);
    EXPECT_NE(opened, Severity::Proceed);
    ASSERT_EQ(f.user().shown().size(), 2u);
    EXPECT_EQ(f.user().shown()[1].caption, "Key was not built");
    EXPECT_TRUE(Contains(f.user().shown()[1].text, "BUILD Cancelled (93)"));
    EXPECT_EQ(f.shutdowns, 1);
    EXPECT_EQ(f.halts, (std::vector<int>{1}));
    EXPECT_EQ(openRebuildProgress(), nullptr);
}

} // namespace docket::classes
