#pragma once
// The file, font and colour dialogs. Like the message boxes, each is shown without a nested event
// loop: the program thread waits through the scheduler until the user (or the scripted user of
// tests) confirms or cancels.
#include <string>
#include <utility>
#include <vector>

class QDialog;

namespace docket::ui {

namespace file {
inline constexpr unsigned Save = 1u << 0;          // a save dialog (otherwise an open dialog)
inline constexpr unsigned MustExist = 1u << 1;     // the chosen file must exist
inline constexpr unsigned PathMustExist = 1u << 2; // the chosen file's folder must exist
inline constexpr unsigned AskOverwrite = 1u << 3;  // ask before choosing a file that exists
inline constexpr unsigned KeepDirectory = 1u << 4; // the process's current folder stays as it was
} // namespace file

// Filter texts are pairs of "name|pattern" joined by "|", for example
// "Rich Text Format (*.rtf)|*.RTF|All Documents (*.*)|*.*"; a pattern may hold several globs
// separated by ";". Returns the pairs; a name without a pattern is dropped.
std::vector<std::pair<std::string, std::string>> parseFileFilter(const std::string& filter);

// Shows an open or save dialog. `fileName` gives the starting name (or folder) and receives the
// chosen absolute name. Returns false when the user cancelled; `fileName` is then unchanged.
bool fileDialog(const std::string& title, std::string& fileName, const std::string& filter,
                unsigned flags = 0);

// Shows the font dialog on a face, size in points, colour (0x00BBGGRR) and style (weight plus
// 0x1000 italic, 0x2000 underline, 0x4000 strike-out). Returns true when the user confirmed; the
// four values then hold the choice, otherwise they are unchanged.
bool fontDialog(const std::string& title, std::string& face, int& size, long& colour, int& style);

// Shows the colour dialog on `colour` (0x00BBGGRR, -1 for none); true when the user confirmed.
bool colorDialog(const std::string& title, long& colour);

// The dialog now waiting for an answer (null when none): for the scripted user.
QDialog* openDialog();

// Used by the scripted user: sets what an open font dialog shows as chosen. False when `dialog`
// is not a font dialog.
bool setFontDialogChoice(QDialog* dialog, const std::string& face, int size, long colour, int style);

} // namespace docket::ui
