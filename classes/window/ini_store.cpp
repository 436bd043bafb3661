#include "classes/window/ini_store.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <tuple>

#include "classes/window/sector_names.h"
#include "platform/profile.h"
#include "ui/window.h"

namespace docket::classes {
namespace {

constexpr std::size_t kFileNameLimit = 260;
// A catalogue count beyond this is not a count the program wrote: reading that many entries (one
// file read each) would only stall the start.
constexpr long kCatalogueLimit = 10000;
// How much of a restored window must lie on a screen: enough of its top edge to grab it.
constexpr int kVisibleWidth = 64;
constexpr int kVisibleHeight = 24;
// Stored sizes below this many pixels are not sizes a user chose.
constexpr int kSmallestSize = 16;

std::string cut(std::string text, std::size_t limit) {
    if (text.size() > limit) text.resize(limit);
    return text;
}

bool before(const SectorEntry& a, const SectorEntry& b) {
    return std::tie(a.FAMILY, a.ITEM, a.TYPE) < std::tie(b.FAMILY, b.ITEM, b.TYPE);
}

bool same(const SectorEntry& a, const SectorEntry& b) {
    return a.FAMILY == b.FAMILY && a.ITEM == b.ITEM && a.TYPE == b.TYPE;
}

// A whole decimal number (blanks around it allowed), or nothing.
std::optional<long> strictNumber(const std::string& text) {
    const char* begin = text.c_str();
    while (*begin == ' ' || *begin == '\t') ++begin;
    if (*begin == '\0') return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(begin, &end, 10);
    if (end == begin || errno == ERANGE) return std::nullopt;
    while (*end == ' ' || *end == '\t') ++end;
    if (*end != '\0') return std::nullopt;
    return value;
}

bool resizable(const QWidget& widget) {
    return widget.minimumSize() != widget.maximumSize();
}

// Whether enough of the window's top edge lies on some screen for the user to reach it.
bool reachable(const QRect& frame) {
    const QRect top(frame.x(), frame.y(), frame.width(), std::min(frame.height(), kVisibleHeight * 2));
    for (QScreen* screen : QGuiApplication::screens()) {
        const QRect shown = top.intersected(screen->availableGeometry());
        if (shown.width() >= std::min(kVisibleWidth, frame.width()) &&
            shown.height() >= std::min(kVisibleHeight, frame.height()) && frame.y() >= screen->geometry().y())
            return true;
    }
    return false;
}

// The largest available screen area, for clamping a stored size.
QSize largestScreen() {
    QSize largest;
    for (QScreen* screen : QGuiApplication::screens())
        largest = largest.expandedTo(screen->availableGeometry().size());
    return largest;
}

} // namespace

std::string IniStore::SectorName(const std::string& family, const std::string& item, const std::string& type) {
    return sectorName(family, item, type);
}

// ---- Reading and writing -------------------------------------------------------------------------------

std::string IniStore::ReadValue(const std::string& section, const std::string& entry,
                                const std::string& defaultValue, const std::string& file) {
    return platform::readProfileString(section, entry, defaultValue, file);
}

void IniStore::WriteValue(const std::string& section, const std::string& entry, const std::string& value,
                          const std::string& file) {
    platform::writeProfileString(section, entry, value, file);
}

void IniStore::OnInit() {}
void IniStore::OnEndOfRun() {}

void IniStore::Init(const std::string& fileName) {
    FILENAME = cut(fileName, kFileNameLimit);
    SECTORS = std::make_unique<std::vector<SectorEntry>>();
    OnInit();
    readCatalogue();
}

void IniStore::Shutdown() {
    if (!SECTORS) return;
    writeCatalogue();
    SECTORS.reset();
}

std::string IniStore::ReadEntry(const std::string& section, const std::string& entry) {
    return ReadValue(section, entry, {}, FILENAME);
}

std::string IniStore::ReadRequired(const std::string& section, const std::string& entry) {
    // A missing entry is an assertion that the program does not show; the marker comes back.
    return ReadValue(section, entry, kIniUnknown, FILENAME);
}

void IniStore::WriteEntry(const std::string& section, const std::string& entry, const std::string& value) {
    WriteValue(section, entry, value, FILENAME);
}

std::string IniStore::ReadField(const std::string& section, const std::string& entry, int n) {
    const std::string value = ReadRequired(section, entry);
    std::size_t start = 0;
    for (int field = 1; field < n; ++field) {
        const std::size_t comma = value.find(',', start);
        if (comma == std::string::npos) return {};
        start = comma + 1;
    }
    if (n < 1) return {};
    const std::size_t comma = value.find(',', start);
    // The last field asked for runs to the end when there is no further comma.
    return comma == std::string::npos ? value.substr(start) : value.substr(start, comma - start);
}

// ---- The catalogue ---------------------------------------------------------------------------------

void IniStore::insertSorted(SectorEntry entry) {
    auto at = std::lower_bound(SECTORS->begin(), SECTORS->end(), entry, before);
    if (at != SECTORS->end() && same(*at, entry)) return;
    SECTORS->insert(at, std::move(entry));
}

void IniStore::readCatalogue() {
    const long count =
        std::clamp(strictNumber(ReadEntry(kSectorsSection, kSectorsEntry)).value_or(0), 0L, kCatalogueLimit);
    for (long i = 1; i <= count; ++i) {
        const std::string line = ReadEntry(kSectorsSection, std::string(kSectorsEntry) + "_" + std::to_string(i));
        // Mend: a missing or blank line used to come back as an entry "---Unknown---" that the next
        // shut-down wrote into the file. It is skipped.
        if (line.empty()) continue;
        insertSorted(parseCatalogueLine(line));
    }
}

void IniStore::writeCatalogue() {
    WriteEntry(kSectorsSection, kSectorsEntry, std::to_string(SECTORS->size()));
    // Lines beyond the count that a longer catalogue left stay in the file and are never read.
    for (std::size_t i = 0; i < SECTORS->size(); ++i)
        WriteEntry(kSectorsSection, std::string(kSectorsEntry) + "_" + std::to_string(i + 1),
                   catalogueLine((*SECTORS)[i]));
}

void IniStore::AddSector(const std::string& name) {
    if (!SECTORS) return;
    insertSorted(parseSectorName(name));
}

void IniStore::RemoveSector(const std::string& name) {
    if (!SECTORS) return;
    const SectorEntry entry = parseSectorName(name);
    std::erase_if(*SECTORS, [&](const SectorEntry& e) { return same(e, entry); });
}

void IniStore::ListSectors(std::vector<SectorEntry>& target, const std::string& family, const std::string& item,
                           const std::string& type) {
    target.clear();
    if (!SECTORS) return;
    // The catalogue keeps ITEM escaped, so the item filter is compared in escaped form.
    const std::string escapedItem = escapeSectorItem(item);
    for (const SectorEntry& e : *SECTORS) {
        if (!family.empty() && e.FAMILY != family) continue;
        if (!item.empty() && e.ITEM != escapedItem) continue;
        if (!type.empty() && e.TYPE != type) continue;
        target.push_back({e.FAMILY, unescapeSectorItem(e.ITEM), e.TYPE});
    }
}

// ---- Window positions --------------------------------------------------------------------------------

void IniStore::SaveWindow(const std::string& section, ui::Window* window) {
    if (!window) window = ui::currentWindow();
    if (!window) return;
    if (window->getInt(0, "Iconize")) return;
    const bool maximized = window->getInt(0, "Maximize") != 0;
    WriteEntry(section, "Maximize", maximized ? "Yes" : "No");
    if (maximized) return; // the last normal position stays
    WriteEntry(section, "XPos", std::to_string(window->getInt(0, "XPos")));
    WriteEntry(section, "YPos", std::to_string(window->getInt(0, "YPos")));
    if (resizable(*window->widget())) {
        WriteEntry(section, "Height", std::to_string(window->getInt(0, "Height")));
        WriteEntry(section, "Width", std::to_string(window->getInt(0, "Width")));
    }
}

void IniStore::RestoreWindow(const std::string& section, ui::Window* window) {
    if (!window) window = ui::currentWindow();
    if (!window) return;
    const std::string maximize = ReadEntry(section, "Maximize");
    if (maximize != "Yes" && maximize != "No") return;
    const bool wantMaximized = maximize == "Yes";
    if (!wantMaximized && window->getInt(0, "Maximize")) window->setInt(0, "Maximize", 0);
    QWidget& widget = *window->widget();
    if (!ReadEntry(section, "XPos").empty()) {
        // Mend: the stored values are outside input. A position or size that does not read as a
        // number is left alone, a size too small to see or larger than every screen is not taken
        // as it stands, and a window that would end up where no screen shows its top edge keeps
        // the place it had.
        const QRect was = widget.geometry();
        const auto x = strictNumber(ReadEntry(section, "XPos"));
        const auto y = strictNumber(ReadEntry(section, "YPos"));
        if (x && y) {
            window->setInt(0, "XPos", *x);
            window->setInt(0, "YPos", *y);
        }
        if (resizable(widget)) {
            const auto width = strictNumber(ReadRequired(section, "Width"));
            const auto height = strictNumber(ReadRequired(section, "Height"));
            const QSize screen = largestScreen();
            const double unitX = window->getInt(0, "Pixels") ? 1.0 : window->unitX();
            const double unitY = window->getInt(0, "Pixels") ? 1.0 : window->unitY();
            if (width && *width * unitX >= kSmallestSize) {
                long w = *width;
                if (screen.isValid()) w = std::min<long>(w, static_cast<long>(screen.width() / unitX));
                window->setInt(0, "Width", w);
            }
            if (height && *height * unitY >= kSmallestSize) {
                long h = *height;
                if (screen.isValid()) h = std::min<long>(h, static_cast<long>(screen.height() / unitY));
                window->setInt(0, "Height", h);
            }
        }
        if (!QGuiApplication::screens().isEmpty() && !reachable(widget.geometry())) widget.move(was.topLeft());
    }
    if (wantMaximized != (window->getInt(0, "Maximize") != 0)) window->setInt(0, "Maximize", wantMaximized ? 1 : 0);
}

} // namespace docket::classes
