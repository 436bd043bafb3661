#pragma once
// The RTF reader: reads RTF bytes and feeds the document to an RtfSink, in one linear pass.
//
// It understands the font and colour tables, character formatting (\plain \b \i \ul \ulnone
// \strike \f \fs \cf \highlight \chcbpat \cb), paragraph formatting (\pard \ql \qc \qr \qj \li \ri
// \fi \sb \sa, tab stops \tx \tb with \tqc \tqr \tqdec and leaders), both forms of lists (the
// legacy {\*\pn ...} with its {\pntext} marker, and \listtable \listoverridetable \ls \ilvl with
// its {\listtext} marker; the literal markers are skipped, markers come from the list formats),
// \'hh bytes decoded through the font's \fcharset, else \ansicpg, else Windows-1252, \u with \uc
// and surrogate pairs, \bin, the special characters (\tab \line \emdash \endash \bullet \lquote
// \rquote \ldblquote \rdblquote \~ \- \_ ...). Destinations marked \* and the known destinations
// without text (style sheet, info, pictures, objects, headers, footers, fields' instructions...)
// are skipped, and so is hidden text (\v); a field's result is text; tables read as
// tab-separated cells, one row per paragraph; \page and \sect end a paragraph that has text.
//
// Paragraph properties apply to the paragraph that a \par ends, wherever they stand inside it, so
// the reader holds one paragraph at a time and hands it to the sink at its end.
//
// What it promises on any input: it never crashes, returns after one pass over the bytes, and
// keeps to the limits below (group depth, text delivered, paragraphs delivered, tables' sizes).
// Damaged input gives what could be read and a warning: a document cut off before its closing
// braces keeps all of its text. Only bytes that do not begin with "{\rtf" (in any case, after an
// optional byte-order mark and blanks) fail outright, and then the sink is given nothing at all.
// Bytes after the document's closing brace (a field's padding, a terminating NUL) are ignored.
// Control characters other than tab and line break are dropped, as the writer drops them.
//
// Runs on any thread; it keeps no state between calls.
#include <cstddef>
#include <string>
#include <string_view>

#include "rtf/codec/rich_text.h"

namespace docket::rtf {

struct ReadLimits {
    int maxDepth = 256;                   // groups nested deeper are skipped
    std::size_t maxTextBytes = 8u << 20;  // UTF-8 bytes of text handed to the sink
    std::size_t maxParagraphs = 1u << 18; // paragraphs handed to the sink
};

struct ReadResult {
    bool ok = false;        // the bytes were RTF and the sink got a whole walk
    bool truncated = false; // the input ended inside a group (missing closing braces)
    bool limited = false;   // a limit cut the document or skipped a part of it
    std::string message;    // why it failed, or the warnings ("; " between them); empty when clean
};

ReadResult readRtf(std::string_view rtf, RtfSink& sink, const ReadLimits& limits = {});

// True when the bytes begin with "{\rtf" (exactly, as a file must; with ignoreCase as the memo
// field's test has it, "{\RTF" too).
bool looksLikeRtf(std::string_view bytes, bool ignoreCase = false);

} // namespace docket::rtf
