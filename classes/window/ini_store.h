#pragma once
// IniStore: the program's settings in one INI file of the platform's profile format
// (platform/profile.h: sections of "name=value" lines; a write keeps every other line and comment
// of the file as it was). The program has one store, bound to "docket.INI" at start-up; a name
// without a folder lives in the configuration folder ($DOCKET_CONFIG_DIR, else
// $XDG_CONFIG_HOME/docket, else ~/.config/docket).
//
// Besides plain reads and writes the store keeps a catalogue of "sectors": section names the
// program made and must enumerate later (saved queries). A sector name is FAMILY "$" ITEM "$$"
// TYPE, with every "$" of ITEM written "$$$". The catalogue lives in section "Sectors": entry
// "__Dont_Touch_Me__" holds the count n, and "__Dont_Touch_Me__" "_" i (1..n) the fields of entry i
// joined by ",". Init reads it, Shutdown writes it back.
//
// Window entries (section = the caller's name for the window): "Maximize" ("Yes"/"No"), "XPos",
// "YPos", "Width", "Height", in the window's own units.
//
// The store never reports errors: missing entries read as empty (or "---Unknown---" from
// ReadRequired) and failed writes are ignored. It runs on the program's user-interface thread.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "classes/window/sector_names.h"

namespace docket::ui {
class Window;
}

namespace docket::classes {

// What ReadRequired gives for a missing entry.
inline constexpr const char* kIniUnknown = "---Unknown---";
inline constexpr const char* kSectorsSection = "Sectors";
inline constexpr const char* kSectorsEntry = "__Dont_Touch_Me__";

class IniStore {
public:
    IniStore() = default;
    virtual ~IniStore() = default;
    IniStore(const IniStore&) = delete;
    IniStore& operator=(const IniStore&) = delete;

    // ---- Virtual operations, in slot order ----
    virtual std::string ReadValue(const std::string& section, const std::string& entry,
                                  const std::string& defaultValue, const std::string& file);
    virtual void WriteValue(const std::string& section, const std::string& entry, const std::string& value,
                            const std::string& file);
    virtual void OnInit();
    // Called by the program after its main window has closed.
    virtual void OnEndOfRun();

    // ---- Other operations ----
    void Init(const std::string& fileName);
    void Shutdown();
    std::string ReadEntry(const std::string& section, const std::string& entry);
    std::string ReadRequired(const std::string& section, const std::string& entry);
    void WriteEntry(const std::string& section, const std::string& entry, const std::string& value);
    // The n-th (1-based) comma-separated field of ReadRequired; the last field runs to the end.
    std::string ReadField(const std::string& section, const std::string& entry, int n);
    // The window defaults to the running thread's newest window.
    void SaveWindow(const std::string& section, ui::Window* window = nullptr);
    void RestoreWindow(const std::string& section, ui::Window* window = nullptr);
    std::string SectorName(const std::string& family, const std::string& item, const std::string& type);
    void AddSector(const std::string& name);
    void RemoveSector(const std::string& name);
    // Every catalogue entry matching the non-blank filters, with ITEM unescaped.
    void ListSectors(std::vector<SectorEntry>& target, const std::string& family = {},
                     const std::string& item = {}, const std::string& type = {});

    // ---- Fields ----
    std::string FILENAME; // at most 260 characters
    std::unique_ptr<std::vector<SectorEntry>> SECTORS;

private:
    void readCatalogue();
    void writeCatalogue();
    void insertSorted(SectorEntry entry);
};

} // namespace docket::classes
