#include "ui/use_variable.h"

namespace docket::ui {

UseVariable useText(std::string& variable, std::size_t limit) {
    UseVariable use;
    use.getText = [&variable] { return variable; };
    use.setText = [&variable, limit](const std::string& value) {
        variable = limit != 0 && value.size() > limit ? value.substr(0, limit) : value;
    };
    return use;
}

std::string QueueSource::field(int row, int field) const {
    if (row < 0 || row >= rowCount() || field < 1) return {};
    const auto& values = rows[static_cast<std::size_t>(row)];
    return static_cast<std::size_t>(field) <= values.size() ? values[static_cast<std::size_t>(field) - 1]
                                                            : std::string();
}

} // namespace docket::ui
