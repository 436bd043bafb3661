#include "rtf/codec/rtf_writer.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "rtf/codec/code_pages.h"
#include "rtf/codec/utf8.h"

namespace docket::rtf {
namespace {

constexpr int kDefaultTabWidth = 720;

bool needsDelimiter(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == ' ' || c == '-';
}

struct FontEntry {
    std::string name;
    std::uint8_t charset;
};

} // namespace

// The body is written as the walk goes; the tables, which list what the body used, are put in
// front of it at the end.
struct RtfWriter::State {
    DocumentFormat document;
    std::string body;
    bool delimit = false; // the body ends in a control word that the next letter or digit would extend
    std::vector<FontEntry> fonts;
    std::vector<std::uint32_t> colors; // entry i + 1 of the table
    CharFormat current;                // what the reader's state is at this point of the body
    int currentFont = 0;               // \deff0 is where the reader starts
    ParagraphFormat previous;          // the paragraph properties in force
    bool firstParagraph = true;
    ListNumbering numbering;
    std::vector<ListFormat> lists; // one per run of list paragraphs; run i is list i + 1, \ls i + 1
    std::string result;

    void word(std::string_view name) {
        body += '\\';
        body += name;
        delimit = true;
    }
    void word(std::string_view name, long value) {
        char digits[24];
        std::snprintf(digits, sizeof digits, "%ld", value);
        body += '\\';
        body += name;
        body += digits;
        delimit = true;
    }
    void raw(std::string_view text) {
        body += text;
        delimit = false;
    }
    void plain(char c) {
        if (delimit && needsDelimiter(c)) body += ' ';
        delimit = false;
        body += c;
    }
    void hex(int byte) {
        static constexpr char kDigits[] = "0123456789abcdef";
        body += "\\'";
        body += kDigits[(byte >> 4) & 0xF];
        body += kDigits[byte & 0xF];
        delimit = false;
    }
    void unicode(char32_t ch) {
        // \u takes a signed 16-bit number; '?' is the one character (\uc1) older readers show.
        const long value = ch > 0x7FFF ? static_cast<long>(ch) - 0x10000 : static_cast<long>(ch);
        word("u", value);
        body += '?';
        delimit = false;
    }
    void character(char32_t ch, int codePage) {
        switch (ch) {
        case '\\':
            raw("\\\\");
            return;
        case '{':
            raw("\\{");
            return;
        case '}':
            raw("\\}");
            return;
        case '\t':
            word("tab");
            return;
        case '\n':
            word("line");
            return;
        case 0x00A0:
            raw("\\~");
            return;
        case 0x00AD:
            raw("\\-");
            return;
        case 0x2011:
            raw("\\_");
            return;
        default:
            break;
        }
        if (ch < 0x20) return; // other control characters have no place in a document
        if (ch < 0x80) {
            plain(static_cast<char>(ch));
            return;
        }
        const int byte = isSupportedCodePage(codePage) ? encodeChar(codePage, ch) : -1;
        if (byte >= 0x80) {
            hex(byte);
        } else if (ch <= 0xFFFF) {
            unicode(ch);
        } else {
            const char32_t v = ch - 0x10000;
            unicode(0xD800 + (v >> 10));
            unicode(0xDC00 + (v & 0x3FF));
        }
    }
    void text(std::string_view utf8, int codePage) {
        for (std::size_t pos = 0; pos < utf8.size();) character(nextUtf8(utf8, &pos), codePage);
    }

    int fontIndex(const CharFormat& format) {
        for (std::size_t i = 0; i < fonts.size(); ++i)
            if (fonts[i].name == format.font && fonts[i].charset == format.charset)
                return static_cast<int>(i);
        fonts.push_back(FontEntry{format.font, format.charset});
        return static_cast<int>(fonts.size() - 1);
    }
    int colorIndex(const Color& color) {
        if (color.automatic) return 0;
        for (std::size_t i = 0; i < colors.size(); ++i)
            if (colors[i] == color.rgb) return static_cast<int>(i + 1);
        colors.push_back(color.rgb);
        return static_cast<int>(colors.size());
    }

