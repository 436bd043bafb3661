#pragma once
// kwRTF: the rich-text editor over a host window's text control.
//
// The host window declares an ordinary text control; Init hides it and puts two things in its
// place, both children of the host window: the rich-text control (ui::RichTextControl) covering
// the text control's rectangle, and above it the container window with the tool bar, the format
// bar and the ruler, as the flags ask. The container is a window of its own ("P10$RTFCONTAINER")
// whose event loop runs on a program thread (fiber) of its own, started by Init; it carries out
// the bars' commands. The host's thread calls the public operations. Both are fibers on the GUI
// thread, so they share this object without locks: only one of them runs at a time.
//
// What it owns and promises:
// - Init returns once the container has opened (OPENED 1) and then posts EditorOpenedEvent to the
//   host window itself. When the container ends without opening, Init returns false with the
//   runtime's error 95 set and everything the opening did undone (hooks and handlers removed, the
//   text control shown again, the rich-text control destroyed).
// - Events go to the window they are meant for, never to "whatever window that thread shows on
//   top": EditorOpenedEvent to the host window, the context menu's event and the editor's own
//   events to the container window. A right-click can never reach the host as "editor opened".
// - The placement follows the host's moves, sizes, maximize/restore and tab changes, and touches
//   the widgets only when their geometry or visibility really changes.
// - Close(0) asks the container to end; the closing removes every handler the editor put on the
//   host, shows the text control again and destroys the rich-text control. The destructor waits
//   for a running container to end, so the object is never freed under it. The host keeps its
//   window open until the editor object is gone (declare the editor after the window).
// - Streaming to a field never leaves a partly written field: the RTF goes into a scratch buffer
//   and is copied only when it fits in size - 1 bytes (the rest padded as the field's type
//   expects); otherwise the field and the modified flag stay and the user sees "Stream Error".
//   A failed load leaves the document as it was; files are written to a temporary file and
//   renamed over the old one, so a failed save leaves the old file whole.
// - While the editor stands on the text control, that control neither shows nor takes its use
//   variable: the field belongs to LoadFromField/SaveToField, and the hidden control's stale text
//   must never be written back over a body the editor has just saved.
// - Platform failures land in ERRORCODE/ERROR with the runtime's error 95.
#include "runtime/core/type_code.h"
#include "rtf/format_commands.h"
#include "ui/rich_text_control.h"
#include "ui/use_variable.h"

#include <QPointer>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class QWidget;

namespace docket::ui {
class Window;
}

namespace docket::rtf {

class TabRuler;

// The editor's events (user events pass between threads as they are).
inline constexpr std::uint32_t HostRelayoutRequest = 0x401;
inline constexpr std::uint32_t EditorReadyEvent = 0x406;
inline constexpr std::uint32_t FormatStateChanged = 0x5F5;
inline constexpr std::uint32_t EditorOpenedEvent = 0x5F7; // to the host window only
inline constexpr std::uint32_t ContextMenuEvent = 0x5F7;  // to the container window only

// Where the container window's definition is registered.
inline constexpr const char* kContainerModule = "kwRTF$KWRTFF~1";
inline constexpr const char* kContainerResource = "P10$RTFCONTAINER";

// Control numbers in the container window.
namespace container {
inline constexpr int ToolBar = 1, ButtonNew = 2, ButtonOpen = 3, ButtonSave = 4, ButtonPrint = 5,
                     ButtonFind = 6, ButtonCut = 7, ButtonCopy = 8, ButtonPaste = 9, ButtonUndo = 10,
                     ButtonRedo = 11, FormatBar = 12, Fonts = 13, FontSize = 14, Bold = 15, Italic = 16,
                     Underline = 17, FontColor = 18, ParaFormat = 19, AlignLeft = 20, AlignCenter = 21,
                     AlignRight = 22, Bullets = 23;
}

// Registers the container window's definition (done by Init; again changes nothing).
void registerContainerWindow();

// The record field a document is bound to: its bytes in the record buffer and its declared type
// (STRING is blank-padded, CSTRING zero-terminated, PSTRING has a length byte first).
struct FieldRef {
    char* address = nullptr;
    std::size_t size = 0;
    runtime::TypeCode type = runtime::TypeCode::String;
    bool set() const { return address != nullptr && size > 0; }
};

// Texts the user sees.
inline constexpr const char* kFileFilterOpen =
    "Rich Text Format (*.rtf)|*.RTF|Text Documents (*.txt)|*.TXT|All Documents (*.*)|*.*";
inline constexpr const char* kFileFilterSave = "Rich Text Format (*.rtf)|*.RTF|Text Documents (*.txt)|*.TXT";

class kwRTF {
public:
    kwRTF();
    virtual ~kwRTF();
    kwRTF(const kwRTF&) = delete;
    kwRTF& operator=(const kwRTF&) = delete;

    // Host's thread. True once the container has opened; false (runtime error 95) when it ended
    // without opening.
    bool Init(ui::Window* window, int textControl, bool showRuler, bool showFormatBar, bool showToolBar);
    void SetTextLimit(int limit);
    // Document streaming. True on success; on failure ERRORCODE, ERROR and the runtime's error 95
    // tell why (or the user cancelled).
    bool LoadFromField(std::size_t size, char* field, runtime::TypeCode type = runtime::TypeCode::String);
    bool SaveToField(std::size_t size, char* field, runtime::TypeCode type = runtime::TypeCode::String);
    bool LoadFromFile(const std::string& name); // blank: the open dialog
    bool SaveToFile(const std::string& name);   // blank: the save dialog
    void NewDocument();
    // ask 0: 1 when there are unsaved changes, else 0. ask 1: the save prompt: 1 saved, 0 not
    // saved, 2 cancelled (also when the save that Yes asked for failed: nothing may be dropped).
    std::uint8_t CheckModified(bool ask);
    // 1 with no editor; with askToSave the prompt's answer (nothing closes); else asks the
    // container to end and returns 1.
    std::uint8_t Close(bool askToSave);
    void FocusEditor();
    void Relayout();

