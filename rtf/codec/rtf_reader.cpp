#include "rtf/codec/rtf_reader.h"

namespace docket::rtf {

bool looksLikeRtf(std::string_view bytes, bool ignoreCase) {
    if (bytes.size() < 5 || bytes[0] != '{' || bytes[1] != '\\') return false;
    for (std::size_t i = 0; i < 3; ++i) {
        char c = bytes[2 + i];
        if (ignoreCase && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != "rtf"[i]) return false;
    }
    return true;
}

ReadResult readRtf(std::string_view, RtfSink&, const ReadLimits&) { return {false, false, false, "not yet"}; }

} // namespace docket::rtf
