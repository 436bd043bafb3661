// libFuzzer target: any picture text must compile to a descriptor whose formatting and reading
// neither crash nor break its width promise. The first byte picks a value, the rest is the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "runtime/picture/picture.h"

using namespace docket::runtime;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    static const double kValues[] = {0,       1,     -1, 0.5,     -1234.5678, 1e300,
                                     -1e-300, 72005, 4,  2994626, 8640000,    4710001};
    const double value = kValues[data[0] % (sizeof kValues / sizeof kValues[0])];
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    const Picture picture = compilePicture(text);
    if (!picture.valid()) {
        if (!(picture == Picture{}) || !formatNumber(value, picture).empty()) std::abort();
        return 0;
    }
    const std::string shown = formatNumber(value, picture);
    const std::string typed = formatText(text, picture);
    if (shown.size() > picture.width || typed.size() > picture.width) std::abort();
    const bool exact = picture.kind == PictureKind::Numeric || picture.kind == PictureKind::Scientific ||
                       picture.kind == PictureKind::String || picture.kind == PictureKind::KeyIn;
    if (exact && shown.size() != picture.width) std::abort();
    (void)deformatNumber(shown, picture);
    (void)deformatNumber(text, picture);
    (void)deformatText(text, picture);
    return 0;
}
