// libFuzzer target for the RTF reader: any bytes read without a crash, a hang or unbounded output,
// and what the writer makes of the document read is a fixed point: read and written again, it
// gives the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "rtf/codec/rich_document.h"
#include "rtf/codec/rtf_reader.h"
#include "rtf/codec/rtf_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace docket::rtf;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    ReadLimits limits;
    limits.maxTextBytes = 1u << 20;
    limits.maxParagraphs = 1u << 14;
    RichDocument document;
    if (!readRtf(input, document, limits).ok) return 0;
    const std::string first = writeRtf(document);
    RichDocument again;
    if (!readRtf(first, again, limits).ok) std::abort();
    if (writeRtf(again) != first) std::abort();
    return 0;
}
