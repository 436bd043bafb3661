#pragma once
// The pictures of the editor's bars. Each command's picture comes from the desktop's icon theme;
// where the theme has none, from the small pictures shipped with the program (rtf/icons, a Qt
// resource); where neither can be drawn (no SVG support), a letter is painted. A bar button is
// never blank.
//
// GUI thread.
#include <QIcon>

namespace docket::rtf {

// The picture of a container control (2..23 as numbered in the container); null for controls
// without one (the bars and the two lists).
QIcon barIcon(int control);

// The shipped picture alone (for the tests): the resource name, e.g. ":/docket/rtf/icons/bold.svg".
QString shippedIconPath(int control);

} // namespace docket::rtf
