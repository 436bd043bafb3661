#include "ui/dialogs.h"

#include "ui/modal.h"
#include "ui/scheduler.h"
#include "ui/observer.h"
#include "ui/text.h"

#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QFontInfo>
#include <QFormLayout>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

#include <algorithm>

namespace docket::ui {
namespace {

QDialog* gDialog = nullptr;

// Shows `dialog` application-modal without exec() and waits through the scheduler until it is
// finished; returns its result code.
int waitFor(QDialog& dialog) {
    int result = -1;
    auto connection = QObject::connect(&dialog, &QDialog::finished, [&result](int code) { result = code; });
    dialog.setWindowModality(Qt::ApplicationModal);
    QDialog* previous = gDialog;
    gDialog = &dialog;
    dialog.show();
    Scheduler::instance().waitUntil([&result] { return result >= 0; });
    gDialog = previous;
    QObject::disconnect(connection);
    dialog.hide();
    return result;
}

std::string trim(std::string text) {
    auto space = [](unsigned char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && space(static_cast<unsigned char>(text.back()))) text.pop_back();
    std::size_t start = 0;
    while (start < text.size() && space(static_cast<unsigned char>(text[start]))) ++start;
    return text.substr(start);
}

// The colours the font dialog offers, as 0x00BBGGRR.
struct NamedColour {
    const char* name;
    long bgr;
};
constexpr NamedColour kColours[] = {
    {"Black", 0x000000},  {"Maroon", 0x000080},  {"Green", 0x008000}, {"Olive", 0x008080},
    {"Navy", 0x800000},   {"Purple", 0x800080},  {"Teal", 0x808000},  {"Gray", 0x808080},
    {"Silver", 0xC0C0C0}, {"Red", 0x0000FF},     {"Lime", 0x00FF00},  {"Yellow", 0x00FFFF},
    {"Blue", 0xFF0000},   {"Fuchsia", 0xFF00FF}, {"Aqua", 0xFFFF00},  {"White", 0xFFFFFF},
};

QIcon swatch(long bgr) {
    QPixmap pixmap(16, 12);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(Qt::darkGray);
    painter.setBrush(bgr < 0 ? QColor(Qt::transparent) : toColor(bgr));
    painter.drawRect(0, 0, 15, 11);
    return QIcon(pixmap);
}

// The font dialog: Qt's font chooser embedded without its own buttons, with a colour row below,
// since the program passes a text colour along with the font.
class FontChooser : public QDialog {
public:
    FontChooser(const QString& title, const QFont& font, long colour) {
        setWindowTitle(title.isEmpty() ? QStringLiteral("Font") : title);
        chooser_ = new QFontDialog(this);
        chooser_->setWindowFlags(Qt::Widget);
        chooser_->setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog);
        chooser_->setSizeGripEnabled(false);
        if (chooser_->layout() != nullptr) chooser_->layout()->setContentsMargins(0, 0, 0, 0);
        chooser_->setCurrentFont(font);
        colours_ = new QComboBox(this);
        colours_->setObjectName(QStringLiteral("docketFontColour"));
        for (const NamedColour& named : kColours)
            colours_->addItem(swatch(named.bgr), QString::fromLatin1(named.name),
                              QVariant::fromValue(named.bgr));
        setColour(colour);
        auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
        buttons->setObjectName(QStringLiteral("docketFontButtons"));
        connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
        connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

        auto* form = new QFormLayout;
        form->addRow(QStringLiteral("&Colour:"), colours_);
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(chooser_);
        layout->addLayout(form);
        layout->addWidget(buttons);
    }

    QFont chosenFont() const { return chooser_->currentFont(); }
    void chooseFont(const QFont& font) { chooser_->setCurrentFont(font); }
    long colour() const { return colours_->currentData().toLongLong(); }
    // A colour outside the standard sixteen gets an entry of its own ("Automatic" for none).
    void setColour(long colour) {
        int index = colours_->findData(QVariant::fromValue(colour));
        if (index < 0) {
            colours_->addItem(swatch(colour),
                              colour < 0 ? QStringLiteral("Automatic") : QStringLiteral("Custom"),
                              QVariant::fromValue(colour));
            index = colours_->count() - 1;
        }
        colours_->setCurrentIndex(index);
    }

private:
    QFontDialog* chooser_;
    QComboBox* colours_;
};

// Turns each glob list of a filter into the form Qt reads, "name (glob glob)".
QStringList nameFilters(const std::string& filter) {
    QStringList list;
    for (const auto& [name, pattern] : parseFileFilter(filter)) {
        QStringList globs =
            toQt(pattern).split(QRegularExpression(QStringLiteral("[; ]+")), Qt::SkipEmptyParts);
        // "*.*" names every file, also those without a dot in their name.
        for (QString& glob : globs) {
            if (glob == QStringLiteral("*.*")) glob = QStringLiteral("*");
        }
        list << toQt(name) + QStringLiteral(" (") + globs.join(' ') + QStringLiteral(")");
    }
    return list;
}

// The dialog shows true point sizes, not the window system's scaled dialog sizes.
// The family is resolved to the one the desktop really has, since the dialog lists only those (a
// generic family such as "Sans Serif" would lose the style on the way in).
QFont dialogFont(const std::string& face, int size, int style) {
    QFont font = makeFont(face, 0, style);
    if (size > 0) font.setPointSize(size);
    font.setFamily(QFontInfo(font).family());
    return font;
}

} // namespace