    // The character words that take the reader from the current format to this one.
    void switchTo(const CharFormat& format) {
        const int font = fontIndex(format);
        if (font != currentFont) word("f", font);
        if (format.halfPoints != current.halfPoints) word("fs", std::max(format.halfPoints, 1));
        if (format.bold != current.bold) format.bold ? word("b") : word("b", 0);
        if (format.italic != current.italic) format.italic ? word("i") : word("i", 0);
        if (format.underline != current.underline) word(format.underline ? "ul" : "ulnone");
        if (format.strike != current.strike) format.strike ? word("strike") : word("strike", 0);
        if (!(format.color == current.color)) word("cf", colorIndex(format.color));
        if (!(format.background == current.background)) word("highlight", colorIndex(format.background));
        current = format;
        currentFont = font;
    }

    int codePageOf(const CharFormat& format) const {
        return codePageOfCharset(format.charset, kCodePageAnsi);
    }

    void tabStop(const TabStop& stop) {
        switch (stop.leader) {
        case TabLeader::Dots:
            word("tldot");
            break;
        case TabLeader::Hyphens:
            word("tlhyph");
            break;
        case TabLeader::Underline:
            word("tlul");
            break;
        case TabLeader::ThickLine:
            word("tlth");
            break;
        case TabLeader::Equals:
            word("tleq");
            break;
        case TabLeader::None:
            break;
        }
        switch (stop.kind) {
        case TabKind::Center:
            word("tqc");
            break;
        case TabKind::Right:
            word("tqr");
            break;
        case TabKind::Decimal:
            word("tqdec");
            break;
        case TabKind::Left:
        case TabKind::Bar:
            break;
        }
        word(stop.kind == TabKind::Bar ? "tb" : "tx", stop.position);
    }

    // A list paragraph's marker, for readers that do not number lists themselves (readers that
    // do skip it): {\listtext 1.\tab}.
    void listText(const ListFormat& list) {
        const std::string marker = numbering.next(list);
        raw("{");
        word("listtext");
        text(marker, kCodePageAnsi);
        word("tab");
        raw("}");
    }

    // The list table's entry of one run of list paragraphs: one level, its number format, its
    // start, and its marker text with the number's place, "\'02\'00." for "1.".
    static std::string listDefinition(const ListFormat& list, int id) {
        State out;
        out.raw("{");
        out.word("list");
        out.raw("{");
        out.word("listlevel");
        int format = 0;
        switch (list.style) {
        case ListStyle::Bullet:
            format = 23;
            break;
        case ListStyle::UpperRoman:
            format = 1;
            break;
        case ListStyle::LowerRoman:
            format = 2;
            break;
        case ListStyle::UpperLetter:
            format = 3;
            break;
        case ListStyle::LowerLetter:
            format = 4;
            break;
        default:
            format = 0;
            break;
        }
        out.word("levelnfc", format);
        out.word("levelstartat", list.start);
        out.raw("{");
        out.word("leveltext");
        if (list.style == ListStyle::Bullet) {
            out.hex(1);
            out.text(listMarker(list, 1), kCodePageAnsi);
            out.raw(";}");
        } else {
            const std::size_t before = utf16Length(list.textBefore);
            const std::size_t length = std::min<std::size_t>(before + 1 + utf16Length(list.textAfter), 0xFF);
            out.hex(static_cast<int>(length));
            out.text(list.textBefore, kCodePageAnsi);
            out.hex(0);
            out.text(list.textAfter, kCodePageAnsi);
            out.raw(";}{");
            out.word("levelnumbers");
            out.hex(static_cast<int>(std::min<std::size_t>(before + 1, 0xFF)));
            out.raw(";}");
        }
        out.raw("}");
        out.word("listid", id);
        out.raw("}");
        return out.body;
    }

    // The length of a marker text in \leveltext's count, UTF-16 units of what text() writes.
    static std::size_t utf16Length(std::string_view utf8) {
        std::size_t length = 0;
        for (std::size_t pos = 0; pos < utf8.size();) {
            const char32_t ch = nextUtf8(utf8, &pos);
            length += ch < 0x20 ? 0 : ch > 0xFFFF ? 2 : 1;
        }
        return length;
    }

    void paragraph(const ParagraphFormat& given) {
        ParagraphFormat format = given;
        format.list.level = 0; // one level: see the header
        const bool list = format.list.active();
        const bool same = firstParagraph ? format == ParagraphFormat{} : format == previous;
        // A run of list paragraphs ends where the list format changes; each run is a list of its
        // own, so that its numbers start again as ListNumbering starts them.
        if (list && (firstParagraph || !(format.list == previous.list))) lists.push_back(format.list);
        firstParagraph = false;
        previous = format;
        if (!same) paragraphWords(format);
        if (list)
            listText(format.list);
        else
            numbering.next(format.list);
    }

