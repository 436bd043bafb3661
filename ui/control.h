#pragma once
// What the window keeps per control (internal to the window system). The fields below `kind` that
// only some kinds use (lists, option groups, sheets) are kept here for the scripted user and the
// tests; a new kind keeps its own data in `state`.
#include "runtime/picture/picture.h"
#include "ui/control_kind.h"
#include "ui/definition.h"
#include "ui/list_format.h"
#include "ui/use_variable.h"

#include <QRect>

#include <memory>

class QWidget;
class QScrollBar;
class QTableWidget;
class QButtonGroup;

namespace docket::ui {

struct Control {
    int number = 0;
    ControlDefinition def;
    const ControlKind* kind = nullptr; // null: no kind is registered for the type (no widget)
    std::unique_ptr<ControlState> state;
    QWidget* widget = nullptr;
    UseVariable use;
    ListSource* source = nullptr;
    runtime::Picture picture;
    bool hasPicture = false;
    std::vector<ListColumn> columns;
    QTableWidget* table = nullptr;  // lists
    QScrollBar* thumb = nullptr;    // lists the program scrolls
    QButtonGroup* radios = nullptr; // option groups
    QRect box;                      // dialog units
    bool hidden = false;
    bool dirty = false;  // entry text typed since it was last shown or taken
    int currentRow = 0;  // lists: 1-based, 0 none
    int selectedTab = 1; // sheets: 1-based
    bool destroyed = false;
    bool inputWatched = false; // the kind installed the input filter on widgets of its own
};

} // namespace docket::ui