    // Formatting, find, print and the context menu (rtf/editor_commands.cpp). Each does nothing
    // (or returns its "nothing done" value) when the editor has no host or no text window.
    void Cut();
    void Copy();
    void Paste();
    void PastePlain();
    void Undo();
    void Redo();
    void ToggleEffect(int style); // 700, 0x1000, 0x2000, 0x4000 or 0x800
    void AlignLeft();
    void AlignCenter();
    void AlignRight();
    void SetNumbering(int style); // 1 bullets .. 6 upper-case Roman numerals
    void NumberingOff();
    // Changes the parts not kept; with all four kept, the font dialog on the selection's font.
    void SetFont(const std::string& face, bool keepFace, int size, bool keepSize, long colour, bool keepColour,
                 int style, bool keepStyle);
    FontChoice GetSelectionFont(bool selection);
    void ApplyCharFormat(const FontChoice& font, bool asDefault);
    // The selected text, whole (no buffer to overrun); unless keepA or keepB, from..to is
    // selected first.
    QString GetSelectedText(int from, int to, bool keepA, bool keepB);
    // A click on the ruler `twips` from the text's left edge: adds or removes a stop.
    void RulerClick(int twips);
    void RefreshTabMarkers();
    // showWindow: the find window, result 0. Otherwise one search: the position found, or -1.
    long Find(const std::string& text, bool showWindow);
    // 1 printed or nothing to print, 0 cancelled or failed.
    std::uint8_t Print(const std::string& documentName, bool showDialog, bool noName);
    TabRuler* tabRuler() const;
    int screenResolution() const { return screenDpi_; }

    // The object's fields (their names are the component's own).
    long ERRORCODE = 0;
    std::string ERROR; // at most 128 characters
    ui::Window* RWINDOW = nullptr;
    ui::Window* RCONTAINER = nullptr;
    int ITXTBOX = 0;
    QPointer<ui::RichTextControl> HRTFWINDOW;
    int CTRLGROUP = 0;
    int CTRLREGION = 0;
    int TOOLBOX = 0;
    int FORMATBOX = 0;
    int CTRLTABSSTART = 0;
    std::uint8_t BSHOWTABS = 1;
    std::string SBUFFER; // the first bytes of a file read for its format
    FieldRef RFIELD;
    std::string SFILENAME;
    int ITABSHEET = 0;
    std::uint8_t BBUTTONSTATE = 1;
    std::uint8_t TBACTIVE = 0;
    std::uint8_t FBACTIVE = 0;
    int LRTFTHREAD = 0;
    std::uint8_t BSHOWONSTART = 1;
    std::uint8_t OPENED = 0;
    std::string SZFONT;
    long LFONTSIZE = 0;
    long LFONTCOLOR = 0;
    long LFONTBOLD = 0, LFONTITALIC = 0, LFONTUNDERLINE = 0, LFONTSTRIKE = 0;
    long LPARAFORMAT = 0;
    std::uint8_t BBULLETS = 0;

    // The container's height in pixels as the flags give it (0 with no bar and no ruler).
    int containerHeight() const { return containerHeight_; }
    bool containerRunning() const { return containerThread_ != 0 && !containerDone_; }

protected:
    // Installs the editor's hooks: the rich-text control's notices and the host's focus
    // forwarding. False when one cannot be installed; the opening then ends and is undone.
    virtual bool InstallHooks();
    virtual void RemoveHooks();

private:
    void EditorContainer();
    // Puts the commands, the pictures and the tab ruler on the container's bars
    // (rtf/editor_commands.cpp).
    void InstallCommands(ui::Window& container);
    bool BarCommand(int control);
    void NumberingMenu();
    void ContextMenu();
    ui::RichTextControl* NewTextWindow(QWidget* parent);
    bool OpeningSequence(ui::Window& container);
    void ReadySequence();
    void ClosingSequence();
    void UndoOpening();
    void RestoreHost();
    void LayOutBars(ui::Window& container);
    void CreateRuler(ui::Window& container);
    void SyncFormatState();
    void ShowFormatState();
    void ShowForTab();
    bool TabVisible() const;
    bool Ready() const { return RWINDOW != nullptr && HRTFWINDOW != nullptr; }
    void ReportFailure(long platformCode, const std::string& text = {});
    bool Command(int control);
    int HostInt(int control, const char* name) const;

    int containerThread_ = 0;
    bool closeAsked_ = false; // Close(0) or the destructor asked the container to end
    bool containerDone_ = false;
    int containerHeight_ = 0;
    int barHeight_ = 0;
    std::vector<int> hostHandlers_;
    std::vector<int> hookHandlers_;
    std::uint8_t textScrollH_ = 0, textScrollV_ = 0;
    std::uint8_t textWasVisible_ = 1;
    ui::UseVariable textUse_; // the text control's variable, held back while the editor stands on it
    std::string containerFont_;
    struct Lists;
    std::unique_ptr<Lists> lists_; // the format bar's font and size lists
    QPointer<TabRuler> ruler_;
    int screenDpi_ = 96;      // the screen's pixels per inch, read when the container opens
    int rulerClickTwips_ = 0; // where the last click on the ruler was
};

} // namespace docket::rtf
