// rtf-editor-demo: a memo window with the rich-text editor on the first tab of a sheet, showing a
// body with tab stops, a list, colours and several scripts. With --screenshot FILE it saves a
// picture of the window and ends; otherwise it runs until the window is closed.
#include "rtf/rtf_editor.h"
#include "ui/events.h"
#include "ui/scheduler.h"
#include "ui/window.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPixmap>
#include <QWidget>

#include <cstdio>
#include <cstring>
#include <string>

using namespace docket;

namespace {

// Controls: 1 sheet, 2 and 3 its tabs, 4 the memo text on the first tab, 5 OK, 6 Cancel.
ui::WindowDefinition memoWindow() {
    using ui::ControlType;
    ui::WindowDefinition w;
    w.caption = "Memo";
    w.width = 330;
    w.height = 230;
    w.attributes |= ui::wattr::Resizable | ui::wattr::Maximize;
    w.controls = {
        {ControlType::Sheet, "?SHEET", "", 4, 4, 322, 196},
        {ControlType::Tab, "?TAB1", "&Body", 0, 0, 0, 0, "", "", "", "", 1},
        {ControlType::Tab, "?TAB2", "&Details", 0, 0, 0, 0, "", "", "", "", 1},
        {ControlType::TextBox, "?MEM:ISI_MEMO", "", 10, 22, 310, 172, "", "", "", "", 2, ui::attr::VScroll},
        {ControlType::Button, "?OK", "&OK", 222, 208, 50, 14, "", "", "", "", 0, ui::attr::Default},
        {ControlType::Button, "?CANCEL", "Cancel", 276, 208, 50, 14},
    };
    return w;
}

const char* kBody =
    "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fnil Arial;}}{\\colortbl;\\red192\\green0\\blue0;"
    "\\red0\\green0\\blue160;}"
    "\\pard\\qc\\fs28\\b Memo 017/DIR/2024\\b0\\par"
    "\\pard\\fs20\\tx1800\\tqr\\tx5200 To:\\tab All staff\\tab 8 December 2024\\par"
    "\\pard\\tx1800 From:\\tab\\cf2 Rina Hartono\\cf0\\par"
    "\\pard\\par"
    "\\pard The budget review \\i moves\\i0  to \\b Friday\\b0 . Please bring:\\par"
    "\\pard{\\pntext\\'95\\tab}{\\*\\pn\\pnlvlblt{\\pntxtb\\'95}}\\fi-360\\li720 the figures for your "
    "section,\\par"
    "{\\pntext\\'95\\tab}{\\*\\pn\\pnlvlblt{\\pntxtb\\'95}}\\fi-360\\li720 a list of open orders.\\par"
    "\\pard\\par"
    "\\pard Costs stay under \\cf1 12 500 \\u8364?\\cf0 ; caf\\'e9 on the house. "
    "\\u1057?\\u1087?\\u1072?\\u1089?\\u1080?\\u1073?\\u1086?!\\par}";

} // namespace

int main(int argc, char** argv) {
    const char* shot = nullptr;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--screenshot") == 0) shot = argv[i + 1];
    }
    QApplication app(argc, argv);
    int status = 0;
    ui::startThread([&] {
        ui::Window window(memoWindow());
        rtf::kwRTF editor;
        if (!editor.Init(&window, 4, true, true, true)) {
            std::fprintf(stderr, "the editor did not open: %s\n", editor.ERROR.c_str());
            status = 1;
            return;
        }
        std::string field(kBody);
        field.resize(8192, ' ');
        while (window.takeEvent()) {
            const std::uint32_t e = window.event();
            if (e == rtf::EditorOpenedEvent) {
                editor.SetTextLimit(8192);
                editor.LoadFromField(field.size(), field.data());
                if (shot != nullptr) {
                    ui::yieldThread();
                    ui::yieldThread();
                    QDir().mkpath(QFileInfo(QString::fromLocal8Bit(shot)).absolutePath());
                    if (!window.widget()->grab().save(QString::fromLocal8Bit(shot), "PNG")) status = 1;
                    window.post(ui::event::CloseWindow);
                }
            } else if (e == ui::event::Accepted && (window.control() == 5 || window.control() == 6)) {
                window.post(ui::event::CloseWindow);
            } else if (e == ui::event::CloseWindow) {
                editor.Close(false);
            }
        }
    });
    if (!ui::Scheduler::instance().run()) status = 1;
    return status;
}
