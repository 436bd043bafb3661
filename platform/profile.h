#pragma once
// Profile (INI) files with the semantics of the platform's private-profile functions: sections in
// brackets holding "name=value" lines; section and entry names compare without regard to case;
// values are trimmed; a write keeps every other line, comment and the order of the file, and
// never leaves a half-written file (it writes a temporary file and renames it over the old one).
// Lines starting with ";" are comments; when a section or an entry occurs twice, the first one
// counts. Values are returned as written apart from the trimming (quotes are not removed). A
// rewritten file keeps the line end of its first line, "\r\n" for a new file, on every line.
// platform/profile_text.h describes the format in full.
//
// "WIN.INI" and names given without a directory resolve to the user's configuration folder:
// $DOCKET_CONFIG_DIR when set (tests), else $XDG_CONFIG_HOME/docket, else ~/.config/docket. The
// folder is created on the first write. A bare name that does not exist as written finds an
// existing file whose name differs only in case.
#include <optional>
#include <string>

namespace docket::platform {

// The configuration folder, without creating it.
std::string configDirectory();

// The path a profile file name stands for.
std::string resolveProfilePath(const std::string& file);

std::string readProfileString(const std::string& section, const std::string& entry,
                              const std::string& defaultValue, const std::string& file);

// The value read as a decimal integer (leading blanks and sign allowed, trailing text ignored);
// the default when the entry is missing or does not start with a number.
long readProfileInt(const std::string& section, const std::string& entry, long defaultValue,
                    const std::string& file);

// Writes an entry, creating the file and the section as needed. An absent value removes the
// entry. Returns false without touching the file when a name or value holds a line break or a
// NUL, a name is blank, the entry name holds "=" or starts with ";" or "[" (it would read back as
// a comment or a section), or the section name holds "]", or when the file cannot be written.
bool writeProfileString(const std::string& section, const std::string& entry,
                        const std::optional<std::string>& value, const std::string& file);

// Removes a whole section (every occurrence of it); false when the file cannot be written or
// the name could never be a section ("]", a line break, or empty).
bool removeProfileSection(const std::string& section, const std::string& file);

} // namespace docket::platform
