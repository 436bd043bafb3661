#include "rtf/codec/rtf_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "rtf/codec/code_pages.h"
#include "rtf/codec/rtf_tokenizer.h"
#include "rtf/codec/utf8.h"

namespace docket::rtf {
namespace {

// Sizes the tables of a hostile document may not exceed; real documents stay far below them.
constexpr std::size_t kMaxFonts = 1024;
constexpr std::size_t kMaxColors = 1024;
constexpr std::size_t kMaxLists = 256;
constexpr std::size_t kMaxNameBytes = 256;
constexpr std::size_t kMaxLevelText = 64;
constexpr int kListLevels = 9;
// Twips beyond this (more than 22 inches) are clamped.
constexpr int kMaxTwips = 31680;
constexpr int kMaxHalfPoints = 3276;
constexpr std::size_t kMarkerTextBytes = 16;

// Where the text of a group goes.
enum class Destination : std::uint8_t {
    Body,
    Skip,
    FontTable,
    ColorTable,
    Pn,
    PnTextBefore,
    PnTextAfter,
    ListTable,
    List,
    ListLevel,
    LevelText,
    ListOverrideTable,
    ListOverride,
};

// The character properties of a group. Fonts and colours are table numbers, resolved when a run
// is handed out, so that the state stays plain data that a group copies cheaply.
struct CharState {
    int font = -1; // -1: the default font (\deff)
    int halfPoints = kDefaultHalfPoints;
    int color = 0;      // colour table index; 0 automatic
    int background = 0; // likewise
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    bool hidden = false;
    friend bool operator==(const CharState&, const CharState&) = default;
};

// A short UTF-8 text in place (list marker texts), cut at a character boundary.
struct ShortText {
    char bytes[kMarkerTextBytes] = {};
    std::uint8_t size = 0;
    void assign(std::string_view text) {
        std::size_t n = std::min(text.size(), sizeof bytes);
        while (n > 0 && n < text.size() && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
        std::memcpy(bytes, text.data(), n);
        size = static_cast<std::uint8_t>(n);
    }
    std::string_view view() const { return {bytes, size}; }
};

enum class PnKind : std::uint8_t { None, Bullet, Body, Level, Continue };

struct ParaState {
    Alignment alignment = Alignment::Left;
    int leftIndent = 0, rightIndent = 0, firstLineIndent = 0, spaceBefore = 0, spaceAfter = 0;
    bool indentSet = false; // \li or \fi given: a list level's indents do not apply
    std::array<TabStop, kMaxTabStops> tabs;
    std::uint8_t tabCount = 0;
    TabKind pendingKind = TabKind::Left;
    TabLeader pendingLeader = TabLeader::None;
    // Legacy list ({\*\pn ...}).
    PnKind pnKind = PnKind::None;
    ListStyle pnNumbers = ListStyle::Arabic;
    int pnLevel = 0;
    int pnStart = 1;
    ShortText pnBefore, pnAfter;
    // List table list (\ls \ilvl).
    int listOverride = 0;
    int listLevel = 0;
};

struct GroupState {
    CharState chars;
    ParaState para;
    Destination destination = Destination::Body;
    int unicodeSkip = 1; // \uc
};

struct Font {
    int number = 0;
    int charset = -1; // -1: the entry names none, its bytes are in the document's code page
    std::string name;
};

struct ListLevelDef {
    ListStyle style = ListStyle::Arabic;
    bool none = false; // \levelnfc255: no marker
    int start = 1;
    int leftIndent = 0, firstLineIndent = 0;
    std::string textBefore, textAfter;
};

struct ListDef {
    int id = 0;
    std::vector<ListLevelDef> levels;
};

struct ListOverride {
    int listId = 0;
    int number = 0; // \ls
};

// What a control word does; the words are looked up in one sorted table.
enum class Word : std::uint8_t {
    // Destinations.
    FontTable,
    ColorTable,
    SkipDestination,
    Pn,
    PnTextBefore,
    PnTextAfter,
    ListTable,
    List,
    ListLevel,
    LevelText,
    ListOverrideTable,
    ListOverride,
    FieldResult,
    // Document.
    Ansi,
    Mac,
    Pc,
    Pca,
    AnsiCodePage,
    DefaultFont,
    DefaultTab,
    UnicodeSkip,
    Unicode,
    // Characters.
    Plain,
    Font,
    FontSize,
    Bold,
    Italic,
    Underline,
    UnderlineOff,
    Strike,
    Color,
    Background,
    Hidden,
    Charset,
    Red,
    Green,
    Blue,
    // Paragraphs.
    Pard,
    AlignLeft,
    AlignRight,
    AlignCenter,
    AlignJustify,
    LeftIndent,
    RightIndent,
    FirstIndent,
    SpaceBefore,
    SpaceAfter,
    TabPosition,
    BarTab,
    TabCenter,
    TabRight,
    TabDecimal,
    LeaderDots,
    LeaderHyphens,
    LeaderUnderline,
    LeaderThick,
    LeaderEquals,
    ListNumber,
    ListLevelNumber,
    // Legacy list words.
    PnBullet,
    PnBody,
    PnLevel,
    PnContinue,
    PnDecimal,
    PnLowerLetter,
    PnUpperLetter,
    PnLowerRoman,
    PnUpperRoman,
    PnStart,
    // List table words.
    LevelFormat,
    LevelStart,
    ListId,
    // Breaks and special characters.
    Par,
    Line,
    Tab,
    Cell,
    Row,
    Page,
    Section,
    Char,
};

struct WordEntry {
    std::string_view name;
    Word word;
    char32_t ch = 0; // Word::Char: the character
};

// The words this reader acts on; every other word is ignored (with the text of its group).
constexpr WordEntry kWords[] = {
    {"aftncn", Word::SkipDestination},
    {"aftnsep", Word::SkipDestination},
    {"aftnsepc", Word::SkipDestination},
    {"ansi", Word::Ansi},
    {"ansicpg", Word::AnsiCodePage},
    {"atnauthor", Word::SkipDestination},
    {"atnid", Word::SkipDestination},
    {"author", Word::SkipDestination},
    {"b", Word::Bold},
    {"blue", Word::Blue},
    {"bullet", Word::Char, 0x2022},
    {"buptim", Word::SkipDestination},
    {"cb", Word::Background},
    {"cell", Word::Cell},
    {"cf", Word::Color},
    {"chcbpat", Word::Background},
    {"colortbl", Word::ColorTable},
    {"comment", Word::SkipDestination},
    {"company", Word::SkipDestination},
    {"creatim", Word::SkipDestination},
    {"deff", Word::DefaultFont},
    {"deftab", Word::DefaultTab},
    {"doccomm", Word::SkipDestination},
    {"docvar", Word::SkipDestination},
    {"emdash", Word::Char, 0x2014},
    {"emspace", Word::Char, 0x2003},
    {"endash", Word::Char, 0x2013},
    {"enspace", Word::Char, 0x2002},
    {"f", Word::Font},
    {"fcharset", Word::Charset},
    {"fi", Word::FirstIndent},
    {"filetbl", Word::SkipDestination},
    {"fldinst", Word::SkipDestination},
    {"fldrslt", Word::FieldResult},
    {"fonttbl", Word::FontTable},
    {"footer", Word::SkipDestination},
    {"footerf", Word::SkipDestination},
    {"footerl", Word::SkipDestination},
    {"footerr", Word::SkipDestination},
    {"footnote", Word::SkipDestination},
    {"fs", Word::FontSize},
    {"ftncn", Word::SkipDestination},
    {"ftnsep", Word::SkipDestination},
    {"ftnsepc", Word::SkipDestination},
    {"green", Word::Green},
    {"header", Word::SkipDestination},
    {"headerf", Word::SkipDestination},
    {"headerl", Word::SkipDestination},
    {"headerr", Word::SkipDestination},
    {"highlight", Word::Background},
    {"i", Word::Italic},
    {"ilvl", Word::ListLevelNumber},
    {"info", Word::SkipDestination},
    {"keywords", Word::SkipDestination},
    {"levelnfc", Word::LevelFormat},
    {"levelnfcn", Word::LevelFormat},
    {"levelnumbers", Word::SkipDestination},
    {"levelstartat", Word::LevelStart},
    {"leveltext", Word::LevelText},
    {"li", Word::LeftIndent},
    {"line", Word::Line},
    {"list", Word::List},
    {"listid", Word::ListId},
    {"listlevel", Word::ListLevel},
    {"listname", Word::SkipDestination},
    {"listoverride", Word::ListOverride},
    {"listoverridetable", Word::ListOverrideTable},
    {"listpicture", Word::SkipDestination},
    {"listtable", Word::ListTable},
    {"listtext", Word::SkipDestination},
    {"ldblquote", Word::Char, 0x201C},
    {"lquote", Word::Char, 0x2018},
    {"ls", Word::ListNumber},
    {"ltrmark", Word::Char, 0x200E},
    {"mac", Word::Mac},
    {"nestcell", Word::Cell},
    {"nestrow", Word::Row},
    {"nonshppict", Word::SkipDestination},
    {"object", Word::SkipDestination},
    {"operator", Word::SkipDestination},
    {"page", Word::Page},
    {"par", Word::Par},
    {"pard", Word::Pard},
    {"pc", Word::Pc},
    {"pca", Word::Pca},
    {"pict", Word::SkipDestination},
    {"plain", Word::Plain},
    {"pn", Word::Pn},
    {"pndec", Word::PnDecimal},
    {"pnlcltr", Word::PnLowerLetter},
    {"pnlcrm", Word::PnLowerRoman},
    {"pnlvl", Word::PnLevel},
    {"pnlvlblt", Word::PnBullet},
    {"pnlvlbody", Word::PnBody},
    {"pnlvlcont", Word::PnContinue},
    {"pnseclvl", Word::SkipDestination},
    {"pnstart", Word::PnStart},
    {"pntext", Word::SkipDestination},
    {"pntxta", Word::PnTextAfter},
    {"pntxtb", Word::PnTextBefore},
    {"pnucltr", Word::PnUpperLetter},
    {"pnucrm", Word::PnUpperRoman},
    {"printim", Word::SkipDestination},
    {"qc", Word::AlignCenter},
    {"qd", Word::AlignJustify},
    {"qj", Word::AlignJustify},
    {"ql", Word::AlignLeft},
    {"qmspace", Word::Char, 0x2005},
    {"qr", Word::AlignRight},
    {"rdblquote", Word::Char, 0x201D},
    {"red", Word::Red},
    {"revtim", Word::SkipDestination},
    {"ri", Word::RightIndent},
    {"row", Word::Row},
    {"rquote", Word::Char, 0x2019},
    {"rtlmark", Word::Char, 0x200F},
    {"sa", Word::SpaceAfter},
    {"sb", Word::SpaceBefore},
    {"sect", Word::Section},
    {"shppict", Word::SkipDestination},
    {"strike", Word::Strike},
    {"striked", Word::Strike},
    {"stylesheet", Word::SkipDestination},
    {"subject", Word::SkipDestination},
    {"tab", Word::Tab},
    {"tb", Word::BarTab},
    {"template", Word::SkipDestination},
    {"title", Word::SkipDestination},
    {"tldot", Word::LeaderDots},
    {"tleq", Word::LeaderEquals},
    {"tlhyph", Word::LeaderHyphens},
    {"tlth", Word::LeaderThick},
    {"tlul", Word::LeaderUnderline},
    {"tqc", Word::TabCenter},
    {"tqdec", Word::TabDecimal},
    {"tqr", Word::TabRight},
    {"tx", Word::TabPosition},
    {"u", Word::Unicode},
    {"uc", Word::UnicodeSkip},
    {"ul", Word::Underline},
    {"ulnone", Word::UnderlineOff},
    {"upr", Word::SkipDestination},
    {"userprops", Word::SkipDestination},
    {"v", Word::Hidden},
    {"xe", Word::SkipDestination},
    {"zwj", Word::Char, 0x200D},
    {"zwnj", Word::Char, 0x200C},
};

const WordEntry* findWord(std::string_view name) {
    static const std::vector<WordEntry> sorted = [] {
        std::vector<WordEntry> words(std::begin(kWords), std::end(kWords));
        std::sort(words.begin(), words.end(),
                  [](const WordEntry& a, const WordEntry& b) { return a.name < b.name; });
        return words;
    }();
    const auto it = std::lower_bound(sorted.begin(), sorted.end(), name,
                                     [](const WordEntry& e, std::string_view n) { return e.name < n; });
    if (it != sorted.end() && it->name == name) return &*it;
    // Every kind of underline (\uld, \ulwave, \ulth...) is an underline; \ulc is its colour.
    static constexpr WordEntry kAnyUnderline{"ul", Word::Underline};
    if (name.size() > 2 && name.substr(0, 2) == "ul" && name != "ulc") return &kAnyUnderline;
    return nullptr;
}

int clampTwips(std::int32_t value) {
    return std::clamp<std::int32_t>(value, -kMaxTwips, kMaxTwips);
}

class Reader {
public:
    Reader(RtfSink& sink, const ReadLimits& limits) : sink_(sink), limits_(limits) {}
    ReadResult run(std::string_view rtf);

private:
    GroupState& top() { return stack_.back(); }
    void warn(const char* text);
    void groupStart();
    void groupEnd();
    void controlWord(const Token& token);
    void controlSymbol(char symbol);
    void textBytes(std::string_view bytes);
    void hexByte(unsigned char byte);
    void byteInCodePage(unsigned char byte, int codePage);
    void character(char32_t ch);
    void bodyCharacter(char32_t ch);
    void bodyAscii(std::string_view ascii);
    bool consumeSkip();
    void endParagraph(bool always);
    void emitParagraph();
    void flushUtf8Bytes();
    int codePageOfFont(int fontNumber);
    int fontNameCodePage() const {
        return font_.charset >= 0 ? codePageOfCharset(font_.charset, ansiCodePage_) : ansiCodePage_;
    }
    const Font* fontNumbered(int number) const;
    const CharFormat& charFormatOf(const CharState& state);
    Color colorAt(int index) const;
    void finishFont();
    void finishColor();
    void finishLevelText();
    void setDestination(Destination destination) { top().destination = destination; }

