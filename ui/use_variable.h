#pragma once
// Use variables: the program's variable a control shows and writes back. Texts are Windows-1252.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace docket::ui {

struct UseVariable {
    bool numeric = false;
    std::function<double()> getNumber;
    std::function<void(double)> setNumber;
    std::function<std::string()> getText;
    std::function<void(const std::string&)> setText;
    bool bound() const { return numeric ? static_cast<bool>(getNumber) : static_cast<bool>(getText); }
};

// A text variable; `limit` cuts longer values as a fixed-length field would (0: no limit).
UseVariable useText(std::string& variable, std::size_t limit = 0);
template <typename Number> UseVariable useNumber(Number& variable) {
    UseVariable use;
    use.numeric = true;
    use.getNumber = [&variable] { return static_cast<double>(variable); };
    use.setNumber = [&variable](double value) { variable = static_cast<Number>(value); };
    return use;
}

// The rows a list box or drop control shows: the display queue, or the program's own row source.
class ListSource {
public:
    virtual ~ListSource() = default;
    virtual int rowCount() const = 0;
    // The text of queue field `field` (1-based) of row `row` (0-based); numbers in plain form.
    virtual std::string field(int row, int field) const = 0;
};

// A display queue of text rows.
class QueueSource : public ListSource {
public:
    std::vector<std::vector<std::string>> rows;
    int rowCount() const override { return static_cast<int>(rows.size()); }
    std::string field(int row, int field) const override;
};

} // namespace docket::ui
