// Rich-text regions: a RichTextControl over a text variable that holds the document as RTF (or as
// plain text, Windows-1252, when the variable does not start with "{\rtf"). Showing the variable
// streams it in; taking it streams the document out as RTF, and a document whose RTF does not fit
// the variable is refused, the variable left as it was, rather than cut. The RTF goes through the
// codec the editor layer installs; without one the region shows and keeps plain text.
#include "ui/control.h"
#include "ui/controls/builtin.h"
#include "ui/rich_text_control.h"
#include "ui/text.h"
#include "ui/window.h"

#include <cstdlib>

namespace docket::ui {
namespace {

bool looksLikeRtf(std::string_view bytes) {
    const std::size_t start = bytes.find_first_not_of(" \t\r\n");
    return start != std::string_view::npos && bytes.substr(start, 5) == "{\\rtf";
}

RichTextControl* control(const Control& c) {
    return static_cast<RichTextControl*>(c.widget);
}

class RichTextKind final : public ControlKind {
public:
    void create(Window&, Control& c, QWidget* parent) const override {
        auto* edit = new RichTextControl(parent);
        edit->setReadOnly((c.def.attributes & attr::ReadOnly) != 0);
        edit->setScrollBars((c.def.attributes & attr::VScroll) != 0, (c.def.attributes & attr::HScroll) != 0);
        c.widget = edit;
    }

    void show(Window&, Control& c) const override {
        if (!c.use.bound() || c.use.numeric) return;
        std::string text = c.use.getText();
        // A fixed-length field pads with blanks: they are no part of the document.
        text.erase(text.find_last_not_of(' ') + 1);
        std::string error;
        const bool rtf = looksLikeRtf(text) && richTextCodec() != nullptr;
        if (!control(c)->streamIn(rtf ? StreamFormat::Rtf : StreamFormat::Text, text, true, error))
            control(c)->streamIn(StreamFormat::Text, text, true, error);
        control(c)->setModified(false);
    }

    bool take(Window&, Control& c, bool all) const override {
        if (!c.use.bound() || c.use.numeric) return true;
        if (!all && !control(c)->modified()) return true;
        std::string bytes, error;
        const StreamFormat format = richTextCodec() ? StreamFormat::Rtf : StreamFormat::Text;
        if (!control(c)->streamOut(format, bytes, error)) return false;
        // The variable cuts what is longer than its field: such a document is refused whole and
        // the variable keeps what it held.
        const std::string before = c.use.getText();
        c.use.setText(bytes);
        std::string stored = c.use.getText();
        stored.erase(stored.find_last_not_of(' ') + 1);
        std::string written = bytes;
        written.erase(written.find_last_not_of(' ') + 1);
        if (stored == written) return true;
        c.use.setText(before);
        return false;
    }

    bool validated(const Control&) const override { return false; }

    std::optional<std::string> get(const Window&, const Control& c, std::string_view name) const override {
        if (isProperty(name, "Text")) return fromQt(documentText(*control(c)->document()));
        if (isProperty(name, "ReadOnly")) return propertyNumber(control(c)->isReadOnly() ? 1 : 0);
        if (isProperty(name, "Modified")) return propertyNumber(control(c)->modified() ? 1 : 0);
        return std::nullopt;
    }

    PropertyResult set(Window&, Control& c, std::string_view name, const std::string& value) const override {
        const long n = std::strtol(value.c_str(), nullptr, 10);
        if (isProperty(name, "ReadOnly")) {
            control(c)->setReadOnly(n != 0);
        } else if (isProperty(name, "Modified")) {
            control(c)->setModified(n != 0);
        } else {
            return PropertyResult::NotMine;
        }
        return PropertyResult::Done;
    }
};

} // namespace

const ControlKind& richTextKind() {
    static const RichTextKind kind;
    return kind;
}

} // namespace docket::ui