    RtfSink& sink_;
    const ReadLimits& limits_;
    ReadResult result_;
    std::vector<GroupState> stack_;
    int skippedDepth_ = 0; // groups opened beyond the depth limit, all skipped
    bool starred_ = false; // the last token was \* at the start of a group
    bool groupJustOpened_ = false;
    bool stopped_ = false;
    bool begun_ = false;

    // Document.
    int ansiCodePage_ = kCodePageAnsi;
    int defaultFont_ = 0;
    DocumentFormat document_;
    std::vector<Font> fonts_;
    std::vector<Color> colors_;
    std::vector<ListDef> lists_;
    std::vector<ListOverride> overrides_;

    // Tables being read.
    Font font_;
    bool fontOpen_ = false;
    Color color_;
    bool colorHasValue_ = false;
    std::u32string levelText_;
    std::string collected_; // \pntxtb, \pntxta

    // Unicode.
    int skipChars_ = 0;
    char32_t highSurrogate_ = 0;
    std::string utf8Bytes_; // \'hh bytes of a UTF-8 document (\ansicpg65001) not yet complete

    // The paragraph being read: its text and where each run starts.
    struct RunStart {
        CharState state;
        std::size_t start;
    };
    std::string text_;
    std::vector<RunStart> runs_;
    std::size_t textBytes_ = 0;
    std::size_t paragraphs_ = 0;
    ParagraphFormat paragraphOut_;
    CharState cachedState_;
    CharFormat cachedFormat_;
    bool cacheValid_ = false;
    int cachedFontNumber_ = -2;
    int cachedCodePage_ = kCodePageAnsi;
};

void Reader::warn(const char* text) {
    if (result_.message.find(text) != std::string::npos) return;
    if (!result_.message.empty()) result_.message += "; ";
    result_.message += text;
}

ReadResult Reader::run(std::string_view rtf) {
    // A byte-order mark or blanks before the header are tolerated.
    if (rtf.substr(0, 3) == "\xEF\xBB\xBF") rtf.remove_prefix(3);
    while (!rtf.empty() &&
           (rtf.front() == ' ' || rtf.front() == '\t' || rtf.front() == '\r' || rtf.front() == '\n'))
        rtf.remove_prefix(1);
    if (!looksLikeRtf(rtf, true)) {
        result_.message = "not an RTF document";
        return result_;
    }
    stack_.reserve(16);
    RtfTokenizer tokenizer(rtf);
    bool closed = false;
    while (!stopped_) {
        const Token token = tokenizer.next();
        if (token.kind == TokenKind::End) break;
        if (token.kind == TokenKind::GroupStart) {
            groupStart();
            continue;
        }
        if (token.kind == TokenKind::GroupEnd) {
            groupEnd();
            if (stack_.empty() && skippedDepth_ == 0) {
                closed = true;
                break;
            }
            continue;
        }
        const bool opened = groupJustOpened_;
        groupJustOpened_ = false;
        if (stack_.empty() || skippedDepth_ > 0) continue;
        if (top().destination == Destination::Skip) continue;
        switch (token.kind) {
        case TokenKind::ControlWord: {
            const bool star = starred_ && opened;
            starred_ = false;
            if (star) {
                // \* marks a destination to skip unless this reader knows it.
                const WordEntry* entry = findWord(token.name);
                const bool known = entry && (entry->word == Word::Pn || entry->word == Word::ListTable ||
                                             entry->word == Word::ListOverrideTable);
                if (!known) {
                    setDestination(Destination::Skip);
                    break;
                }
            }
            controlWord(token);
            break;
        }
        case TokenKind::ControlSymbol:
            if (token.name == "*") {
                starred_ = true;
                groupJustOpened_ = opened;
                break;
            }
            starred_ = false;
            controlSymbol(token.name.empty() ? '\\' : token.name[0]);
            break;
        case TokenKind::HexByte:
            starred_ = false;
            hexByte(token.byte);
            break;
        case TokenKind::Binary:
            starred_ = false;
            consumeSkip(); // binary data is never text
            break;
        case TokenKind::Text:
            starred_ = false;
            textBytes(token.data);
            break;
        default:
            break;
        }
    }
    if (!closed && !stopped_) {
        result_.truncated = true;
        warn("the document ends before its last closing brace");
    }
    // Input that ends inside the document's group (or a stop at a limit) leaves the last
    // paragraph unfinished: it still counts.
    if (!stack_.empty() && !text_.empty()) {
        const bool wasStopped = stopped_;
        stopped_ = false;
        emitParagraph();
        stopped_ = wasStopped;
    }
    if (!begun_) sink_.beginDocument(document_);
    sink_.endDocument();
    result_.ok = true;
    return result_;
}

void Reader::groupStart() {
    if (skippedDepth_ > 0 || static_cast<int>(stack_.size()) >= limits_.maxDepth) {
        if (skippedDepth_ == 0) {
            result_.limited = true;
            warn("groups nested too deeply were skipped");
        }
        ++skippedDepth_;
        return;
    }
    if (stack_.empty())
        stack_.emplace_back();
    else
        stack_.push_back(stack_.back());
    skipChars_ = 0;
    starred_ = false;
    groupJustOpened_ = true;
}

void Reader::groupEnd() {
    groupJustOpened_ = false;
    starred_ = false;
    skipChars_ = 0;
    if (skippedDepth_ > 0) {
        --skippedDepth_;
        return;
    }
    if (stack_.empty()) return;
    // The document's own group ends: its last paragraph takes the properties in force here.
    if (stack_.size() == 1 && !text_.empty()) emitParagraph();
    const GroupState closing = stack_.back();
    stack_.pop_back();
    switch (closing.destination) {
    case Destination::FontTable:
        finishFont();
        break; // an entry may stand in a group of its own
    case Destination::PnTextBefore:
        if (!stack_.empty()) top().para.pnBefore.assign(collected_);
        break;
    case Destination::PnTextAfter:
        if (!stack_.empty()) top().para.pnAfter.assign(collected_);
        break;
    case Destination::Pn:
        if (!stack_.empty() && top().destination == Destination::Body) {
            ParaState& para = top().para;
            para.pnKind = closing.para.pnKind;
            para.pnNumbers = closing.para.pnNumbers;
            para.pnLevel = closing.para.pnLevel;
            para.pnStart = closing.para.pnStart;
            para.pnBefore = closing.para.pnBefore;
            para.pnAfter = closing.para.pnAfter;
        }
        break;
    case Destination::LevelText:
        finishLevelText();
        break;
    default:
        break;
    }
}

void Reader::finishFont() {
    if (!fontOpen_) return;
    fontOpen_ = false;
    while (!font_.name.empty() && font_.name.back() == ' ') font_.name.pop_back();
    if (fonts_.size() >= kMaxFonts || fontNumbered(font_.number)) return;
    fonts_.push_back(std::move(font_));
    font_ = {};
    cachedFontNumber_ = -2;
}

void Reader::finishColor() {
    if (colors_.size() < kMaxColors) colors_.push_back(colorHasValue_ ? color_ : Color{});
    color_ = Color::fromRgb(0);
    colorHasValue_ = false;
}

// \leveltext holds its length, then the text with placeholders 0 to 8 for the levels' numbers:
// "\'02\'00." is "1.". The text before the first placeholder and after the last one become the
// marker's texts; a bullet level's text is its bullet.
void Reader::finishLevelText() {
    if (lists_.empty() || lists_.back().levels.empty()) return;
    ListLevelDef& level = lists_.back().levels.back();
    std::u32string text = levelText_;
    if (!text.empty()) {
        // The length counts UTF-16 units: a character beyond the first plane counts two.
        const std::size_t length = text.front();
        text.erase(0, 1);
        std::size_t units = 0;
        std::size_t keep = 0;
        while (keep < text.size() && units + (text[keep] > 0xFFFF ? 2 : 1) <= length)
            units += text[keep++] > 0xFFFF ? 2 : 1;
        text.resize(keep);
    }
    const std::size_t first =
        text.find_first_of(U"\u0000\u0001\u0002\u0003\u0004\u0005\u0006\u0007\u0008", 0, 9);
    const std::size_t last =
        text.find_last_of(U"\u0000\u0001\u0002\u0003\u0004\u0005\u0006\u0007\u0008", std::u32string::npos, 9);
    level.textBefore.clear();
    level.textAfter.clear();
    if (first == std::u32string::npos) return;
    // Other control characters are no marker text.
    for (std::size_t i = 0; i < first; ++i)
        if (text[i] >= 0x20) appendUtf8(level.textBefore, text[i]);
    for (std::size_t i = last + 1; i < text.size(); ++i)
        if (text[i] >= 0x20) appendUtf8(level.textAfter, text[i]);
}

const Font* Reader::fontNumbered(int number) const {
    for (const auto& font : fonts_)
        if (font.number == number) return &font;
    return nullptr;
}

int Reader::codePageOfFont(int fontNumber) {
    if (fontNumber == -1) fontNumber = defaultFont_;
    if (fontNumber != cachedFontNumber_) {
        const Font* font = fontNumbered(fontNumber);
        cachedFontNumber_ = fontNumber;
        cachedCodePage_ =
            font && font->charset >= 0 ? codePageOfCharset(font->charset, ansiCodePage_) : ansiCodePage_;
    }
    return cachedCodePage_;
}

Color Reader::colorAt(int index) const {
    if (index <= 0 || static_cast<std::size_t>(index) >= colors_.size()) return Color{};
    return colors_[static_cast<std::size_t>(index)];
}

const CharFormat& Reader::charFormatOf(const CharState& state) {
    if (cacheValid_ && state == cachedState_) return cachedFormat_;
    cachedState_ = state;
    cacheValid_ = true;
    const Font* font = fontNumbered(state.font == -1 ? defaultFont_ : state.font);
    if (font) {
        cachedFormat_.font = font->name;
        cachedFormat_.charset = static_cast<std::uint8_t>(std::max(font->charset, 0));
    } else {
        cachedFormat_.font.clear();
        cachedFormat_.charset = 0;
    }
    cachedFormat_.halfPoints = state.halfPoints;
    cachedFormat_.bold = state.bold;
    cachedFormat_.italic = state.italic;
    cachedFormat_.underline = state.underline;
    cachedFormat_.strike = state.strike;
    cachedFormat_.color = colorAt(state.color);
    cachedFormat_.background = colorAt(state.background);
    return cachedFormat_;
}

// Skips one character of a \u's fallback text; true when the character was skipped.
bool Reader::consumeSkip() {
    if (skipChars_ <= 0) return false;
    --skipChars_;
    return true;
}

void Reader::textBytes(std::string_view bytes) {
    std::size_t i = 0;
    while (skipChars_ > 0 && i < bytes.size()) {
        --skipChars_;
        ++i;
    }
    const Destination destination = top().destination;
    if (destination == Destination::FontTable) {
        for (; i < bytes.size(); ++i) {
            if (bytes[i] == ';') {
                finishFont();
            } else if (fontOpen_ && font_.name.size() < kMaxNameBytes &&
                       static_cast<unsigned char>(bytes[i]) >= 0x20) {
                const auto byte = static_cast<unsigned char>(bytes[i]);
                appendUtf8(font_.name, decodeByte(fontNameCodePage(), byte));
            }
        }
        return;
    }
    if (destination == Destination::ColorTable) {
        for (; i < bytes.size(); ++i)
            if (bytes[i] == ';') finishColor();
        return;
    }
    const int codePage = destination == Destination::Body ? codePageOfFont(top().chars.font) : ansiCodePage_;
    const bool plainBody = destination == Destination::Body && codePage != kCodePageUtf8;
    for (; i < bytes.size() && !stopped_; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (plainBody && byte >= 0x20 && byte < 0x7F && highSurrogate_ == 0 && utf8Bytes_.empty()) {
            // Most of a document is printable ASCII: it goes into the paragraph a run at a time.
            std::size_t end = i + 1;
            while (end < bytes.size() && static_cast<unsigned char>(bytes[end]) >= 0x20 &&
                   static_cast<unsigned char>(bytes[end]) < 0x7F)
                ++end;
            bodyAscii(bytes.substr(i, end - i));
            i = end - 1;
            continue;
        }
        if (byte >= 0x80 || !utf8Bytes_.empty()) {
            byteInCodePage(byte, codePage);
        } else if (byte == '\t') {
            character('\t');
        } else if (byte >= 0x20) {
            character(byte);
        }
    }
}

void Reader::hexByte(unsigned char byte) {
    if (consumeSkip()) return;
    const Destination destination = top().destination;
    if (destination == Destination::FontTable) {
        if (fontOpen_ && font_.name.size() < kMaxNameBytes && byte >= 0x20)
            appendUtf8(font_.name, decodeByte(fontNameCodePage(), byte));
        return;
    }
    if (destination == Destination::LevelText) {
        // The length and the placeholders are bytes below 0x20, kept as they are.
        if (levelText_.size() < kMaxLevelText)
            levelText_.push_back(byte < 0x20 ? byte : decodeByte(ansiCodePage_, byte));
        return;
    }
    byteInCodePage(byte, destination == Destination::Body ? codePageOfFont(top().chars.font) : ansiCodePage_);
}

void Reader::byteInCodePage(unsigned char byte, int codePage) {
    if (codePage == kCodePageUtf8) {
        // The bytes of one character may come as several \'hh: gather them until it is whole.
        if (byte < 0x80) {
            flushUtf8Bytes();
            character(byte);
            return;
        }
        if ((byte & 0xC0) != 0x80) flushUtf8Bytes();
        utf8Bytes_.push_back(static_cast<char>(byte));
        const auto lead = static_cast<unsigned char>(utf8Bytes_.front());
        const std::size_t need = (lead & 0xE0) == 0xC0   ? 2
                                 : (lead & 0xF0) == 0xE0 ? 3
                                 : (lead & 0xF8) == 0xF0 ? 4
                                                         : 1;
        if (utf8Bytes_.size() >= need) flushUtf8Bytes();
        return;
    }
    if (!utf8Bytes_.empty()) flushUtf8Bytes();
    if (byte < 0x80) {
        if (byte >= 0x20 || byte == '\t') character(byte);
        return;
    }
    // Multi-byte code pages have no table here: their bytes read as replacement characters.
    const bool multiByte = codePage == 932 || codePage == 936 || codePage == 949 || codePage == 950;
    character(multiByte ? kReplacement : decodeByte(codePage, byte));
}

void Reader::flushUtf8Bytes() {
    const std::string bytes = std::move(utf8Bytes_);
    utf8Bytes_.clear();
    for (std::size_t pos = 0; pos < bytes.size();) character(nextUtf8(bytes, &pos));
}

void Reader::character(char32_t ch) {
    if (highSurrogate_ != 0) {
        const char32_t high = highSurrogate_;
        highSurrogate_ = 0;
        if (ch >= 0xDC00 && ch <= 0xDFFF) {
            ch = 0x10000 + ((high - 0xD800) << 10) + (ch - 0xDC00);
        } else {
            character(kReplacement);
        }
    } else if (ch >= 0xD800 && ch <= 0xDBFF) {
        highSurrogate_ = ch;
        return;
    } else if (ch >= 0xDC00 && ch <= 0xDFFF) {
        ch = kReplacement;
    }
    switch (top().destination) {
    case Destination::Body:
        bodyCharacter(ch);
        break;
    case Destination::PnTextBefore:
    case Destination::PnTextAfter:
        if (collected_.size() < kMarkerTextBytes && ch >= 0x20) appendUtf8(collected_, ch);
        break;
    case Destination::LevelText:
        if (levelText_.size() < kMaxLevelText) levelText_.push_back(ch);
        break;
    case Destination::FontTable:
        if (fontOpen_ && font_.name.size() < kMaxNameBytes && ch >= 0x20) appendUtf8(font_.name, ch);
        break;
    default:
        break;
    }
}

void Reader::bodyCharacter(char32_t ch) {
    const CharState& state = top().chars;
    // Control characters other than tab and line break are no text (the writer drops them too).
    if (state.hidden || (ch < 0x20 && ch != '\t' && ch != '\n')) return;
    if (textBytes_ >= limits_.maxTextBytes) {
        result_.limited = true;
        warn("the text is longer than the reader's limit and was cut");
        stopped_ = true;
        return;
    }
    if (runs_.empty() || !(runs_.back().state == state)) runs_.push_back(RunStart{state, text_.size()});
    const std::size_t before = text_.size();
    appendUtf8(text_, ch);
    textBytes_ += text_.size() - before;
}

void Reader::bodyAscii(std::string_view ascii) {
    const CharState& state = top().chars;
    if (state.hidden) return;
    if (textBytes_ + ascii.size() > limits_.maxTextBytes) {
        ascii = ascii.substr(0, limits_.maxTextBytes - textBytes_);
        result_.limited = true;
        warn("the text is longer than the reader's limit and was cut");
        stopped_ = true;
    }
    if (ascii.empty()) return;
    if (runs_.empty() || !(runs_.back().state == state)) runs_.push_back(RunStart{state, text_.size()});
    text_.append(ascii);
    textBytes_ += ascii.size();
}

// Ends the paragraph being read: always for \par, only when it has text for \page and \sect.
void Reader::endParagraph(bool always) {
    if (!always && text_.empty()) return;
    emitParagraph();
}

void Reader::emitParagraph() {
    if (stopped_) return;
    if (paragraphs_ >= limits_.maxParagraphs) {
        result_.limited = true;
        warn("the document has more paragraphs than the reader's limit");
        stopped_ = true;
        return;
    }
    ++paragraphs_;
    if (!begun_) {
        sink_.beginDocument(document_);
        begun_ = true;
    }
    const ParaState& para = top().para;
    ParagraphFormat& out = paragraphOut_;
    out.alignment = para.alignment;
    out.leftIndent = para.leftIndent;
    out.rightIndent = para.rightIndent;
    out.firstLineIndent = para.firstLineIndent;
    out.spaceBefore = para.spaceBefore;
    out.spaceAfter = para.spaceAfter;
    out.tabs.assign(para.tabs.begin(), para.tabs.begin() + para.tabCount);
    out.list = ListFormat{};
    if (para.listOverride > 0) {
        const ListOverride* override = nullptr;
        for (const auto& o : overrides_)
            if (o.number == para.listOverride) override = &o;
        const ListDef* list = nullptr;
        if (override)
            for (const auto& l : lists_)
                if (l.id == override->listId) list = &l;
        if (list && !list->levels.empty()) {
            const std::size_t index =
                std::min<std::size_t>(static_cast<std::size_t>(para.listLevel), list->levels.size() - 1);
            const ListLevelDef& level = list->levels[index];
            if (!level.none) {
                out.list.style = level.style;
                out.list.level = para.listLevel;
                out.list.start = level.start;
                if (level.style != ListStyle::Bullet) {
                    out.list.textBefore = level.textBefore;
                    out.list.textAfter = level.textAfter;
                }
                if (!para.indentSet) {
                    out.leftIndent = level.leftIndent;
                    out.firstLineIndent = level.firstLineIndent;
                }
            }
        }
    } else if (para.pnKind == PnKind::Bullet || para.pnKind == PnKind::Body || para.pnKind == PnKind::Level) {
        out.list.style = para.pnKind == PnKind::Bullet ? ListStyle::Bullet : para.pnNumbers;
        out.list.level = para.pnKind == PnKind::Level ? para.pnLevel : 0;
        out.list.start = para.pnStart;
        if (out.list.style != ListStyle::Bullet) {
            out.list.textBefore = para.pnBefore.view();
            out.list.textAfter = para.pnAfter.view();
        }
    }
    sink_.beginParagraph(out);
    for (std::size_t i = 0; i < runs_.size(); ++i) {
        const std::size_t start = runs_[i].start;
        const std::size_t end = i + 1 < runs_.size() ? runs_[i + 1].start : text_.size();
        if (end > start)
            sink_.text(std::string_view(text_).substr(start, end - start), charFormatOf(runs_[i].state));
    }
    sink_.endParagraph();
    text_.clear();
    runs_.clear();
}

void Reader::controlSymbol(char symbol) {
    switch (symbol) {
    case '\\':
    case '{':
    case '}':
        if (consumeSkip()) return;
        character(static_cast<unsigned char>(symbol));
        return;
    case '~':
        if (!consumeSkip()) character(0x00A0);
        return;
    case '-':
        if (!consumeSkip()) character(0x00AD);
        return;
    case '_':
        if (!consumeSkip()) character(0x2011);
        return;
    case '\t':
        if (!consumeSkip()) character('\t');
        return;
    default:
        consumeSkip();
        return;
    }
}

void Reader::controlWord(const Token& token) {
    const WordEntry* entry = findWord(token.name);
    if (!entry) {
        consumeSkip();
        return;
    }
    GroupState& group = top();
    CharState& chars = group.chars;
    ParaState& para = group.para;
    const std::int32_t value = token.parameter;
    const bool has = token.hasParameter;
    const bool on = !has || value != 0;
    const Destination destination = group.destination;
    const bool inBody = destination == Destination::Body;
    // The level a \listlevel group describes: the last one read (a table inside a level cannot
    // reach here: tables are destinations of the body only).
    ListLevelDef* level =
        destination == Destination::ListLevel && !lists_.empty() && !lists_.back().levels.empty()
            ? &lists_.back().levels.back()
            : nullptr;
    const bool inLevel = level != nullptr;

    if (entry->word == Word::Unicode) {
        if (skipChars_ > 0) {
            --skipChars_;
            return;
        }
        const std::int32_t code = value < 0 ? value + 65536 : value;
        character(has && code >= 0 && code <= 0xFFFF ? static_cast<char32_t>(code) : kReplacement);
        skipChars_ = group.unicodeSkip;
        return;
    }
    if (consumeSkip()) return;

    switch (entry->word) {
    // Destinations.
    case Word::SkipDestination:
        setDestination(Destination::Skip);
        break;
    case Word::FontTable:
        setDestination(inBody ? Destination::FontTable : Destination::Skip);
        break;
    case Word::ColorTable:
        if (!inBody) {
            setDestination(Destination::Skip);
            break;
        }
        setDestination(Destination::ColorTable);
        colors_.clear();
        color_ = Color::fromRgb(0);
        colorHasValue_ = false;
        break;
    case Word::Pn:
        if (!inBody) {
            setDestination(Destination::Skip);
            break;
        }
        setDestination(Destination::Pn);
        para.pnKind = PnKind::None;
        para.pnNumbers = ListStyle::Arabic;
        para.pnLevel = 0;
        para.pnStart = 1;
        para.pnBefore = {};
        para.pnAfter = {};
        break;
    case Word::PnTextBefore:
    case Word::PnTextAfter:
        if (destination != Destination::Pn) {
            setDestination(Destination::Skip);
            break;
        }
        collected_.clear();
        setDestination(entry->word == Word::PnTextBefore ? Destination::PnTextBefore
                                                         : Destination::PnTextAfter);
        break;
    case Word::ListTable:
        setDestination(inBody ? Destination::ListTable : Destination::Skip);
        break;
    case Word::List:
        if (destination != Destination::ListTable || lists_.size() >= kMaxLists) {
            setDestination(Destination::Skip);
            break;
        }
        lists_.emplace_back();
        setDestination(Destination::List);
        break;
    case Word::ListLevel:
        if (destination != Destination::List || lists_.back().levels.size() >= kListLevels) {
            setDestination(Destination::Skip);
            break;
        }
        lists_.back().levels.emplace_back();
        setDestination(Destination::ListLevel);
        break;
    case Word::LevelText:
        if (!inLevel) {
            setDestination(Destination::Skip);
            break;
        }
        levelText_.clear();
        setDestination(Destination::LevelText);
        break;
    case Word::ListOverrideTable:
        setDestination(inBody ? Destination::ListOverrideTable : Destination::Skip);
        break;
    case Word::ListOverride:
        if (destination != Destination::ListOverrideTable || overrides_.size() >= kMaxLists) {
            setDestination(Destination::Skip);
            break;
        }
        overrides_.emplace_back();
        setDestination(Destination::ListOverride);
        break;
    case Word::FieldResult:
        break; // a field's result is ordinary text

    // Document.
    case Word::Ansi:
        ansiCodePage_ = kCodePageAnsi;
        cachedFontNumber_ = -2;
        break;
    case Word::Mac:
        ansiCodePage_ = 10000;
        cachedFontNumber_ = -2;
        break;
    case Word::Pc:
        ansiCodePage_ = 437;
        cachedFontNumber_ = -2;
        break;
    case Word::Pca:
        ansiCodePage_ = 850;
        cachedFontNumber_ = -2;
        break;
    case Word::AnsiCodePage:
        if (has && (isSupportedCodePage(value) || value == kCodePageUtf8)) ansiCodePage_ = value;
        cachedFontNumber_ = -2;
        break;
    case Word::DefaultFont:
        if (has) defaultFont_ = value;
        cachedFontNumber_ = -2;
        cacheValid_ = false;
        break;
    case Word::DefaultTab:
        if (has && value > 0) document_.defaultTabWidth = std::min(value, kMaxTwips);
        break;
    case Word::UnicodeSkip:
        if (has) group.unicodeSkip = std::clamp(value, 0, 16);
        break;

    // Characters.
    case Word::Plain:
        chars = CharState{};
        break;
    case Word::Font:
        if (destination == Destination::FontTable) {
            finishFont();
            font_ = Font{};
            font_.number = value;
            fontOpen_ = true;
        } else if (has) {
            chars.font = value;
        }
        break;
    case Word::Charset:
        if (destination == Destination::FontTable && has) font_.charset = std::clamp(value, 0, 255);
        break;
    case Word::FontSize:
        chars.halfPoints = has && value > 0 ? std::min(value, kMaxHalfPoints) : kDefaultHalfPoints;
        break;
    case Word::Bold:
        chars.bold = on;
        break;
    case Word::Italic:
        chars.italic = on;
        break;
    case Word::Underline:
        chars.underline = on;
        break;
    case Word::UnderlineOff:
        chars.underline = false;
        break;
    case Word::Strike:
        chars.strike = on;
        break;
    case Word::Hidden:
        chars.hidden = on;
        break;
    case Word::Color:
        chars.color = has ? std::max(value, 0) : 0;
        break;
    case Word::Background:
        chars.background = has ? std::max(value, 0) : 0;
        break;
    case Word::Red:
    case Word::Green:
    case Word::Blue:
        if (destination == Destination::ColorTable) {
            const int shift = entry->word == Word::Red ? 16 : entry->word == Word::Green ? 8 : 0;
            const auto component = static_cast<std::uint32_t>(std::clamp(value, 0, 255));
            color_ = Color::fromRgb((color_.rgb & ~(0xFFu << shift)) | (component << shift));
            colorHasValue_ = true;
        }
        break;

    // Paragraphs.
    case Word::Pard:
        para = ParaState{};
        break;
    case Word::AlignLeft:
        para.alignment = Alignment::Left;
        break;
    case Word::AlignRight:
        para.alignment = Alignment::Right;
        break;
    case Word::AlignCenter:
        para.alignment = Alignment::Center;
        break;
    case Word::AlignJustify:
        para.alignment = Alignment::Justify;
        break;
    case Word::LeftIndent:
        if (inLevel)
            level->leftIndent = clampTwips(value);
        else
            para.leftIndent = clampTwips(value), para.indentSet = true;
        break;
    case Word::FirstIndent:
        if (inLevel)
            level->firstLineIndent = clampTwips(value);
        else
            para.firstLineIndent = clampTwips(value), para.indentSet = true;
        break;
    case Word::RightIndent:
        para.rightIndent = clampTwips(value);
        break;
    case Word::SpaceBefore:
        para.spaceBefore = std::clamp(value, 0, kMaxTwips);
        break;
    case Word::SpaceAfter:
        para.spaceAfter = std::clamp(value, 0, kMaxTwips);
        break;
    case Word::TabCenter:
        para.pendingKind = TabKind::Center;
        break;
    case Word::TabRight:
        para.pendingKind = TabKind::Right;
        break;
    case Word::TabDecimal:
        para.pendingKind = TabKind::Decimal;
        break;
    case Word::LeaderDots:
        para.pendingLeader = TabLeader::Dots;
        break;
    case Word::LeaderHyphens:
        para.pendingLeader = TabLeader::Hyphens;
        break;
    case Word::LeaderUnderline:
        para.pendingLeader = TabLeader::Underline;
        break;
    case Word::LeaderThick:
        para.pendingLeader = TabLeader::ThickLine;
        break;
    case Word::LeaderEquals:
        para.pendingLeader = TabLeader::Equals;
        break;
    case Word::TabPosition:
    case Word::BarTab: {
        const TabStop stop{std::clamp(value, 0, kMaxTwips),
                           entry->word == Word::BarTab ? TabKind::Bar : para.pendingKind, para.pendingLeader};
        para.pendingKind = TabKind::Left;
        para.pendingLeader = TabLeader::None;
        if (!has || !inBody) break;
        // Kept in ascending order; a second stop at the same place replaces the first.
        auto* begin = para.tabs.begin();
        auto* end = begin + para.tabCount;
        auto* at = std::lower_bound(begin, end, stop.position,
                                    [](const TabStop& t, int position) { return t.position < position; });
        if (at != end && at->position == stop.position) {
            *at = stop;
        } else if (para.tabCount < kMaxTabStops) {
            std::move_backward(at, end, end + 1);
            *at = stop;
            ++para.tabCount;
        }
        break;
    }
    case Word::ListNumber:
        if (destination == Destination::ListOverride)
            overrides_.back().number = value;
        else if (inBody)
            para.listOverride = std::max(value, 0);
        break;
    case Word::ListLevelNumber:
        para.listLevel = std::clamp(value, 0, kListLevels - 1);
        break;

    // Legacy lists.
    case Word::PnBullet:
        para.pnKind = PnKind::Bullet;
        break;
    case Word::PnBody:
        para.pnKind = PnKind::Body;
        break;
    case Word::PnLevel:
        if (has && value >= 1 && value <= 9) {
            para.pnKind = PnKind::Level;
            para.pnLevel = value - 1;
        } else if (has && value == 10) { // \pnlvl10 is the bullet level
            para.pnKind = PnKind::Bullet;
        }
        break;
    case Word::PnContinue:
        para.pnKind = PnKind::Continue;
        break;
    case Word::PnDecimal:
        para.pnNumbers = ListStyle::Arabic;
        break;
    case Word::PnLowerLetter:
        para.pnNumbers = ListStyle::LowerLetter;
        break;
    case Word::PnUpperLetter:
        para.pnNumbers = ListStyle::UpperLetter;
        break;
    case Word::PnLowerRoman:
        para.pnNumbers = ListStyle::LowerRoman;
        break;
    case Word::PnUpperRoman:
        para.pnNumbers = ListStyle::UpperRoman;
        break;
    case Word::PnStart:
        para.pnStart = std::clamp(value, 0, 32767);
        break;

    // List table.
    case Word::LevelFormat:
        if (inLevel) {
            level->none = value == 255;
            switch (value) {
            case 1:
                level->style = ListStyle::UpperRoman;
                break;
            case 2:
                level->style = ListStyle::LowerRoman;
                break;
            case 3:
                level->style = ListStyle::UpperLetter;
                break;
            case 4:
                level->style = ListStyle::LowerLetter;
                break;
            case 23:
                level->style = ListStyle::Bullet;
                break;
            default:
                level->style = ListStyle::Arabic;
                break;
            }
        }
        break;
    case Word::LevelStart:
        if (inLevel) level->start = std::clamp(value, 0, 32767);
        break;
    case Word::ListId:
        if (destination == Destination::List)
            lists_.back().id = value;
        else if (destination == Destination::ListOverride)
            overrides_.back().listId = value;
        break;

    // Breaks and characters.
    case Word::Par:
        if (inBody) endParagraph(true);
        break;
    case Word::Page:
    case Word::Section:
        if (inBody) endParagraph(false);
        break;
    case Word::Row:
        if (inBody) {
            // The cells of a row are separated by tabs; the row's last cell needs none.
            if (!text_.empty() && text_.back() == '\t') {
                text_.pop_back();
                --textBytes_;
                if (!runs_.empty() && runs_.back().start == text_.size()) runs_.pop_back();
            }
            endParagraph(false);
        }
        break;
    case Word::Cell:
    case Word::Tab:
        character('\t');
        break;
    case Word::Line:
        character('\n');
        break;
    case Word::Char:
        if (entry->ch != 0) character(entry->ch);
        break;
    default:
        break;
    }
}

} // namespace

bool looksLikeRtf(std::string_view bytes, bool ignoreCase) {
    if (bytes.size() < 5 || bytes[0] != '{' || bytes[1] != '\\') return false;
    for (std::size_t i = 0; i < 3; ++i) {
        char c = bytes[2 + i];
        if (ignoreCase && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != "rtf"[i]) return false;
    }
    return true;
}

ReadResult readRtf(std::string_view rtf, RtfSink& sink, const ReadLimits& limits) {
    Reader reader(sink, limits);
    return reader.run(rtf);
}

} // namespace docket::rtf
