#pragma once
// The rich-text document model that the RTF codec speaks, free of any window system: character
// formats, paragraph formats (alignment, indents, tab stops, lists), and the two interfaces through
// which documents travel. An RtfSink receives a document paragraph by paragraph (the RTF reader
// feeds one; RichDocument, PlainTextSink and the editor's QTextDocument adapter are sinks); an
// RtfSource walks its document into a sink (the RTF writer takes a source).
//
// Units are those of the editor: sizes in half-points (RTF's \fs), indents, spacing and tab
// positions in twips (1/20 point, 1440 per inch). Text is UTF-8.
//
// The shape of a walk, which every sink may rely on and every source must keep:
//   beginDocument  (beginParagraph  text*  endParagraph)*  endDocument
// Each paragraph carries its whole format when it begins. Text inside a paragraph holds no
// paragraph breaks: '\t' is a tab and '\n' a line break inside the paragraph (RTF's \line). A
// document of no paragraphs is empty; a document that ends with an empty paragraph (the user
// pressed Enter at the end) has that empty paragraph as its last one.
//
// Everything here is plain data; nothing is shared between threads.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace docket::rtf {

// A colour as 0xRRGGBB, or "automatic": the window's text colour for text, none for a background.
struct Color {
    bool automatic = true;
    std::uint32_t rgb = 0; // 0xRRGGBB; 0 whenever automatic, so that equal colours compare equal

    static Color fromRgb(std::uint32_t value) { return Color{false, value & 0xFFFFFF}; }
    friend bool operator==(const Color&, const Color&) = default;
};

// The default size of RTF text, 12 points.
inline constexpr int kDefaultHalfPoints = 24;

struct CharFormat {
    std::string font;         // face name (UTF-8); empty: the reader's default font
    std::uint8_t charset = 0; // the font's character set as RTF numbers it (0 ANSI, 204 Cyrillic...)
    int halfPoints = kDefaultHalfPoints;
    bool bold = false;
    bool italic = false;
    bool underline = false; // any kind of underline reads as underline
    bool strike = false;
    Color color;      // text colour (\cf)
    Color background; // highlight behind the text (\highlight, \chcbpat, \cb)

    friend bool operator==(const CharFormat&, const CharFormat&) = default;
};

enum class Alignment : std::uint8_t { Left, Right, Center, Justify };

enum class TabKind : std::uint8_t { Left, Center, Right, Decimal, Bar };
enum class TabLeader : std::uint8_t { None, Dots, Hyphens, Underline, ThickLine, Equals };

struct TabStop {
    int position = 0; // twips from the left margin
    TabKind kind = TabKind::Left;
    TabLeader leader = TabLeader::None;

    friend bool operator==(const TabStop&, const TabStop&) = default;
};

// The most tab stops a paragraph keeps (the editor's ruler has as many markers); the reader drops
// the ones beyond.
inline constexpr std::size_t kMaxTabStops = 32;

// List styles keep the editor's numbering numbers: 1 bullets, 2 Arabic, 3 and 4 lower- and
// upper-case letters, 5 and 6 lower- and upper-case Roman numerals.
enum class ListStyle : std::uint8_t {
    None = 0,
    Bullet = 1,
    Arabic = 2,
    LowerLetter = 3,
    UpperLetter = 4,
    LowerRoman = 5,
    UpperRoman = 6,
};

// A paragraph's place in a list. The marker of a numbered item is textBefore, the number in the
// style, then textAfter ("1.", "(a)", "iv)"); a bullet item's marker is "•". Numbers count up over
// consecutive list paragraphs of the same style and level, starting at `start` (ListNumbering).
// The hanging indent of a list item is the paragraph's own: leftIndent is where the text starts,
// firstLineIndent (negative) brings the marker out to its left.
struct ListFormat {
    ListStyle style = ListStyle::None;
    int level = 0; // nesting level from 0; the editor's lists have one level (see the writer)
    int start = 1; // the number of the first item
    std::string textBefore;
    std::string textAfter;

    // A numbered list as the editor makes one: "1." etc.; a bullet list for ListStyle::Bullet.
    static ListFormat of(ListStyle style) {
        ListFormat list;
        list.style = style;
        if (style != ListStyle::Bullet && style != ListStyle::None) list.textAfter = ".";
        return list;
    }
    bool active() const { return style != ListStyle::None; }
    friend bool operator==(const ListFormat&, const ListFormat&) = default;
};

struct ParagraphFormat {
    Alignment alignment = Alignment::Left;
    int leftIndent = 0;        // twips (\li)
    int rightIndent = 0;       // twips (\ri)
    int firstLineIndent = 0;   // twips (\fi), relative to leftIndent; negative for a hanging first line
    int spaceBefore = 0;       // twips (\sb)
    int spaceAfter = 0;        // twips (\sa)
    std::vector<TabStop> tabs; // ascending positions, no two equal, at most kMaxTabStops
    ListFormat list;

    friend bool operator==(const ParagraphFormat&, const ParagraphFormat&) = default;
};

// What holds for the whole document.
struct DocumentFormat {
    int defaultTabWidth = 720; // twips between the default tab stops (\deftab)

    friend bool operator==(const DocumentFormat&, const DocumentFormat&) = default;
};

// Receives a document in the order given at the top of this file.
class RtfSink {
public:
    virtual ~RtfSink() = default;
    virtual void beginDocument(const DocumentFormat&) {}
    virtual void beginParagraph(const ParagraphFormat& format) = 0;
    // A run of UTF-8 text in one character format; never empty. Runs may split anywhere a
    // character ends, also between two runs of the same format.
    virtual void text(std::string_view utf8, const CharFormat& format) = 0;
    virtual void endParagraph() = 0;
    virtual void endDocument() {}
};

// A document that can be walked into a sink, from beginDocument to endDocument. Walking does not
// change the source; two walks of an unchanged source send the same calls.
class RtfSource {
public:
    virtual ~RtfSource() = default;
    virtual void walk(RtfSink& sink) const = 0;
};

// The marker text of a list item: "•" for bullets; textBefore, the number, textAfter otherwise.
// Letters run a..z, aa..zz, aaa...; Roman numerals up to 3999, Arabic beyond. Empty for no list.
std::string listMarker(const ListFormat& list, int number);

// Numbers the list paragraphs of a document in order: feed every paragraph's list format, list or
// not, and get its marker text. A paragraph that is not in a list ends every running list; a list
// paragraph continues the count of the preceding items at its level with the same list format
// (style, start and texts), or starts at its list's start; items at a deeper level do not end
// the count at a shallower one. The RTF writer starts a list of its own wherever this starts
// counting again, so that other readers number alike.
class ListNumbering {
public:
    std::string next(const ListFormat& list);
    // The number given by the last call to next(); 0 when that paragraph was not a numbered item.
    int lastNumber() const { return lastNumber_; }
    void reset();

private:
    static constexpr int kLevels = 9;
    ListFormat lists_[kLevels] = {};
    int counts_[kLevels] = {};
    int lastNumber_ = 0;
};

} // namespace docket::rtf
