#include "platform/internal/profile_text.h"

#include <cstddef>
#include <vector>

namespace docket::platform::profile_text {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kBlanks = " \t\r\v\f";

std::string_view trim(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

enum class Kind { Blank, Comment, Section, Entry, Other };

struct Line {
    std::string_view text; // without its line end
    Kind kind = Kind::Other;
    std::string_view name;
    std::string_view value;
};

Line classify(std::string_view text) {
    Line line{text};
    const std::string_view body = trim(text);
    if (body.empty()) {
        line.kind = Kind::Blank;
    } else if (body.front() == ';') {
        line.kind = Kind::Comment;
    } else if (body.front() == '[' && body.find(']') != std::string_view::npos) {
        line.kind = Kind::Section;
        line.name = trim(body.substr(1, body.find(']') - 1));
    } else if (const std::size_t equals = body.find('='); equals != std::string_view::npos) {
        line.kind = Kind::Entry;
        line.name = trim(body.substr(0, equals));
        line.value = trim(body.substr(equals + 1));
    }
    return line;
}

struct Document {
    std::string_view bom;
    std::string_view lineEnd = "\r\n";
    std::vector<Line> lines;
};

Document parse(std::string_view text) {
    Document doc;
    if (text.substr(0, kBom.size()) == kBom) {
        doc.bom = kBom;
        text.remove_prefix(kBom.size());
    }
    if (const std::size_t newline = text.find('\n'); newline != std::string_view::npos) {
        doc.lineEnd = newline > 0 && text[newline - 1] == '\r' ? "\r\n" : "\n";
    }
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r' && end != std::string_view::npos) line.remove_suffix(1);
        doc.lines.push_back(classify(line));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return doc;
}

std::string render(const Document& doc) {
    std::string out(doc.bom);
    for (const Line& line : doc.lines) {
        out += line.text;
        out += doc.lineEnd;
    }
    return out;
}

// Index of the first header of the section, or the line count.
std::size_t findSection(const Document& doc, std::string_view section, std::size_t from = 0) {
    std::size_t i = from;
    while (i < doc.lines.size() &&
           !(doc.lines[i].kind == Kind::Section && sameName(doc.lines[i].name, section)))
        ++i;
    return i;
}

// Index of the line after the section that starts with the header at `header`.
std::size_t sectionEnd(const Document& doc, std::size_t header) {
    std::size_t i = header + 1;
    while (i < doc.lines.size() && doc.lines[i].kind != Kind::Section) ++i;
    return i;
}

bool hasBreakOrNul(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != text.npos;
}

} // namespace

std::optional<std::string> findValue(std::string_view text, std::string_view section,
                                     std::string_view entry) {
    section = trim(section);
    entry = trim(entry);
    if (section.empty() || entry.empty()) return std::nullopt;
    const Document doc = parse(text);
    const std::size_t header = findSection(doc, section);
    if (header == doc.lines.size()) return std::nullopt;
    const std::size_t end = sectionEnd(doc, header);
    for (std::size_t i = header + 1; i < end; ++i) {
        const Line& line = doc.lines[i];
        if (line.kind == Kind::Entry && sameName(line.name, entry)) return std::string(line.value);
    }
    return std::nullopt;
}

bool writableSection(std::string_view section) {
    return !hasBreakOrNul(section) && !trim(section).empty() && section.find(']') == section.npos;
}

bool writable(std::string_view section, std::string_view entry, const std::optional<std::string>& value) {
    const std::string_view name = trim(entry);
    return writableSection(section) && !hasBreakOrNul(entry) && !name.empty() &&
           name.find('=') == name.npos && name.front() != ';' && name.front() != '[' &&
           !(value && hasBreakOrNul(*value));
}

std::optional<std::string> setValue(std::string_view text, std::string_view section, std::string_view entry,
                                    const std::optional<std::string>& value) {
    section = trim(section);
    entry = trim(entry);
    Document doc = parse(text);
    // Replacement lines need storage that outlives the document's views.
    std::string newLine;
    if (value) newLine = std::string(entry) + "=" + *value;
    std::string header = "[" + std::string(section) + "]";

    const std::size_t start = findSection(doc, section);
    if (start == doc.lines.size()) {
        if (!value) return std::nullopt;
        doc.lines.push_back(classify(header));
        doc.lines.push_back(classify(newLine));
        return render(doc);
    }
    const std::size_t end = sectionEnd(doc, start);
    std::size_t insertAt = start + 1;
    for (std::size_t i = start + 1; i < end; ++i) {
        Line& line = doc.lines[i];
        if (line.kind == Kind::Entry && sameName(line.name, entry)) {
            if (!value) {
                doc.lines.erase(doc.lines.begin() + static_cast<std::ptrdiff_t>(i));
                return render(doc);
            }
            if (line.value == *value) return std::nullopt;
            newLine = std::string(line.text.substr(0, line.text.find('=') + 1)) + *value;
            line = classify(newLine);
            return render(doc);
        }
        if (line.kind != Kind::Blank) insertAt = i + 1;
    }
    if (!value) return std::nullopt;
    doc.lines.insert(doc.lines.begin() + static_cast<std::ptrdiff_t>(insertAt), classify(newLine));
    return render(doc);
}

std::optional<std::string> removeSection(std::string_view text, std::string_view section) {
    section = trim(section);
    Document doc = parse(text);
    bool removed = false;
    for (std::size_t start = findSection(doc, section); start < doc.lines.size();
         start = findSection(doc, section, start)) {
        const auto first = doc.lines.begin() + static_cast<std::ptrdiff_t>(start);
        doc.lines.erase(first, doc.lines.begin() + static_cast<std::ptrdiff_t>(sectionEnd(doc, start)));
        removed = true;
    }
    if (!removed) return std::nullopt;
    return render(doc);
}

} // namespace docket::platform::profile_text
