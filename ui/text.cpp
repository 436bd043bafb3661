#include "ui/text.h"

#include "platform/charset.h"

#include <QApplication>
#include <QColor>
#include <QFontDatabase>
#include <QStyle>

#include <algorithm>
#include <cctype>

namespace docket::ui {

QString toQt(const std::string& ansi) {
    return QString::fromStdString(platform::ansiToUtf8(ansi));
}
std::string fromQt(const QString& text) {
    return platform::utf8ToAnsi(text.toStdString());
}

QFont makeFont(const std::string& face, int points, int style) {
    static const char* const kWindowsFaces[] = {
        "ms sans serif", "ms shell dlg", "ms shell dlg 2",       "system",
        "tahoma",        "arial",        "microsoft sans serif", "segoe ui"};
    std::string lower = face;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    QFont font = QApplication::font();
    bool windowsFace = lower.empty() || std::find(std::begin(kWindowsFaces), std::end(kWindowsFaces),
                                                  lower) != std::end(kWindowsFaces);
    if (!windowsFace && QFontDatabase::families().contains(toQt(face), Qt::CaseInsensitive)) {
        font.setFamily(toQt(face));
    }
    // Windows dialogs of 8 points read as the desktop's normal size; larger sizes scale with it.
    if (points > 0 && points != 8) {
        double base = font.pointSizeF() > 0 ? font.pointSizeF() : 9.0;
        font.setPointSizeF(base * points / 8.0);
    }
    int weight = style & 0xFFF;
    if (weight != 0) font.setWeight(weight >= 600 ? QFont::Bold : QFont::Normal);
    font.setItalic((style & 0x1000) != 0);
    font.setUnderline((style & 0x2000) != 0);
    font.setStrikeOut((style & 0x4000) != 0);
    return font;
}

int fontStyle(const QFont& font) {
    int style = font.bold() ? 700 : 400;
    if (font.italic()) style |= 0x1000;
    if (font.underline()) style |= 0x2000;
    if (font.strikeOut()) style |= 0x4000;
    return style;
}

std::string fontFace(const QFont& font) {
    return fromQt(font.family());
}

QIcon makeIcon(const std::string& name) {
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (lower.size() > 4 && lower.ends_with(".ico")) lower.resize(lower.size() - 4);
    struct Pair {
        const char* name;
        const char* theme;
        QStyle::StandardPixmap fallback;
    };
    static const Pair kIcons[] = {
        {"icon:exclamation", "dialog-warning", QStyle::SP_MessageBoxWarning},
        {"icon:question", "dialog-question", QStyle::SP_MessageBoxQuestion},
        {"icon:hand", "dialog-error", QStyle::SP_MessageBoxCritical},
        {"icon:asterisk", "dialog-information", QStyle::SP_MessageBoxInformation},
        {"qkqbe", "edit-find", QStyle::SP_FileDialogContentsView},
        {"qkload", "document-open", QStyle::SP_DialogOpenButton},
        {"docket", "accessories-text-editor", QStyle::SP_FileIcon},
    };
    for (const Pair& pair : kIcons) {
        if (lower == pair.name) {
            return QIcon::fromTheme(pair.theme, QApplication::style()->standardIcon(pair.fallback));
        }
    }
    QIcon themed = QIcon::fromTheme(QString::fromStdString(lower));
    if (!themed.isNull()) return themed;
    return QApplication::style()->standardIcon(QStyle::SP_FileIcon);
}

QColor toColor(long bgr) {
    if (bgr < 0) return QColor();
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

long fromColor(const QColor& color) {
    if (!color.isValid()) return -1;
    return static_cast<long>(color.red()) | (static_cast<long>(color.green()) << 8) |
           (static_cast<long>(color.blue()) << 16);
}

} // namespace docket::ui
