// libFuzzer target: loads arbitrary bytes as a packed message table, then reports every id it
// loaded with arbitrary placeholder values, silently and with a history, so that nothing is shown
// and nothing halts.
#include <cstddef>
#include <cstdint>
#include <string>

#include "classes/data/error_reporter.h"
#include "runtime/core/fatal.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace docket::classes;
    static const bool hooked = [] {
        docket::runtime::setFatalHook([](const std::string&) {});
        return true;
    }();
    (void)hooked;
    ErrorReporter reporter;
    reporter.SILENT = true;
    reporter.HISTORYTHRESHOLD = 4;
    const std::size_t builtIn = reporter.ERRORS.size();
    reporter.AddMessageTable({data, size});
    // The same bytes give the placeholder values, with line ends and percent signs in them.
    const std::string text(reinterpret_cast<const char*>(data), size);
    reporter.SetFileName(text);
    reporter.SetFieldName(text.substr(size / 2));
    reporter.NoteProcedure(text.substr(0, 64));
    for (std::size_t i = builtIn; i < reporter.ERRORS.size() && i < builtIn + 64; ++i) {
        reporter.RaiseText(reporter.ERRORS[i].ID, text);
        reporter.Confirm(reporter.ERRORS[i].ID, button::kYes | button::kNo, button::kNo);
    }
    return 0;
}
