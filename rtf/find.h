#pragma once
// Finding text in the editor: once without a window (the program's own search), or through the
// find window ("Find": the text, whole words, direction, case) that stays open for the next
// search until the user cancels it.
//
// The find values are program-wide and kept between searches, so the window opens with the
// previous search's text, options and direction (Down the first time). Each search starts at the
// selection: down from its end, up from its start, so repeated presses walk through every
// occurrence and then report "not found" (a beep and the box "Search": "<text>" not found.);
// the selection stays where it was when nothing is found.
//
// The window runs its event loop on the calling program thread (the editor's container).
#include "ui/rich_text_control.h"

#include <functional>
#include <string>

namespace docket::rtf {

struct FindValues {
    std::string SEARCHSTRING; // Windows-1252, at most 255 characters
    long WHOLEWORDS = 0;
    long CASESENSITIVE = 0;
    long BDIRECTION = 1; // 0 up, 1 down
};
FindValues& findValues();

// Where the find window's definition is registered, and its control numbers.
inline constexpr const char* kFindModule = "kwrtf$kwrtf";
inline constexpr const char* kFindResource = "P34$FINDTEXTWINDOW";
namespace findwindow {
inline constexpr int Prompt = 1, SearchString = 2, WholeWords = 3, Direction = 4, Up = 5, Down = 6,
                     ButtonFind = 7, ButtonCancel = 8, CaseSensitive = 9;
}
void registerFindWindow();

// One search without the window: whole words, case-sensitive, down from the selection's end (from
// the start when nothing is selected). Selects and returns the position found, else -1 (also on
// an empty document or an empty text).
long findOnce(ui::RichTextControl& text, const std::string& what);

// One search with the find values (the window's Find Next). Selects the text found and returns
// its position, or -1 after the beep and the not-found box.
long findNext(ui::RichTextControl& text, const FindValues& values);

// Runs the find window until it is cancelled or closed. `moved` runs when the window moves.
void runFindWindow(ui::RichTextControl& text, const std::function<void()>& moved);

} // namespace docket::rtf
