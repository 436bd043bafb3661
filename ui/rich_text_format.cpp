#include "ui/rich_text_format.h"

#include "ui/text.h"

#include <QFont>
#include <QList>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QVariant>

#include <algorithm>
#include <cmath>

namespace docket::ui {
namespace {

// Properties of our own in Qt's formats: the editor's exact values beside what the layout uses.
enum Property : int {
    kStartIndent = QTextFormat::UserProperty + 0x4B0,
    kRightIndent,
    kOffset,
    kTabs, // QList<int>: position * 64 + leader * 8 + kind per stop
    kNumberingStart,
    kCharOffset,
    kCharset,
    kProtected,
    kLink,
    kSpaceBefore,
    kSpaceAfter,
    kListLevel,
};

// Twips beyond about 700 inches are nobody's indent or tab stop: values from outside (a damaged
// or hostile RTF file) are held to that range, so that nothing computed from them overflows.
constexpr int kLargestTwips = 1 << 20;
int clampTwips(int twips) {
    return std::clamp(twips, -kLargestTwips, kLargestTwips);
}

int packTab(const TabStop& t) {
    return std::clamp(t.position, 0, kLargestTwips) * 64 + std::clamp(t.leader, 0, 7) * 8 +
           std::clamp(t.kind, 0, 7);
}
TabStop unpackTab(int packed) {
    return {packed / 64, packed % 8, (packed / 8) % 8};
}

double toPixels(int twips) {
    return twips / kTwipsPerPixel;
}
int toTwips(double pixels) {
    return static_cast<int>(std::lround(pixels * kTwipsPerPixel));
}
bool samePixels(double a, double b) {
    return std::fabs(a - b) < 0.5;
}

QTextOption::TabType qtTabType(int kind) {
    switch (kind) {
    case tabkind::Center:
        return QTextOption::CenterTab;
    case tabkind::Right:
        return QTextOption::RightTab;
    case tabkind::Decimal:
        return QTextOption::DelimiterTab;
    default:
        return QTextOption::LeftTab;
    }
}

int tabKindOf(QTextOption::TabType type) {
    switch (type) {
    case QTextOption::CenterTab:
        return tabkind::Center;
    case QTextOption::RightTab:
        return tabkind::Right;
    case QTextOption::DelimiterTab:
        return tabkind::Decimal;
    default:
        return tabkind::Left;
    }
}

void writeBlock(QTextCursor& cursor, const ParaFormat& given) {
    ParaFormat f = given;
    f.startIndent = clampTwips(f.startIndent);
    f.offset = clampTwips(f.offset);
    f.rightIndent = clampTwips(f.rightIndent);
    f.spaceBefore = clampTwips(f.spaceBefore);
    f.spaceAfter = clampTwips(f.spaceAfter);
    for (TabStop& t : f.tabs) t = unpackTab(packTab(t));
    QTextBlockFormat block = cursor.blockFormat();
    block.setProperty(kStartIndent, f.startIndent);
    block.setProperty(kRightIndent, f.rightIndent);
    block.setProperty(kOffset, f.offset);
    // The first line starts at startIndent, the later ones offset further in: Qt's left margin is
    // where the later lines start, and its text indent moves the first line back. In a list the
    // number or bullet takes that hanging space (Qt draws it before the first line's text), so
    // the first line's text starts where the later lines do.
    block.setLeftMargin(toPixels(f.startIndent + f.offset));
    block.setTextIndent(f.numbering != numbering::None ? 0.0 : -toPixels(f.offset));
    block.setRightMargin(toPixels(f.rightIndent));
    Qt::Alignment a = Qt::AlignLeft | Qt::AlignAbsolute;
    if (f.alignment == align::Right) a = Qt::AlignRight | Qt::AlignAbsolute;
    if (f.alignment == align::Center) a = Qt::AlignHCenter;
    if (f.alignment == align::Justify) a = Qt::AlignJustify;
    block.setAlignment(a);
    block.setProperty(kSpaceBefore, f.spaceBefore);
    block.setProperty(kSpaceAfter, f.spaceAfter);
    block.setTopMargin(toPixels(f.spaceBefore));
    block.setBottomMargin(toPixels(f.spaceAfter));
    QList<QTextOption::Tab> tabs;
    QList<int> packed;
    for (const TabStop& t : f.tabs) {
        QTextOption::Tab tab(toPixels(t.position), qtTabType(t.kind));
        if (t.kind == tabkind::Decimal) tab.delimiter = QLatin1Char('.');
        tabs.append(tab);
        packed.append(packTab(t));
    }
    block.setTabPositions(tabs);
    block.setProperty(kTabs, QVariant::fromValue(packed));
    block.setProperty(kNumberingStart, f.numberingStart);
    cursor.setBlockFormat(block);
}

void writeNumbering(QTextCursor& cursor, const ParaFormat& f) {
    QTextBlock block = cursor.block();
    QTextList* current = block.textList();
    if (f.numbering == numbering::None) {
        if (current != nullptr) {
            current->remove(block);
            QTextBlockFormat plain = cursor.blockFormat();
            plain.setIndent(0);
            plain.setObjectIndex(-1);
            cursor.setBlockFormat(plain);
        }
        return;
    }
    const int style = qtListStyle(f.numbering);
    auto same = [&](const QTextList* list) {
        const QTextListFormat q = list->format();
        return q.style() == style && q.intProperty(kListLevel) == f.listLevel &&
               q.numberPrefix() == f.numberPrefix &&
               (q.hasProperty(QTextFormat::ListNumberSuffix) ? q.numberSuffix() : QStringLiteral(".")) ==
                   f.numberSuffix;
    };
    if (current != nullptr && same(current)) return;
    if (current != nullptr) current->remove(block);
    QTextList* before = block.previous().isValid() ? block.previous().textList() : nullptr;
    if (before != nullptr && same(before)) {
        before->add(block);
        return;
    }
    QTextListFormat list;
    list.setStyle(static_cast<QTextListFormat::Style>(style));
    list.setIndent(0); // the block's own margins place the paragraph
    list.setProperty(kNumberingStart, f.numberingStart);
    list.setProperty(kListLevel, f.listLevel);
    list.setNumberPrefix(f.numberPrefix);
    list.setNumberSuffix(f.numberSuffix);
    cursor.createList(list);
}

} // namespace

int numberingOf(int qtStyle) {
    switch (qtStyle) {
    case QTextListFormat::ListDisc:
    case QTextListFormat::ListCircle:
    case QTextListFormat::ListSquare:
        return numbering::Bullets;
    case QTextListFormat::ListDecimal:
        return numbering::Arabic;
    case QTextListFormat::ListLowerAlpha:
        return numbering::LowerLetters;
    case QTextListFormat::ListUpperAlpha:
        return numbering::UpperLetters;
    case QTextListFormat::ListLowerRoman:
        return numbering::LowerRoman;
    case QTextListFormat::ListUpperRoman:
        return numbering::UpperRoman;
    default:
        return numbering::None;
    }
}

int qtListStyle(int style) {
    switch (style) {
    case numbering::Arabic:
        return QTextListFormat::ListDecimal;
    case numbering::LowerLetters:
        return QTextListFormat::ListLowerAlpha;
    case numbering::UpperLetters:
        return QTextListFormat::ListUpperAlpha;
    case numbering::LowerRoman:
        return QTextListFormat::ListLowerRoman;
    case numbering::UpperRoman:
        return QTextListFormat::ListUpperRoman;
    default:
        return QTextListFormat::ListDisc;
    }
}

int documentLength(const QTextDocument& document) {
    return std::max(0, document.characterCount() - 1);
}

QTextCharFormat toQtCharFormat(const CharFormat& f) {
    QTextCharFormat q;
    if (f.mask & cfm::Face) q.setFontFamilies(QStringList{f.face});
    // Sizes run from 1 to 1638 points, as the editor's size field holds them.
    if ((f.mask & cfm::Size) && f.height > 0) q.setFontPointSize(std::clamp(f.height, 20, 32760) / 20.0);
    if (f.mask & cfm::Bold) q.setFontWeight((f.effects & cfe::Bold) ? QFont::Bold : QFont::Normal);
    if (f.mask & cfm::Italic) q.setFontItalic((f.effects & cfe::Italic) != 0);
    if (f.mask & cfm::Underline) q.setFontUnderline((f.effects & cfe::Underline) != 0);
    if (f.mask & cfm::StrikeOut) q.setFontStrikeOut((f.effects & cfe::StrikeOut) != 0);
    if (f.mask & cfm::Protected) q.setProperty(kProtected, (f.effects & cfe::Protected) != 0);
    if (f.mask & cfm::Link) q.setProperty(kLink, (f.effects & cfe::Link) != 0);
    // An empty brush draws in the window's text colour: that is the automatic colour.
    if (f.mask & cfm::Color)
        q.setForeground((f.effects & cfe::AutoColor) ? QBrush() : QBrush(toColor(f.color)));
    if (f.mask & cfm::BackColor)
        q.setBackground((f.effects & cfe::AutoBackColor) ? QBrush() : QBrush(toColor(f.backColor)));
    if (f.mask & cfm::Offset) {
        q.setProperty(kCharOffset, clampTwips(f.offset));
        q.setVerticalAlignment(f.offset > 0   ? QTextCharFormat::AlignSuperScript
                               : f.offset < 0 ? QTextCharFormat::AlignSubScript
                                              : QTextCharFormat::AlignNormal);
    }
    if (f.mask & cfm::Charset) q.setProperty(kCharset, f.charset);
    return q;
}

CharFormat fromQtCharFormat(const QTextCharFormat& q, const QFont& base, const QColor& text) {
    CharFormat f;
    f.mask = cfm::All | cfm::BackColor;
    QStringList families = q.fontFamilies().toStringList();
    f.face = !families.isEmpty() ? families.front() : base.family();
    double points = q.hasProperty(QTextFormat::FontPointSize) ? q.fontPointSize() : base.pointSizeF();
    f.height = static_cast<int>(std::lround(points * 20));
    bool bold = q.hasProperty(QTextFormat::FontWeight) ? q.fontWeight() >= QFont::DemiBold : base.bold();
    bool italic = q.hasProperty(QTextFormat::FontItalic) ? q.fontItalic() : base.italic();
    bool underline =
        q.hasProperty(QTextFormat::TextUnderlineStyle) || q.hasProperty(QTextFormat::FontUnderline)
            ? q.fontUnderline()
            : base.underline();
    bool strike = q.hasProperty(QTextFormat::FontStrikeOut) ? q.fontStrikeOut() : base.strikeOut();
    if (bold) f.effects |= cfe::Bold;
    if (italic) f.effects |= cfe::Italic;
    if (underline) f.effects |= cfe::Underline;
    if (strike) f.effects |= cfe::StrikeOut;
    if (q.boolProperty(kProtected)) f.effects |= cfe::Protected;
    if (q.boolProperty(kLink)) f.effects |= cfe::Link;
    if (q.foreground().style() == Qt::NoBrush) {
        f.effects |= cfe::AutoColor;
        f.color = fromColor(text);
    } else {
        f.color = fromColor(q.foreground().color());
    }
    if (q.background().style() == Qt::NoBrush) {
        f.effects |= cfe::AutoBackColor;
        f.backColor = 0;
    } else {
        f.backColor = fromColor(q.background().color());
    }
    f.offset = q.intProperty(kCharOffset);
    f.charset = q.intProperty(kCharset);
    return f;
}

void applyParaFormat(QTextCursor& cursor, const ParaFormat& format) {
    QTextDocument* document = cursor.document();
    if (document == nullptr) return;
    QTextBlock first = document->findBlock(cursor.selectionStart());
    QTextBlock last = document->findBlock(cursor.selectionEnd());
    cursor.beginEditBlock();
    for (QTextBlock block = first; block.isValid(); block = block.next()) {
        ParaFormat merged = paraFormatOf(block);
        const std::uint32_t m = format.mask;
        if (m & pfm::StartIndent)
            merged.startIndent =
                (m & pfm::OffsetIndent) ? merged.startIndent + format.startIndent : format.startIndent;
        if (m & pfm::RightIndent) merged.rightIndent = format.rightIndent;
        if (m & pfm::Offset) merged.offset = format.offset;
        if (m & pfm::Alignment) merged.alignment = format.alignment;
        if (m & pfm::SpaceBefore) merged.spaceBefore = format.spaceBefore;
        if (m & pfm::SpaceAfter) merged.spaceAfter = format.spaceAfter;
        if (m & pfm::TabStops) {
            merged.tabs = format.tabs;
            std::sort(merged.tabs.begin(), merged.tabs.end(),
                      [](const TabStop& a, const TabStop& b) { return a.position < b.position; });
            if (merged.tabs.size() > static_cast<std::size_t>(kMaxTabStops)) merged.tabs.resize(kMaxTabStops);
        }
        if (m & pfm::NumberingStart) merged.numberingStart = format.numberingStart;
        if (m & pfm::Numbering) merged.numbering = format.numbering; // the first line's place depends on it
        QTextCursor at(block);
        writeBlock(at, merged);
        if (m & pfm::Numbering) {
            merged.numbering = format.numbering;
            merged.listLevel = format.listLevel;
            merged.numberPrefix = format.numberPrefix;
            merged.numberSuffix = format.numberSuffix;
            writeNumbering(at, merged);
        }
        if (block == last) break;
    }
    cursor.endEditBlock();
}

ParaFormat paraFormatOf(const QTextBlock& block) {
    ParaFormat f;
    f.mask = pfm::All & ~pfm::OffsetIndent;
    const QTextBlockFormat q = block.blockFormat();
    const double left = q.leftMargin(), indent = q.textIndent(), right = q.rightMargin();
    const bool listed = block.textList() != nullptr;
    if (q.hasProperty(kStartIndent) && q.hasProperty(kOffset) &&
        samePixels(left, toPixels(q.intProperty(kStartIndent) + q.intProperty(kOffset))) &&
        samePixels(indent, listed ? 0.0 : -toPixels(q.intProperty(kOffset)))) {
        f.startIndent = q.intProperty(kStartIndent);
        f.offset = q.intProperty(kOffset);
    } else {
        f.offset = toTwips(-indent);
        f.startIndent = toTwips(left + indent);
    }
    f.rightIndent = q.hasProperty(kRightIndent) && samePixels(right, toPixels(q.intProperty(kRightIndent)))
                        ? q.intProperty(kRightIndent)
                        : toTwips(right);
    Qt::Alignment a = q.alignment() & Qt::AlignHorizontal_Mask;
    f.alignment = (a & Qt::AlignJustify)   ? align::Justify
                  : (a & Qt::AlignHCenter) ? align::Center
                  : (a & Qt::AlignRight)   ? align::Right
                                           : align::Left;
    const double top = q.topMargin(), bottom = q.bottomMargin();
    f.spaceBefore = q.hasProperty(kSpaceBefore) && samePixels(top, toPixels(q.intProperty(kSpaceBefore)))
                        ? q.intProperty(kSpaceBefore)
                        : toTwips(top);
    f.spaceAfter = q.hasProperty(kSpaceAfter) && samePixels(bottom, toPixels(q.intProperty(kSpaceAfter)))
                       ? q.intProperty(kSpaceAfter)
                       : toTwips(bottom);
    const QList<QTextOption::Tab> tabs = q.tabPositions();
    const QList<int> packed = q.property(kTabs).value<QList<int>>();
    bool exact = packed.size() == tabs.size();
    for (qsizetype i = 0; exact && i < tabs.size(); ++i) {
        const TabStop t = unpackTab(packed[i]);
        const int shown = t.kind == tabkind::Bar ? tabkind::Left : t.kind;
        exact = samePixels(tabs[i].position, toPixels(t.position)) && tabKindOf(tabs[i].type) == shown;
    }
    for (qsizetype i = 0; i < tabs.size(); ++i) {
        if (exact)
            f.tabs.push_back(unpackTab(packed[i]));
        else
            f.tabs.push_back({toTwips(tabs[i].position), tabKindOf(tabs[i].type), tableader::None});
    }
    if (QTextList* list = block.textList()) {
        f.numbering = numberingOf(list->format().style());
        QVariant start = list->format().property(kNumberingStart);
        f.numberingStart = start.isValid() ? start.toInt() : 1;
        f.listLevel = list->format().intProperty(kListLevel);
        f.numberPrefix = list->format().numberPrefix();
        f.numberSuffix = list->format().hasProperty(QTextFormat::ListNumberSuffix)
                             ? list->format().numberSuffix()
                             : QStringLiteral(".");
    } else {
        f.numbering = numbering::None;
        f.numberingStart = q.hasProperty(kNumberingStart) ? q.intProperty(kNumberingStart) : 1;
    }
    return f;
}

} // namespace docket::ui
