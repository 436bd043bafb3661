#include "rtf/text_document.h"

#include "rtf/codec/rtf_reader.h"
#include "rtf/codec/rtf_writer.h"

#include <QColor>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>
#include <QVariant>

#include <cmath>

namespace docket::rtf {
namespace {

// The document's default tab width in twips, kept beside Qt's pixel distance.
constexpr const char* kDefaultTabProperty = "docketDefaultTab";

// 0xRRGGBB and 0x00BBGGRR are the same three bytes in the other order.
std::uint32_t swapRedBlue(std::uint32_t value) {
    return ((value & 0xFF) << 16) | (value & 0xFF00) | ((value >> 16) & 0xFF);
}

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

ui::CharFormat toControlFormat(const CharFormat& f) {
    ui::CharFormat c;
    c.mask = ui::cfm::All | ui::cfm::BackColor;
    if (f.font.empty()) c.mask &= ~ui::cfm::Face; // the document's default font
    c.face = fromUtf8(f.font);
    c.charset = f.charset;
    c.height = f.halfPoints * 10;
    if (f.bold) c.effects |= ui::cfe::Bold;
    if (f.italic) c.effects |= ui::cfe::Italic;
    if (f.underline) c.effects |= ui::cfe::Underline;
    if (f.strike) c.effects |= ui::cfe::StrikeOut;
    if (f.color.automatic)
        c.effects |= ui::cfe::AutoColor;
    else
        c.color = static_cast<long>(swapRedBlue(f.color.rgb));
    if (f.background.automatic)
        c.effects |= ui::cfe::AutoBackColor;
    else
        c.backColor = static_cast<long>(swapRedBlue(f.background.rgb));
    return c;
}

CharFormat fromControlFormat(const ui::CharFormat& c) {
    CharFormat f;
    f.font = c.face.toStdString();
    f.charset = static_cast<std::uint8_t>(c.charset);
    f.halfPoints = static_cast<int>(std::lround(c.height / 10.0));
    f.bold = (c.effects & ui::cfe::Bold) != 0;
    f.italic = (c.effects & ui::cfe::Italic) != 0;
    f.underline = (c.effects & ui::cfe::Underline) != 0;
    f.strike = (c.effects & ui::cfe::StrikeOut) != 0;
    if (!(c.effects & ui::cfe::AutoColor))
        f.color = Color::fromRgb(swapRedBlue(static_cast<std::uint32_t>(c.color)));
    if (!(c.effects & ui::cfe::AutoBackColor))
        f.background = Color::fromRgb(swapRedBlue(static_cast<std::uint32_t>(c.backColor)));
    return f;
}

ui::ParaFormat toControlFormat(const ParagraphFormat& f) {
    ui::ParaFormat p;
    p.mask = ui::pfm::All & ~ui::pfm::OffsetIndent;
    switch (f.alignment) {
    case Alignment::Right:
        p.alignment = ui::align::Right;
        break;
    case Alignment::Center:
        p.alignment = ui::align::Center;
        break;
    case Alignment::Justify:
        p.alignment = ui::align::Justify;
        break;
    default:
        p.alignment = ui::align::Left;
        break;
    }
    // RTF's left indent is where the later lines start and the first-line indent is relative to
    // it; the control counts from the first line.
    p.startIndent = f.leftIndent + f.firstLineIndent;
    p.offset = -f.firstLineIndent;
    p.rightIndent = f.rightIndent;
    p.spaceBefore = f.spaceBefore;
    p.spaceAfter = f.spaceAfter;
    for (const TabStop& t : f.tabs)
        p.tabs.push_back({t.position, static_cast<int>(t.kind), static_cast<int>(t.leader)});
    p.numbering = static_cast<int>(f.list.style);
    p.numberingStart = f.list.start;
    p.listLevel = f.list.level;
    p.numberPrefix = fromUtf8(f.list.textBefore);
    p.numberSuffix = fromUtf8(f.list.textAfter);
    return p;
}

ParagraphFormat fromControlFormat(const ui::ParaFormat& p) {
    ParagraphFormat f;
    switch (p.alignment) {
    case ui::align::Right:
        f.alignment = Alignment::Right;
        break;
    case ui::align::Center:
        f.alignment = Alignment::Center;
        break;
    case ui::align::Justify:
        f.alignment = Alignment::Justify;
        break;
    default:
        f.alignment = Alignment::Left;
        break;
    }
    f.firstLineIndent = -p.offset;
    f.leftIndent = p.startIndent + p.offset;
    f.rightIndent = p.rightIndent;
    f.spaceBefore = p.spaceBefore;
    f.spaceAfter = p.spaceAfter;
    for (const ui::TabStop& t : p.tabs) {
        if (f.tabs.size() >= kMaxTabStops) break;
        f.tabs.push_back({t.position, static_cast<TabKind>(t.kind), static_cast<TabLeader>(t.leader)});
    }
    if (p.numbering >= ui::numbering::Bullets && p.numbering <= ui::numbering::UpperRoman) {
        f.list.style = static_cast<ListStyle>(p.numbering);
        f.list.level = p.listLevel;
        f.list.start = p.numberingStart;
        if (f.list.style != ListStyle::Bullet) {
            f.list.textBefore = p.numberPrefix.toStdString();
            f.list.textAfter = p.numberSuffix.toStdString();
        }
    }
    return f;
}

void TextDocumentSink::beginDocument(const DocumentFormat& format) {
    document_.clear();
    QTextOption option = document_.defaultTextOption();
    option.setTabStopDistance(format.defaultTabWidth / ui::kTwipsPerPixel);
    document_.setDefaultTextOption(option);
    document_.setProperty(kDefaultTabProperty, format.defaultTabWidth);
    cursor_ = QTextCursor(&document_);
    first_ = true;
}

void TextDocumentSink::beginParagraph(const ParagraphFormat& format) {
    if (cursor_.isNull()) beginDocument({});
    if (!first_) cursor_.insertBlock();
    first_ = false;
    ui::applyParaFormat(cursor_, toControlFormat(format));
}

void TextDocumentSink::text(std::string_view utf8, const CharFormat& format) {
    if (cursor_.isNull()) return;
    QString text = fromUtf8(utf8);
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    text.remove(QLatin1Char('\r'));
    cursor_.insertText(text, ui::toQtCharFormat(toControlFormat(format)));
}

void TextDocumentSource::walk(RtfSink& sink) const {
    DocumentFormat df;
    const QVariant tab = document_.property(kDefaultTabProperty);
    if (tab.isValid()) df.defaultTabWidth = tab.toInt();
    sink.beginDocument(df);
    if (ui::documentLength(document_) == 0) {
        sink.endDocument();
        return;
    }
    const QFont base = document_.defaultFont();
    for (QTextBlock block = document_.begin(); block.isValid(); block = block.next()) {
        sink.beginParagraph(fromControlFormat(ui::paraFormatOf(block)));
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            QString text = fragment.text();
            text.replace(QChar::LineSeparator, QLatin1Char('\n'));
            text.remove(QChar::ObjectReplacementCharacter);
            if (text.isEmpty()) continue;
            const std::string utf8 = text.toStdString();
            sink.text(utf8, fromControlFormat(ui::fromQtCharFormat(fragment.charFormat(), base, Qt::black)));
        }
        sink.endParagraph();
    }
    sink.endDocument();
}

bool QtRichTextCodec::read(std::string_view bytes, QTextDocument& document, std::string& error) {
    TextDocumentSink sink(document);
    ReadResult result = readRtf(bytes, sink);
    if (!result.ok) {
        error = result.message.empty() ? "not an RTF document" : result.message;
        return false;
    }
    return true;
}

std::string QtRichTextCodec::write(const QTextDocument& document) {
    return writeRtf(TextDocumentSource(document));
}

void installRichTextCodec() {
    static QtRichTextCodec codec;
    ui::setRichTextCodec(&codec);
}

} // namespace docket::rtf
