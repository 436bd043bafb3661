#pragma once
// Texts, fonts and icons at the Qt boundary.
#include <QFont>
#include <QIcon>
#include <QString>

#include <string>

namespace docket::ui {

QString toQt(const std::string& ansi);   // Windows-1252 to Qt
std::string fromQt(const QString& text); // Qt to Windows-1252 ('?' for what it cannot hold)

// Windows face names ("MS Sans Serif", "Arial", ...) map to the desktop's sans-serif font; a face
// the desktop has is used as it is. `style` is the weight (400 normal, 700 bold) plus 0x1000
// italic, 0x2000 underline, 0x4000 strike-out.
QFont makeFont(const std::string& face, int points, int style);
int fontStyle(const QFont& font);
std::string fontFace(const QFont& font);

// ".ico" resource names and the stock icon numbers of message boxes map to freedesktop theme
// icons, with the style's standard icons as the fallback.
QIcon makeIcon(const std::string& name);

// Colours are 0x00BBGGRR; -1 means none.
QColor toColor(long bgr);
long fromColor(const QColor& color);

} // namespace docket::ui
