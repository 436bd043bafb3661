// kwRTF's start-up, container, placement and shut-down. The streaming operations are in
// rtf_streaming.cpp.
#include "rtf/rtf_editor.h"

#include "platform/error.h"
#include "rtf/bar_icons.h"
#include "rtf/text_document.h"
#include "runtime/core/error_codes.h"
#include "runtime/core/error_state.h"
#include "ui/control.h"
#include "ui/definition.h"
#include "ui/events.h"
#include "ui/modal.h"
#include "ui/scheduler.h"
#include "ui/text.h"
#include "ui/window.h"

#include <QAbstractButton>
#include <QFontDatabase>
#include <QIcon>
#include <QWidget>

#include <algorithm>
#include <exception>
#include <set>

namespace docket::rtf {

namespace ev = ui::event;

struct kwRTF::Lists {
    ui::QueueSource fonts;
    ui::QueueSource sizes;
};

namespace {

// Control types the opening compares against.
constexpr int kTypeTab = static_cast<int>(ui::ControlType::Tab);
constexpr int kTypeSheet = static_cast<int>(ui::ControlType::Sheet);

// Heights in pixels: each bar is 32 high, the ruler 24; a ruler below a bar shares 4 pixels with
// it and two bars without the ruler share one.
constexpr int kBar = 32;
constexpr int kRuler = 24;
constexpr int kRulerGroup = 20;

constexpr const char* kSizes[] = {"8", "9", "10", "11", "12", "14", "16", "18", "20", "22", "24", "26", "28", "36", "48", "72"};

ui::ControlDefinition button(const char* name, const char* tip) {
    ui::ControlDefinition d;
    d.type = ui::ControlType::Button;
    d.name = name;
    d.tip = tip;
    d.width = 14;
    d.height = 14;
    d.attributes = ui::attr::Flat | ui::attr::Skip;
    return d;
}

ui::ControlDefinition check(ui::ControlType type, const char* name, const char* tip, int parent = 0) {
    ui::ControlDefinition d = button(name, tip);
    d.type = type;
    d.parent = parent;
    return d;
}

// The icons of the bars' controls, by control number (2..23; none for the bars and the lists).
const char* iconOf(int control) {
    static const char* const kIcons[] = {
        nullptr,       nullptr,      "New.ico",   "Open.ico",    "Save.ico",     "Print.ico",
        "find.ico",    "cut.ico",    "Copy.ico",  "Paste.ico",   "undo.ico",     "redo.ico",
        nullptr,       nullptr,      nullptr,     "bold.ico",    "italic.ico",   "undrline.ico",
        "color.ico",   nullptr,      "justlft.ico", "justctr.ico", "justrt.ico", "bullets.ico"};
    return control >= 0 && control <= container::Bullets ? kIcons[control] : nullptr;
}


// Waits while the container is not finished; false when waiting is impossible (not on a program
// thread, or the stack is being unwound).
bool canWait() {
    return ui::Scheduler::instance().inProgramThread() && std::uncaught_exceptions() == 0;
}

} // namespace

void registerContainerWindow() {
    if (ui::findWindow(kContainerModule, kContainerResource) != nullptr) return;
    using ui::ControlType;
    ui::WindowDefinition w;
    w.caption = "RTF Container";
    w.width = 300;
    w.height = 50;
    w.attributes = ui::wattr::NoFrame | ui::wattr::Resizable;
    ui::ControlDefinition bar;
    bar.type = ControlType::ToolBar;
    bar.name = "?TOOLBAR";
    w.controls.push_back(bar);
    w.controls.push_back(button("?BUTTONNEW", "New"));
    w.controls.push_back(button("?BUTTONOPEN", "Open"));
    w.controls.push_back(button("?BUTTONSAVE", "Save"));
    w.controls.push_back(button("?BUTTONPRINT", "Print"));
    w.controls.push_back(button("?BUTTONFIND", "Find"));
    w.controls.push_back(button("?BUTTONCUT", "Cut"));
    w.controls.push_back(button("?BUTTONCOPY", "Copy"));
    w.controls.push_back(button("?BUTTONPASTE", "Paste"));
    w.controls.push_back(button("?BUTTONUNDO", "Undo"));
    w.controls.push_back(button("?BUTTONREDO", "Redo"));
    bar.name = "?FORMATBAR";
    w.controls.push_back(bar);
    ui::ControlDefinition fonts;
    fonts.type = ControlType::DropList;
    fonts.name = "?QFONTS";
    fonts.use = "SZFONT";
    fonts.format = "128L(2)#1#";
    fonts.tip = "Changes the font of the selection";
    fonts.attributes = ui::attr::Skip;
    w.controls.push_back(fonts);
    ui::ControlDefinition sizes = fonts;
    sizes.name = "?LDISPLAYFONTSIZE";
    sizes.use = "LFONTSIZE";
    sizes.format = "20L(2)#1#";
    sizes.tip = "Changes the font size of the selection";
    w.controls.push_back(sizes);
    w.controls.push_back(check(ControlType::Check, "?LDISPLAYFONTBOLD", "Bold"));
    w.controls.push_back(check(ControlType::Check, "?LDISPLAYFONTITALIC", "Italic"));
    w.controls.push_back(check(ControlType::Check, "?LDISPLAYFONTUNDERLINE", "Underline"));
    w.controls.push_back(button("?FONTCOLOR", "Font Color"));
    ui::ControlDefinition option;
    option.type = ControlType::Option;
    option.name = "?LDISPLAYPARAFORMAT";
    option.use = "LPARAFORMAT";
    option.attributes = ui::attr::Skip;
    w.controls.push_back(option);
    w.controls.push_back(check(ControlType::Radio, "?OPTION1:RADIO1", "Align Left", container::ParaFormat));
    w.controls.push_back(check(ControlType::Radio, "?OPTION1:RADIO2", "Center", container::ParaFormat));
    w.controls.push_back(check(ControlType::Radio, "?OPTION1:RADIO3", "Align Right", container::ParaFormat));
    w.controls.push_back(check(ControlType::Check, "?BDISPLAYBULLETS", "Bullets and Numbering"));
    w.controls[container::Bold - 1].use = "LFONTBOLD";
    w.controls[container::Italic - 1].use = "LFONTITALIC";
    w.controls[container::Underline - 1].use = "LFONTUNDERLINE";
    w.controls[container::Bullets - 1].use = "BBULLETS";
    ui::registerWindow(kContainerModule, kContainerResource, std::move(w));
}

kwRTF::kwRTF() = default;

kwRTF::~kwRTF() {
    // The container uses this object until its last step: ask it to end and wait for that.
    if (containerRunning() && canWait()) {
        closeAsked_ = true;
        if (RCONTAINER != nullptr) RCONTAINER->post(ev::CloseWindow);
        ui::Scheduler::instance().waitUntil([this] { return containerDone_; });
    }
}

int kwRTF::HostInt(int control, const char* name) const {
    return RWINDOW != nullptr ? static_cast<int>(RWINDOW->getInt(control, name)) : 0;
}

bool kwRTF::Init(ui::Window* window, int textControl, bool showRuler, bool showFormatBar, bool showToolBar) {
    registerContainerWindow();
    installRichTextCodec();
    // A second Init on a running editor would leave the first container without its object; and
    // only a program thread can wait for the container to open.
    if (containerRunning()) return false;
    if (!ui::Scheduler::instance().inProgramThread()) {
        ReportFailure(1, "The editor must be opened by a procedure");
        return false;
    }
    closeAsked_ = false;
    ERRORCODE = 0;
    ERROR.clear();
    RWINDOW = nullptr;
    RCONTAINER = nullptr;
    HRTFWINDOW = nullptr;
    CTRLGROUP = CTRLREGION = TOOLBOX = FORMATBOX = CTRLTABSSTART = ITABSHEET = LRTFTHREAD = 0;
    SBUFFER.clear();
    SFILENAME.clear();
    RFIELD = {};
    BBUTTONSTATE = BSHOWONSTART = BSHOWTABS = 1;
    OPENED = BBULLETS = 0;
    SZFONT.clear();
    LFONTSIZE = LFONTCOLOR = LFONTBOLD = LFONTITALIC = LFONTUNDERLINE = LFONTSTRIKE = LPARAFORMAT = 0;
    containerDone_ = false;
    if (window == nullptr || !window->exists(textControl)) {
        ReportFailure(6, "The editor has no text control to stand on");
        return false;
    }
    RWINDOW = window;
    ITXTBOX = textControl;
    BSHOWONSTART = static_cast<std::uint8_t>(HostInt(textControl, "Visible") != 0);
    textWasVisible_ = BSHOWONSTART;
    BSHOWTABS = showRuler ? 1 : 0;
    FBACTIVE = showFormatBar ? 1 : 0;
    TBACTIVE = showToolBar ? 1 : 0;
    // The field is the editor's from now on (see the header).
    if (ui::Control* text = RWINDOW->controlData(textControl)) {
        textUse_ = text->use;
        text->use = {};
    }
    // The rich-text control takes the text control's scroll bars over.
    textScrollH_ = static_cast<std::uint8_t>(HostInt(textControl, "HScroll") != 0);
    textScrollV_ = static_cast<std::uint8_t>(HostInt(textControl, "VScroll") != 0);
    if (textScrollH_) RWINDOW->setInt(textControl, "HScroll", 0);
    if (textScrollV_) RWINDOW->setInt(textControl, "VScroll", 0);

    containerThread_ = ui::startThread([this] { EditorContainer(); });
    ui::Scheduler::instance().waitUntil([this] { return OPENED != 0 || containerDone_; });
    if (OPENED == 0) {
        // The container ended without opening; whatever it did is undone by now.
        if (ERRORCODE == 0) ReportFailure(31, "The editor's container could not open");
        runtime::setErrorWithText(runtime::error::kServerNotFound, ERROR);
        RWINDOW = nullptr;
        return false;
    }
    // To the host window itself, not to whatever window its thread shows on top.
    RWINDOW->post(EditorOpenedEvent);
    return true;
}

void kwRTF::EditorContainer() {
    const ui::WindowDefinition* definition = ui::findWindow(kContainerModule, kContainerResource);
    if (definition == nullptr || RWINDOW == nullptr) {
        ReportFailure(2, "The editor's container window is not defined");
        UndoOpening();
        containerDone_ = true;
        return;
    }
    lists_ = std::make_unique<Lists>();
    std::string sizeText;
    ui::Bindings bindings;
    bindings.variables["SZFONT"] = ui::useText(SZFONT, 31);
    bindings.variables["LFONTSIZE"] = ui::useNumber(LFONTSIZE);
    bindings.variables["LFONTBOLD"] = ui::useNumber(LFONTBOLD);
    bindings.variables["LFONTITALIC"] = ui::useNumber(LFONTITALIC);
    bindings.variables["LFONTUNDERLINE"] = ui::useNumber(LFONTUNDERLINE);
    bindings.variables["LPARAFORMAT"] = ui::useNumber(LPARAFORMAT);
    bindings.variables["BBULLETS"] = ui::useNumber(BBULLETS);
    bindings.lists["SZFONT"] = &lists_->fonts;
    bindings.lists["LFONTSIZE"] = &lists_->sizes;
    for (const char* size : kSizes) lists_->sizes.rows.push_back({size});
    // The list of faces: each name at most 32 characters, once, in ascending order.
    std::set<std::string> faces;
    for (QString family : QFontDatabase::families()) {
        // "Name [Foundry]" is the same face from another foundry.
        if (const qsizetype bracket = family.indexOf(QLatin1String(" ["));  bracket > 0) family.truncate(bracket);
        faces.insert(ui::fromQt(family.left(32)));
    }
    for (const std::string& face : faces) lists_->fonts.rows.push_back({face});

    ui::Window container(*definition, std::move(bindings));
    QWidget* host = RWINDOW->widget();
    QWidget* box = container.widget();
    box->hide();
    const long hostPixels = RWINDOW->getInt(0, "Pixels");
    RWINDOW->setInt(0, "Pixels", 1);

    // The default character format is the text control's font.
    const std::string face = RWINDOW->get(ITXTBOX, "FontName");
    const int size = HostInt(ITXTBOX, "FontSize");
    const long colour = RWINDOW->getInt(ITXTBOX, "FontColor");
    const int style = HostInt(ITXTBOX, "FontStyle");
    long background = RWINDOW->getInt(ITXTBOX, "Background");
    if (background == -1) background = 0xFFFFFF;

    RCONTAINER = &container;
    // The container sits inside the host window, over the text control.
    box->setParent(host, Qt::Widget);
    box->raise(); // above the sheet, whose pages lie under the window's controls
    container.setInt(0, "Pixels", 1);
    TOOLBOX = container::ToolBar;
    FORMATBOX = container::FormatBar;

    // The sheet: from the text control's tab down to the sheet that holds it.
    ITABSHEET = 0;
    const int parent = HostInt(ITXTBOX, "Parent");
    if (parent != 0 && HostInt(parent, "Type") == kTypeTab) {
        int n = parent;
        while (n > RWINDOW->firstControl() && HostInt(n, "Type") != kTypeSheet) --n;
        ITABSHEET = HostInt(n, "Type") == kTypeSheet ? n : 0;
    }

    containerHeight_ = (FBACTIVE ? kBar : 0) + (TBACTIVE ? kBar : 0) + (BSHOWTABS ? kRuler : 0);
    if (BSHOWTABS && (FBACTIVE || TBACTIVE)) containerHeight_ -= 4;
    if (!BSHOWTABS && FBACTIVE && TBACTIVE) containerHeight_ -= 1;
    // Placement happens in Relayout; both widgets are children of the host window whether or not
    // the text control lies on a tab (the window system puts a tab's controls on the window and
    // shows them with their tab), so positions are the text control's own.
    box->setGeometry(HostInt(ITXTBOX, "XPos"), HostInt(ITXTBOX, "YPos"), HostInt(ITXTBOX, "Width"), containerHeight_);

    ui::RichTextControl* editor = NewTextWindow(host);
    HRTFWINDOW = editor;
    editor->setObjectName(QStringLiteral("docketRichText"));
    editor->raise();
    editor->setVisible(false);
    editor->setScrollBars(textScrollV_ != 0, textScrollH_ != 0);
    editor->setSingleLine(HostInt(ITXTBOX, "SingleLine") != 0);
    if (HostInt(ITXTBOX, "Skip") != 0) editor->setFocusPolicy(Qt::ClickFocus);
    if (HostInt(ITXTBOX, "Enabled") == 0) editor->setEnabled(false);
    if (HostInt(ITXTBOX, "ReadOnly") != 0) editor->setReadOnly(true);
    ui::CharFormat font;
    font.mask = ui::cfm::All;
    font.face = ui::toQt(face.empty() ? std::string("MS Sans Serif") : face);
    font.height = (size > 0 ? size : 8) * 20;
    if (colour == -1)
        font.effects |= ui::cfe::AutoColor;
    else
        font.color = colour;
    if ((style & 0x7FF) == 700) font.effects |= ui::cfe::Bold;
    if (style & 0x1000) font.effects |= ui::cfe::Italic;
    if (style & 0x2000) font.effects |= ui::cfe::Underline;
    if (style & 0x4000) font.effects |= ui::cfe::StrikeOut;
    editor->setCharFormat(font, ui::RichTextControl::Scope::Default);
    editor->clearDocument();
    editor->setBackgroundColor(background);
    container.setInt(0, "FontSize", 8);

    LayOutBars(container);
    CreateRuler(container);
    InstallCommands(container);
    Relayout();
    editor->setTextLimit(0);
    editor->emptyUndoBuffer();
    editor->setModified(false);
    RWINDOW->setInt(0, "Pixels", hostPixels);
    container.display();
    if (!BSHOWTABS && CTRLGROUP != 0) {
        container.setInt(CTRLGROUP, "Visible", 0);
        container.setInt(CTRLREGION, "Visible", 0);
    }

    bool open = true;
    while (open && container.takeEvent()) {
        const std::uint32_t e = container.event();
        const int control = container.control();
        if (e == ev::OpenWindow) {
            if (!OpeningSequence(container)) {
                // Undone already; the container ends without having opened.
                container.close();
                open = false;
            }
        } else if (e == ev::Accepted) {
            Command(control);
        } else if (e == ev::NewSelection && (control == container::Fonts || control == container::FontSize)) {
            if (HRTFWINDOW != nullptr) {
                ui::CharFormat f;
                if (control == container::Fonts) {
                    f.mask = ui::cfm::Face;
                    f.face = ui::toQt(SZFONT);
                } else {
                    f.mask = ui::cfm::Size;
                    f.height = static_cast<int>(LFONTSIZE) * 20;
                }
                HRTFWINDOW->setCharFormat(f, ui::RichTextControl::Scope::SelectionOrWord);
                FocusEditor();
            }
        } else if (e == HostRelayoutRequest) {
            if (RWINDOW != nullptr) RWINDOW->post(ev::Moved);
        } else if (e == EditorReadyEvent) {
            ReadySequence();
        } else if (e == FormatStateChanged) {
            ShowFormatState();
        } else if (e == ContextMenuEvent) {
            // The context menu comes with find and print; until then a right-click only focuses.
            FocusEditor();
        } else if (e == ev::Move || e == ev::Moved) {
            container.setAction(ui::Action::Skip);
        } else if (e == ev::CloseWindow && !closeAsked_) {
            // Escape in a bar asks the container window to close; the editor ends only when its
            // host says so.
            container.setAction(ui::Action::Skip);
        } else if (e == ev::CloseWindow || e == ev::CloseDown) {
            ClosingSequence();
            container.close();
            open = false;
        }
    }
    // The rich-text control goes with the container; so do the references to both windows.
    delete HRTFWINDOW.data();
    HRTFWINDOW = nullptr;
    RCONTAINER = nullptr;
    RWINDOW = nullptr;
    box->hide();
    box->setParent(nullptr);
    lists_.reset();
    containerDone_ = true;
}

void kwRTF::LayOutBars(ui::Window& c) {
    const int width = std::max(HostInt(ITXTBOX, "Width"), 100);
    auto place = [&](int control, int x, int y, int w, int h) {
        c.setInt(control, "XPos", x);
        c.setInt(control, "YPos", y);
        c.setInt(control, "Width", w);
        c.setInt(control, "Height", h);
    };
    for (int n = container::ButtonNew; n <= container::Bullets; ++n) {
        const char* icon = iconOf(n);
        if (icon == nullptr) continue;
        c.set(n, "Icon", icon); // the property keeps the resource name
        if (auto* b = qobject_cast<QAbstractButton*>(c.controlWidget(n))) {
            b->setIcon(barIcon(n));
            b->setIconSize(QSize(18, 18));
        }
    }
    // The check boxes and radio buttons of the format bar look like the tool buttons beside them:
    // an icon that stays pressed while it is on.
    c.widget()->setStyleSheet(QStringLiteral(
        "QCheckBox, QRadioButton { padding: 2px; spacing: 0px; border: 1px solid transparent; border-radius: 3px; }"
        "QCheckBox::indicator, QRadioButton::indicator { image: none; border: none; width: 0px; height: 0px; }"
        "QCheckBox:checked, QRadioButton:checked { background: palette(midlight); border-color: palette(mid); }"
        "QCheckBox:hover, QRadioButton:hover { border-color: palette(mid); }"
        "QGroupBox { border: none; margin: 0px; padding: 0px; }"));
    // The tool bar on top; the format bar below it, or in its place when it is hidden.
    place(container::ToolBar, 0, 0, width, kBar - 2);
    for (int n = container::ButtonNew; n <= container::ButtonRedo; ++n)
        place(n, 4 + (n - container::ButtonNew) * 26 + ((n >= container::ButtonCut) ? 8 : 0), 3, 24, 24);
    const int y = TBACTIVE ? kBar : 0;
    place(container::FormatBar, 0, y, width, kBar - 2);
    place(container::Fonts, 4, y + 4, 160, 22);
    place(container::FontSize, 168, y + 4, 52, 22);
    for (int n = container::Bold; n <= container::Underline; ++n) place(n, 226 + (n - container::Bold) * 26, y + 3, 24, 24);
    place(container::FontColor, 304, y + 3, 24, 24);
    place(container::ParaFormat, 332, y, 82, kBar - 2);
    for (int n = container::AlignLeft; n <= container::AlignRight; ++n)
        place(n, 334 + (n - container::AlignLeft) * 26, y + 3, 24, 24);
    place(container::Bullets, 418, y + 3, 24, 24);
    if (!TBACTIVE) {
        for (int n = container::ToolBar; n <= container::ButtonRedo; ++n) c.setInt(n, "Visible", 0);
    }
    if (!FBACTIVE) {
        for (int n = container::FormatBar; n <= container::Bullets; ++n) c.setInt(n, "Visible", 0);
    }
    barHeight_ = (TBACTIVE && FBACTIVE) ? 2 * kBar : (TBACTIVE || FBACTIVE) ? kBar : 4;
}

void kwRTF::CreateRuler(ui::Window& c) {
    const int width = std::max(HostInt(ITXTBOX, "Width"), 100);
    ui::ControlDefinition group;
    group.type = ui::ControlType::Group;
    group.attributes = ui::attr::Transparent | ui::attr::Skip;
    CTRLGROUP = c.createControl(group);
    ui::ControlDefinition region;
    region.type = ui::ControlType::Region;
    region.attributes = ui::attr::Transparent | ui::attr::Immediate;
    CTRLREGION = c.createControl(region);
    for (int n : {CTRLGROUP, CTRLREGION}) {
        c.setInt(n, "XPos", 4);
        c.setInt(n, "YPos", barHeight_);
        c.setInt(n, "Width", width - 8);
        c.setInt(n, "Height", kRulerGroup);
    }
    if (QWidget* strip = c.controlWidget(CTRLGROUP)) {
        strip->setObjectName(QStringLiteral("docketRuler"));
        strip->setStyleSheet(QStringLiteral(
            "QGroupBox#docketRuler { background: palette(base); border: 1px solid palette(mid); border-radius: 2px; }"));
    }
    // The scale and the tab-stop markers come with the ruler's commands.
    CTRLTABSSTART = c.controlCount() + 1;
}

bool kwRTF::TabVisible() const {
    if (ITABSHEET == 0 || RWINDOW == nullptr) return true;
    if (HostInt(ITABSHEET, "Visible") == 0) return false;
    const int tab = HostInt(ITXTBOX, "Parent");
    int index = 0;
    for (int n = ITABSHEET + 1; n <= tab; ++n) {
        if (RWINDOW->exists(n) && HostInt(n, "Type") == kTypeTab && HostInt(n, "Parent") == ITABSHEET) ++index;
    }
    return HostInt(ITABSHEET, "Choice") == index;
}

void kwRTF::Relayout() {
    if (!Ready()) return;
    if (!TabVisible()) return;
    const long pixels = RWINDOW->getInt(0, "Pixels");
    RWINDOW->setInt(0, "Pixels", 1);
    const int x = HostInt(ITXTBOX, "XPos"), y = HostInt(ITXTBOX, "YPos");
    const int w = HostInt(ITXTBOX, "Width"), h = HostInt(ITXTBOX, "Height");
    RWINDOW->setInt(0, "Pixels", pixels);
    const int ch = containerHeight_;
    // Only what really changed is touched: moving a widget to where it is would repaint it.
    if (RCONTAINER != nullptr && containerHeight_ > 0) {
        QWidget* box = RCONTAINER->widget();
        const QRect target(x, y, w, ch);
        if (box->geometry() != target) {
            box->setGeometry(target);
            if (CTRLGROUP != 0 && RCONTAINER->getInt(CTRLGROUP, "Width") != std::max(w - 8, 0)) {
                RCONTAINER->setInt(CTRLGROUP, "Width", std::max(w - 8, 0));
                RCONTAINER->setInt(CTRLREGION, "Width", std::max(w - 8, 0));
                RCONTAINER->setInt(TOOLBOX, "Width", w);
                RCONTAINER->setInt(FORMATBOX, "Width", w);
            }
        }
        if (OPENED && !box->isVisible()) {
            box->show();
            box->raise();
        }
    }
    const QRect editorBox(x, y + ch, w, std::max(h - ch, 0));
    if (HRTFWINDOW->geometry() != editorBox) HRTFWINDOW->setGeometry(editorBox);
    if (BSHOWONSTART && OPENED && !HRTFWINDOW->isVisible()) {
        HRTFWINDOW->show();
        HRTFWINDOW->raise();
    }
}

void kwRTF::ShowForTab() {
    if (!Ready()) return;
    const bool visible = TabVisible();
    if (!visible) {
        if (RCONTAINER != nullptr) RCONTAINER->widget()->hide();
        HRTFWINDOW->hide();
        return;
    }
    if (RCONTAINER != nullptr && containerHeight_ > 0) RCONTAINER->widget()->show();
    if (BSHOWONSTART) HRTFWINDOW->show();
    Relayout();
}

bool kwRTF::InstallHooks() {
    ui::RichTextControl* editor = HRTFWINDOW;
    if (editor == nullptr || RWINDOW == nullptr) return false;
    editor->onMouseRelease = [this](Qt::MouseButton button) {
        if (button == Qt::RightButton) {
            if (RCONTAINER != nullptr) RCONTAINER->post(ContextMenuEvent);
            FocusEditor();
        } else if (button == Qt::LeftButton) {
            SyncFormatState();
        }
    };
    // The text control's focus goes on to the editor.
    hookHandlers_.push_back(RWINDOW->addHandler(ev::Selected, ITXTBOX, [this] {
        FocusEditor();
        return ui::Action::Default;
    }));
    return true;
}

void kwRTF::RemoveHooks() {
    if (HRTFWINDOW != nullptr) HRTFWINDOW->onMouseRelease = nullptr;
    if (RWINDOW != nullptr) {
        for (int id : hookHandlers_) RWINDOW->removeHandler(id);
    }
    hookHandlers_.clear();
}

bool kwRTF::OpeningSequence(ui::Window& container) {
    RWINDOW->setInt(ITXTBOX, "Visible", 0);
    for (int n = container::ButtonNew; n <= container::Bullets; ++n) {
        if (container.getInt(n, "Type") == static_cast<int>(ui::ControlType::Button))
            container.setInt(n, "Flat", BBUTTONSTATE);
    }
    if (!InstallHooks()) {
        ui::stopBox("Can not set subclass!");
        ReportFailure(31, "Can not set subclass!");
        UndoOpening();
        return false;
    }
    const bool visible = TabVisible();
    if (ITABSHEET != 0) ShowForTab();
    if ((TBACTIVE || FBACTIVE || BSHOWTABS) && visible) container.widget()->show();
    if (BSHOWONSTART && visible) HRTFWINDOW->show();
    LRTFTHREAD = container.thread();
    container.post(EditorReadyEvent);
    OPENED = 1;
    Relayout();
    SyncFormatState();
    return true;
}

// Gives the host back what the editor took: its hooks and handlers go, and the text control is
// shown again with its scroll bars and its variable.
void kwRTF::RestoreHost() {
    RemoveHooks();
    if (RWINDOW != nullptr) {
        for (int id : hostHandlers_) RWINDOW->removeHandler(id);
        hostHandlers_.clear();
        if (RWINDOW->exists(ITXTBOX)) {
            RWINDOW->setInt(ITXTBOX, "Visible", textWasVisible_);
            if (textScrollH_) RWINDOW->setInt(ITXTBOX, "HScroll", 1);
            if (textScrollV_) RWINDOW->setInt(ITXTBOX, "VScroll", 1);
            if (ui::Control* text = RWINDOW->controlData(ITXTBOX); text != nullptr && textUse_.bound()) {
                text->use = textUse_;
                RWINDOW->display(ITXTBOX);
            }
            textUse_ = {};
        }
    }
}

void kwRTF::UndoOpening() {
    RestoreHost();
    delete HRTFWINDOW.data();
    HRTFWINDOW = nullptr;
    OPENED = 0;
}

void kwRTF::ReadySequence() {
    if (!Ready()) return;
    auto geometry = [this] {
        if (Ready()) Relayout();
        return ui::Action::Default;
    };
    for (std::uint32_t e : {ev::Moved, ev::Sized, ev::Maximized, ev::Restored, ev::GainFocus})
        hostHandlers_.push_back(RWINDOW->addHandler(e, 0, geometry));
    if (ITABSHEET != 0) {
        hostHandlers_.push_back(RWINDOW->addHandler(ev::NewSelection, ITABSHEET, [this] {
            ShowForTab();
            return ui::Action::Default;
        }));
    }
    Relayout();
    if (RWINDOW->focusControl() == ITXTBOX) RWINDOW->post(ev::Selected, ITXTBOX);
}

void kwRTF::ClosingSequence() {
    // Every handler the editor put on the host goes, the geometry ones included: the host may
    // outlive this object.
    RestoreHost();
    OPENED = 0;
}

void kwRTF::SetTextLimit(int limit) {
    if (!Ready()) return;
    HRTFWINDOW->setTextLimit(limit);
}

void kwRTF::FocusEditor() {
    if (!Ready()) return;
    HRTFWINDOW->setFocus(Qt::OtherFocusReason);
}

std::uint8_t kwRTF::Close(bool askToSave) {
    if (!Ready()) return 1;
    if (askToSave) return CheckModified(true);
    closeAsked_ = true;
    if (RCONTAINER != nullptr) RCONTAINER->post(ev::CloseWindow);
    return 1;
}

void kwRTF::SyncFormatState() {
    if (!Ready() || !FBACTIVE) return;
    const ui::CharFormat c = HRTFWINDOW->charFormat(ui::RichTextControl::Scope::Selection);
    const ui::ParaFormat p = HRTFWINDOW->paraFormat();
    bool changed = false;
    auto update = [&](auto& field, auto value) {
        if (field != value) {
            field = value;
            changed = true;
        }
    };
    update(SZFONT, ui::fromQt(c.face.left(31)));
    update(LFONTSIZE, static_cast<long>(c.height / 20));
    update(LFONTCOLOR, c.color);
    update(LFONTBOLD, static_cast<long>((c.effects & ui::cfe::Bold) ? 1 : 0));
    update(LFONTITALIC, static_cast<long>((c.effects & ui::cfe::Italic) ? 1 : 0));
    update(LFONTUNDERLINE, static_cast<long>((c.effects & ui::cfe::Underline) ? 1 : 0));
    update(LFONTSTRIKE, static_cast<long>((c.effects & ui::cfe::StrikeOut) ? 1 : 0));
    if (p.alignment == ui::align::Left) update(LPARAFORMAT, 1L);
    if (p.alignment == ui::align::Center) update(LPARAFORMAT, 2L);
    if (p.alignment == ui::align::Right) update(LPARAFORMAT, 3L);
    update(BBULLETS, static_cast<std::uint8_t>(p.numbering != 0 ? 1 : 0));
    if (changed && RCONTAINER != nullptr) RCONTAINER->post(FormatStateChanged);
}

void kwRTF::ShowFormatState() {
    if (RCONTAINER == nullptr || lists_ == nullptr) return;
    // A face the desktop lacks (the document names it) is listed too, so that the list shows it.
    auto& rows = lists_->fonts.rows;
    const std::vector<std::string> face{SZFONT};
    if (!SZFONT.empty() && std::find(rows.begin(), rows.end(), face) == rows.end())
        rows.insert(std::lower_bound(rows.begin(), rows.end(), face), face);
    RCONTAINER->display();
}

bool kwRTF::Command(int control) {
    if (!Ready()) return false;
    ui::RichTextControl* e = HRTFWINDOW;
    auto effect = [&](std::uint32_t bit) {
        ui::CharFormat now = e->charFormat(ui::RichTextControl::Scope::Selection);
        // A selection that is partly in the effect stays as it is.
        if (!(now.mask & bit)) return;
        ui::CharFormat f;
        f.mask = bit;
        f.effects = (now.effects & bit) ^ bit;
        e->setCharFormat(f, ui::RichTextControl::Scope::SelectionOrWord);
    };
    auto alignment = [&](int a) {
        ui::ParaFormat p;
        p.mask = ui::pfm::Alignment;
        p.alignment = a;
        e->setParaFormat(p);
    };
    switch (control) {
    case container::ButtonNew:
        NewDocument();
        break;
    case container::ButtonOpen:
        LoadFromFile({});
        break;
    case container::ButtonSave:
        SaveToFile(SFILENAME);
        break;
    case container::ButtonCut:
        e->cut();
        break;
    case container::ButtonCopy:
        e->copy();
        break;
    case container::ButtonPaste:
        e->paste();
        break;
    case container::ButtonUndo:
        e->undo();
        break;
    case container::ButtonRedo:
        e->redo();
        break;
    case container::Bold:
        effect(ui::cfe::Bold);
        break;
    case container::Italic:
        effect(ui::cfe::Italic);
        break;
    case container::Underline:
        effect(ui::cfe::Underline);
        break;
    case container::ParaFormat:
        if (LPARAFORMAT == 1) alignment(ui::align::Left);
        if (LPARAFORMAT == 2) alignment(ui::align::Center);
        if (LPARAFORMAT == 3) alignment(ui::align::Right);
        break;
    default:
        return false;
    }
    if (Ready()) {
        Relayout();
        SyncFormatState();
        FocusEditor();
    }
    return true;
}

void kwRTF::ReportFailure(long code, const std::string& text) {
    ERRORCODE = code;
    std::string message = text;
    if (message.empty()) message = platform::systemErrorText(static_cast<int>(code));
    if (message.empty()) message = "Unable to retrieve error message for error # " + std::to_string(code);
    if (message.size() > 128) message.resize(128);
    ERROR = message;
    runtime::setErrorWithText(runtime::error::kServerNotFound, ERROR);
}

} // namespace docket::rtf