    void paragraphWords(const ParagraphFormat& format) {
        word("pard");
        switch (format.alignment) {
        case Alignment::Right:
            word("qr");
            break;
        case Alignment::Center:
            word("qc");
            break;
        case Alignment::Justify:
            word("qj");
            break;
        case Alignment::Left:
            break;
        }
        if (format.leftIndent != 0) word("li", format.leftIndent);
        if (format.rightIndent != 0) word("ri", format.rightIndent);
        if (format.firstLineIndent != 0) word("fi", format.firstLineIndent);
        if (format.spaceBefore != 0) word("sb", format.spaceBefore);
        if (format.spaceAfter != 0) word("sa", format.spaceAfter);
        for (const TabStop& stop : format.tabs) tabStop(stop);
        if (format.list.active()) word("ls", static_cast<long>(lists.size()));
    }

    void header() {
        result.reserve(body.size() + 128 + fonts.size() * 32 + colors.size() * 24);
        result = "{\\rtf1\\ansi\\ansicpg1252\\deff0";
        if (document.defaultTabWidth != kDefaultTabWidth && document.defaultTabWidth > 0)
            result += "\\deftab" + std::to_string(document.defaultTabWidth);
        result += "\\uc1";
        // A table that holds only the reader's default font ("", ANSI) says nothing.
        if (!(fonts.empty() || (fonts.size() == 1 && fonts[0].name.empty() && fonts[0].charset == 0))) {
            result += "{\\fonttbl";
            for (std::size_t i = 0; i < fonts.size(); ++i) {
                State name;
                std::string clean;
                for (char c : fonts[i].name)
                    if (c != ';') clean += c;
                name.text(clean, codePageOfCharset(fonts[i].charset, kCodePageAnsi));
                result += "{\\f" + std::to_string(i) + "\\fnil";
                if (fonts[i].charset != 0) result += "\\fcharset" + std::to_string(fonts[i].charset);
                if (!name.body.empty()) result += ' ';
                result += name.body;
                result += ";}";
            }
            result += '}';
        }
        if (!colors.empty()) {
            result += "{\\colortbl;";
            for (std::uint32_t rgb : colors)
                result += "\\red" + std::to_string((rgb >> 16) & 0xFF) + "\\green" +
                          std::to_string((rgb >> 8) & 0xFF) + "\\blue" + std::to_string(rgb & 0xFF) + ';';
            result += '}';
        }
        if (!lists.empty()) {
            result += "{\\*\\listtable";
            for (std::size_t i = 0; i < lists.size(); ++i)
                result += listDefinition(lists[i], static_cast<int>(i + 1));
            result += "}{\\*\\listoverridetable";
            for (std::size_t i = 0; i < lists.size(); ++i)
                result +=
                    "{\\listoverride\\listid" + std::to_string(i + 1) + "\\ls" + std::to_string(i + 1) + '}';
            result += '}';
        }
        result += '\n';
    }
};

RtfWriter::RtfWriter() : state_(std::make_unique<State>()) {}
RtfWriter::~RtfWriter() = default;

void RtfWriter::beginDocument(const DocumentFormat& format) {
    state_ = std::make_unique<State>();
    state_->document = format;
}

void RtfWriter::beginParagraph(const ParagraphFormat& format) {
    state_->paragraph(format);
}

void RtfWriter::text(std::string_view utf8, const CharFormat& format) {
    if (utf8.empty()) return;
    state_->switchTo(format);
    state_->text(utf8, state_->codePageOf(format));
}

void RtfWriter::endParagraph() {
    state_->word("par");
    state_->raw("\n");
}

void RtfWriter::endDocument() {
    State& s = *state_;
    s.header();
    s.result += s.body;
    s.result += '}';
}

std::string RtfWriter::take() {
    if (state_->result.empty()) endDocument();
    return std::move(state_->result);
}

std::string writeRtf(const RtfSource& source) {
    RtfWriter writer;
    source.walk(writer);
    return writer.take();
}

} // namespace docket::rtf
