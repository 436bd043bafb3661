#pragma once
// What the window keeps per control (internal to the window system).
#include "runtime/core/picture.h"
#include "ui/definition.h"
#include "ui/list_format.h"
#include "ui/use_variable.h"

#include <QRect>

class QWidget;
class QScrollBar;
class QTableWidget;
class QButtonGroup;

namespace docket::ui {

struct Control {
    int number = 0;
    ControlDefinition def;
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
};

} // namespace docket::ui
