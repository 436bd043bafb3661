#include "rtf/bar_icons.h"

#include "rtf/rtf_editor.h"

#include <QFile>
#include <QPainter>
#include <QPixmap>
#include <QStandardPaths>

namespace docket::rtf {
namespace {

struct Picture {
    int control;
    const char* theme;   // the freedesktop name
    const char* shipped; // the file in rtf/icons
    const char* letter;  // the last resort
};

constexpr Picture kPictures[] = {
    {container::ButtonNew, "document-new", "new", "N"},
    {container::ButtonOpen, "document-open", "open", "O"},
    {container::ButtonSave, "document-save", "save", "S"},
    {container::ButtonPrint, "document-print", "print", "P"},
    {container::ButtonFind, "edit-find", "find", "F"},
    {container::ButtonCut, "edit-cut", "cut", "X"},
    {container::ButtonCopy, "edit-copy", "copy", "C"},
    {container::ButtonPaste, "edit-paste", "paste", "V"},
    {container::ButtonUndo, "edit-undo", "undo", "U"},
    {container::ButtonRedo, "edit-redo", "redo", "R"},
    // The desktop theme draws bold, italic and underline as three alike "a" glyphs that are hard
    // to tell apart at bar size: the shipped B, I and U always show.
    {container::Bold, nullptr, "bold", "B"},
    {container::Italic, nullptr, "italic", "I"},
    {container::Underline, nullptr, "underline", "U"},
    // Themes have no "text colour" picture: the shipped one always shows.
    {container::FontColor, nullptr, "color", "A"},
    {container::AlignLeft, "format-justify-left", "justlft", "L"},
    {container::AlignCenter, "format-justify-center", "justctr", "C"},
    {container::AlignRight, "format-justify-right", "justrt", "R"},
    {container::Bullets, "format-list-unordered", "bullets", "\xE2\x80\xA2"},
};

const Picture* pictureOf(int control) {
    for (const Picture& p : kPictures) {
        if (p.control == control) return &p;
    }
    return nullptr;
}

// Where the platform names no icon theme (bare X11, offscreen), the desktop's usual one is asked.
void chooseTheme() {
    static bool done = false;
    if (done) return;
    done = true;
    if (!QIcon::themeName().isEmpty() && QIcon::themeName() != QLatin1String("hicolor")) return;
    QStringList paths = QIcon::themeSearchPaths();
    for (const QString& folder : QStandardPaths::locateAll(
             QStandardPaths::GenericDataLocation, QStringLiteral("icons"), QStandardPaths::LocateDirectory)) {
        if (!paths.contains(folder)) paths.append(folder);
    }
    QIcon::setThemeSearchPaths(paths);
    QIcon::setThemeName(QStringLiteral("Adwaita"));
}

// An icon that can really be drawn: one that yields a picture.
bool drawable(const QIcon& icon) {
    return !icon.isNull() && !icon.pixmap(16, 16).isNull();
}

QIcon letterIcon(const char* letter) {
    QPixmap picture(32, 32);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::TextAntialiasing);
    QFont font = p.font();
    font.setPixelSize(22);
    font.setBold(true);
    p.setFont(font);
    p.setPen(QColor(0x2E, 0x34, 0x36));
    p.drawText(picture.rect(), Qt::AlignCenter, QString::fromUtf8(letter));
    return QIcon(picture);
}

} // namespace

QString shippedIconPath(int control) {
    const Picture* p = pictureOf(control);
    return p != nullptr ? QStringLiteral(":/docket/rtf/icons/%1.svg").arg(QLatin1String(p->shipped))
                        : QString();
}

QIcon barIcon(int control) {
    const Picture* p = pictureOf(control);
    if (p == nullptr) return {};
    chooseTheme();
    if (p->theme != nullptr) {
        QIcon themed = QIcon::fromTheme(QLatin1String(p->theme));
        if (drawable(themed)) return themed;
    }
    QIcon shipped(shippedIconPath(control));
    if (QFile::exists(shippedIconPath(control)) && drawable(shipped)) return shipped;
    return letterIcon(p->letter);
}

} // namespace docket::rtf
