#include "rtf/codec/rtf_writer.h"

namespace docket::rtf {

struct RtfWriter::State {
    std::string out;
};

RtfWriter::RtfWriter() : state_(std::make_unique<State>()) {}
RtfWriter::~RtfWriter() = default;
void RtfWriter::beginDocument(const DocumentFormat&) {}
void RtfWriter::beginParagraph(const ParagraphFormat&) {}
void RtfWriter::text(std::string_view, const CharFormat&) {}
void RtfWriter::endParagraph() {}
void RtfWriter::endDocument() {}
std::string RtfWriter::take() { return std::move(state_->out); }

std::string writeRtf(const RtfSource& source) {
    RtfWriter writer;
    source.walk(writer);
    return writer.take();
}

} // namespace docket::rtf
