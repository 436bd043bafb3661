#pragma once
// The text side of profile files, apart from any file: looking up an entry and editing the text.
// platform/profile.h reads and writes the files through these; the tests and the fuzz target use
// them directly.
//
// A line is, after trimming blanks: empty; a comment when it starts with ";"; a section header
// when it starts with "[" and holds a "]" (the name runs to the first "]", anything behind it is
// ignored); an entry when it holds "=" (name before the first "=", value after it, both trimmed).
// Other lines, and entries before the first section header, are kept but never read. When a
// section occurs more than once, the first one is the section and later ones are never read; in a
// section, the first line of an entry name is the entry. Names compare without regard to ASCII
// case. Lines end with "\n" or "\r\n"; a leading UTF-8 byte-order mark is skipped and kept.
#include <optional>
#include <string>
#include <string_view>

namespace docket::platform::profile_text {

// The trimmed value of the entry, or nothing when the section or entry is missing.
std::optional<std::string> findValue(std::string_view text, std::string_view section, std::string_view entry);

// Whether the names and value can be written so that they read back: no line breaks or NULs; the
// section name non-empty and without "]"; the entry name non-empty, without "=", and not starting
// with ";" or "[" (which would read as a comment or a section header).
bool writable(std::string_view section, std::string_view entry, const std::optional<std::string>& value);
bool writableSection(std::string_view section);

// The text with the entry set to `value` (or removed when there is none), or nothing when the text
// does not change. A changed entry keeps its line's name as written; a new entry goes after the
// last non-blank line of its section; a new section goes at the end. The rewritten text keeps the
// line end of its first line ("\r\n" for a text without one) on every line, and every line ends
// with it. Callers check `writable` first.
std::optional<std::string> setValue(std::string_view text, std::string_view section, std::string_view entry,
                                    const std::optional<std::string>& value);

// The text without every occurrence of the section (header and lines up to the next header), or
// nothing when the section is not there.
std::optional<std::string> removeSection(std::string_view text, std::string_view section);

} // namespace docket::platform::profile_text