std::vector<std::pair<std::string, std::string>> parseFileFilter(const std::string& filter) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= filter.size()) {
        std::size_t bar = filter.find('|', start);
        if (bar == std::string::npos) bar = filter.size();
        parts.push_back(trim(filter.substr(start, bar - start)));
        start = bar + 1;
    }
    std::vector<std::pair<std::string, std::string>> pairs;
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i + 1].empty()) continue;
        pairs.emplace_back(parts[i].empty() ? parts[i + 1] : parts[i], parts[i + 1]);
    }
    return pairs;
}

bool fileDialog(const std::string& title, std::string& fileName, const std::string& filter, unsigned flags) {
    const bool save = (flags & file::Save) != 0;
    QString caption = toQt(title);
    if (caption.isEmpty()) caption = save ? QStringLiteral("Save As") : QStringLiteral("Open");
    QFileDialog dialog;
    dialog.setWindowTitle(caption);
    // Qt's own checks of existing files and overwriting ask through exec()'d boxes, so the dialog
    // takes any name and the checks below ask through the window system's boxes instead. The
    // dialog never changes the process's current folder, so KeepDirectory always holds.
    dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::DontConfirmOverwrite |
                      QFileDialog::HideNameFilterDetails);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    // Patterns match regardless of case, as "*.RTF" names "memo.rtf" too.
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
    QStringList filters = nameFilters(filter);
    if (!filters.isEmpty()) dialog.setNameFilters(filters);
    if (!fileName.empty()) {
        QFileInfo start(toQt(fileName));
        if (start.isDir()) {
            dialog.setDirectory(start.absoluteFilePath());
        } else {
            dialog.setDirectory(start.absolutePath());
            dialog.selectFile(start.fileName());
        }
    } else {
        dialog.setDirectory(QDir::currentPath());
    }
    if (UserObserver* observer = userObserver()) observer->dialogShown(save ? "save" : "open", title, filter);

    for (;;) {
        if (waitFor(dialog) != QDialog::Accepted) return false;
        QStringList chosen = dialog.selectedFiles();
        if (chosen.isEmpty() || chosen.front().isEmpty()) continue;
        QFileInfo info(chosen.front());
        std::string name = fromQt(QDir::toNativeSeparators(info.absoluteFilePath()));
        if ((flags & (file::PathMustExist | file::MustExist)) && !info.absoluteDir().exists()) {
            messageBox(fromQt(info.absolutePath()) +
                           "|Path does not exist.|Please verify the correct path was given.",
                       fromQt(caption), icon::Exclamation);
            continue;
        }
        if ((flags & file::MustExist) && !info.exists()) {
            messageBox(fromQt(info.fileName()) +
                           "|File not found.|Please verify the correct file name was given.",
                       fromQt(caption), icon::Exclamation);
            continue;
        }
        if (save && (flags & file::AskOverwrite) && info.exists()) {
            unsigned answer =
                messageBox(fromQt(info.fileName()) + " already exists.|Do you want to replace it?",
                           fromQt(caption), icon::Exclamation, button::Yes | button::No, button::No);
            if (answer != button::Yes) continue;
        }
        fileName = name;
        return true;
    }
}

bool fontDialog(const std::string& title, std::string& face, int& size, long& colour, int& style) {
    QFont start = dialogFont(face, size, style);
    FontChooser dialog(toQt(title), start, colour);
    if (UserObserver* observer = userObserver()) observer->dialogShown("font", title, face);
    if (waitFor(dialog) != QDialog::Accepted) return false;
    QFont chosen = dialog.chosenFont();
    // A Windows face maps to the desktop's font; when the user kept that font, the program gets
    // back the name it passed, not the desktop's.
    if (chosen.family().compare(start.family(), Qt::CaseInsensitive) != 0 || face.empty())
        face = fontFace(chosen);
    size = chosen.pointSize() > 0 ? chosen.pointSize() : size;
    colour = dialog.colour();
    style = fontStyle(chosen);
    return true;
}

bool colorDialog(const std::string& title, long& colour) {
    QColorDialog dialog;
    dialog.setWindowTitle(title.empty() ? QStringLiteral("Colour") : toQt(title));
    dialog.setOptions(QColorDialog::DontUseNativeDialog);
    dialog.setCurrentColor(colour < 0 ? QColor(Qt::black) : toColor(colour));
    if (UserObserver* observer = userObserver()) observer->dialogShown("colour", title, {});
    if (waitFor(dialog) != QDialog::Accepted) return false;
    colour = fromColor(dialog.currentColor());
    return true;
}

QDialog* openDialog() {
    return gDialog;
}

bool setFontDialogChoice(QDialog* dialog, const std::string& face, int size, long colour, int style) {
    auto* chooser = dynamic_cast<FontChooser*>(dialog);
    if (chooser == nullptr) return false;
    chooser->chooseFont(dialogFont(face, size, style));
    chooser->setColour(colour);
    return true;
}

} // namespace docket::ui
