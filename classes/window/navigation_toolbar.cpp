#include "classes/window/navigation_toolbar.h"

#include <algorithm>

#include "classes/window/requests.h"
#include "classes/window/window_flow.h"
#include "ui/events.h"
#include "ui/window.h"

namespace docket::classes {

namespace tb = toolbar_button;

// ---- Tool-tip tables ----------------------------------------------------------------------------------

const std::vector<ToolTip>& formChangeToolTips() {
    static const std::vector<ToolTip> table{
        {tb::Bottom, "Save changes and go to last record"},
        {tb::Top, "Save changes and go to first record"},
        {tb::PageDown, "Save changes and page down to record"},
        {tb::PageUp, "Save changes and page up to record"},
        {tb::Down, "Save changes and go to next record"},
        {tb::Up, "Save changes and go to previous record"},
        {tb::Insert, "Save this record and add a new one"},
    };
    return table;
}

const std::vector<ToolTip>& formInsertToolTips() {
    static const std::vector<ToolTip> table{
        {tb::Insert, "Save record and add another"},
        {tb::Down, "Save record and add another"},
    };
    return table;
}

const std::vector<ToolTip>& listToolTips() {
    // "Next Record" stands twice in the table; applied in order, the second one wins.
    static const std::vector<ToolTip> table{
        {tb::Down, "Go to the Next Record"},  {tb::Bottom, "Go to the Last Page"},
        {tb::Top, "Go to the First Page"},    {tb::PageDown, "Go to the Next Page"},
        {tb::PageUp, "Go to the Prior Page"}, {tb::Down, "Go to the Next Record"},
        {tb::Up, "Go to the Prior Record"},   {tb::Insert, "Insert a new Record"},
    };
    return table;
}

// ---- NavigationTarget -----------------------------------------------------------------------------------

NavigationTarget::~NavigationTarget() {
    if (toolbar_ != nullptr) toolbar_->forget(*this);
}

void NavigationTarget::SetFlowState(bool, std::uint8_t) {}

void NavigationTarget::Init() {}

void NavigationTarget::enable(std::int32_t first, std::int32_t last, bool on) {
    if (toolbar_ != nullptr) toolbar_->enable(first, last, on);
}

bool NavigationTarget::windowButtonEnabled(std::int32_t control) const {
    if (control == 0 || toolbar_ == nullptr || toolbar_->window() == nullptr) return false;
    const ui::Window* w = toolbar_->window()->window();
    return w != nullptr && w->exists(control) && w->getInt(control, "Enabled") != 0;
}

void NavigationTarget::commonAction(std::int32_t button, WindowFlow* window) {
    std::int32_t pressed = 0;
    switch (button) {
    case tb::Insert:
        pressed = INSERTBUTTON;
        break;
    case tb::Change:
        pressed = CHANGEBUTTON;
        break;
    case tb::Delete:
        pressed = DELETEBUTTON;
        break;
    default:
        // Help (3013) would open the help on the window's help context; the program has no help
        // system, so it does nothing.
        return;
    }
    // A window without a button of that role has nothing to press.
    if (pressed == 0 || window == nullptr || window->window() == nullptr) return;
    window->window()->post(ui::event::Accepted, pressed);
}

// ---- FormNavTarget --------------------------------------------------------------------------------------

void FormNavTarget::SetFlowState(bool dittoAvailable, std::uint8_t originalRequest) {
    HISTORY = dittoAvailable ? 1 : 0;
    REQUEST = originalRequest;
}

std::uint8_t FormNavTarget::TryGrabFocus() {
    GrabFocus();
    return 1;
}

void FormNavTarget::GrabFocus() {
    if (toolbar() != nullptr) {
        if (REQUEST == RequestInsert) toolbar()->applyToolTips(formInsertToolTips());
        if (REQUEST == RequestChange) toolbar()->applyToolTips(formChangeToolTips());
    }
    ShowButtons();
}

void FormNavTarget::ShowButtons() {
    if (toolbar() == nullptr) return;
    if (REQUEST == RequestInsert || REQUEST == RequestChange) {
        if (REQUEST == RequestInsert) {
            enable(tb::Down, tb::Down, true);
            enable(tb::Insert, tb::Insert, true);
            enable(tb::Change, tb::PageUp, false);
            enable(tb::Up, tb::Locate, false);
        } else {
            enable(tb::Bottom, tb::Up, true);
            enable(tb::Insert, tb::Insert, true);
            enable(tb::Change, tb::Select, false);
        }
        enable(tb::Help, tb::Help, HELPBUTTON != 0 && windowButtonEnabled(HELPBUTTON));
        enable(tb::History, tb::History, HISTORY != 0);
    } else {
        enable(tb::First, tb::History, false);
    }
    toolbar()->redisplay();
}

void FormNavTarget::HandleAction(std::int32_t* vcrRequest, WindowFlow* window) {
    if (window == nullptr || window->window() == nullptr) return;
    const std::int32_t button = window->window()->control();
    if ((button >= tb::Bottom && button <= tb::Up) || button == tb::Insert) {
        // Save first: the form's completion validates and writes the record; the list that called
        // the form then carries out the move it finds in PendingNavigation.
        if (vcrRequest != nullptr) *vcrRequest = button;
        if (window->OKCONTROL != 0) window->window()->post(ui::event::Accepted, window->OKCONTROL);
        return;
    }
    commonAction(button, window);
}

// ---- ListNavTarget --------------------------------------------------------------------------------------

std::uint8_t ListNavTarget::TryGrabFocus() {
    if (toolbar() == nullptr || toolbar()->window() == nullptr) return 0;
    const ui::Window* w = toolbar()->window()->window();
    if (w == nullptr || CONTROL <= 0 || !w->exists(CONTROL) || w->getInt(CONTROL, "Visible") == 0) return 0;
    GrabFocus();
    return 1;
}

void ListNavTarget::GrabFocus() {
    if (toolbar() != nullptr) toolbar()->applyToolTips(listToolTips());
    ShowButtons();
}

void ListNavTarget::ShowButtons() {
    if (toolbar() == nullptr) return;
    enable(tb::History, tb::History, false);
    enable(tb::Bottom, tb::Locate, true);
    const std::pair<std::int32_t, std::int32_t> roles[] = {
        {tb::Select, SELECTBUTTON}, {tb::Delete, DELETEBUTTON}, {tb::Change, CHANGEBUTTON},
        {tb::Insert, INSERTBUTTON}, {tb::Help, HELPBUTTON},     {tb::Locate, LOCATEBUTTON},
    };
    for (const auto& [button, own] : roles) enable(button, button, windowButtonEnabled(own));
    toolbar()->redisplay();
}

void ListNavTarget::HandleAction(std::int32_t*, WindowFlow* window) {
    if (window == nullptr || window->window() == nullptr) return;
    ui::Window& w = *window->window();
    const std::int32_t button = w.control();
    std::uint32_t scroll = 0;
    switch (button) {
    case tb::Select:
        window->UpdateComponents();
        window->RESPONSE = Completed;
        w.post(ui::event::CloseWindow);
        return;
    case tb::Bottom:
        scroll = ui::event::ScrollBottom;
        break;
    case tb::Top:
        scroll = ui::event::ScrollTop;
        break;
    case tb::PageDown:
        scroll = ui::event::PageDown;
        break;
    case tb::PageUp:
        scroll = ui::event::PageUp;
        break;
    case tb::Down:
        scroll = ui::event::ScrollDown;
        break;
    case tb::Up:
        scroll = ui::event::ScrollUp;
        break;
    case tb::Locate:
        scroll = ui::event::Locate;
        break;
    default:
        commonAction(button, window);
        return;
    }
    if (CONTROL > 0) w.post(scroll, CONTROL);
}

// ---- NavigationToolbar ----------------------------------------------------------------------------------

NavigationToolbar::~NavigationToolbar() {
    Shutdown();
    if (window_ != nullptr && window_->TOOLBAR == this) window_->TOOLBAR = nullptr;
}

void NavigationToolbar::forget(NavigationTarget& target) {
    if (!LIST) return;
    NavigationTarget* const current = this->current();
    std::erase_if(*LIST, [&target](const Entry& e) { return e.TARGET == &target; });
    current_ = -1;
    for (std::size_t i = 0; i < LIST->size(); ++i)
        if ((*LIST)[i].TARGET == current) current_ = static_cast<std::ptrdiff_t>(i);
}

void NavigationToolbar::Init() {
    LIST = std::make_unique<std::vector<Entry>>();
    current_ = -1;
    enabled_.fill(false);
    for (std::string& tip : tips_) tip.clear();
}

void NavigationToolbar::Shutdown() {
    if (LIST) {
        for (Entry& e : *LIST) e.TARGET->toolbar_ = nullptr;
    }
    LIST.reset();
    current_ = -1;
}

void NavigationToolbar::RegisterTarget(NavigationTarget& target, std::int32_t control) {
    if (!LIST) Init();
    NavigationTarget* const current = this->current();
    target.CONTROL = control;
    target.toolbar_ = this;
    auto at = std::upper_bound(LIST->begin(), LIST->end(), control,
                               [](std::int32_t c, const Entry& e) { return c < e.CONTROL; });
    LIST->insert(at, Entry{control, &target});
    // The current entry stays the same target although its index may have moved.
    current_ = -1;
    for (std::size_t i = 0; i < LIST->size(); ++i)
        if ((*LIST)[i].TARGET == current) current_ = static_cast<std::ptrdiff_t>(i);
}

void NavigationToolbar::SetCurrentTarget(std::int32_t control) {
    if (!LIST) return;
    if (control != 0) {
        for (std::size_t i = 0; i < LIST->size(); ++i) {
            if ((*LIST)[i].CONTROL == control) {
                current_ = static_cast<std::ptrdiff_t>(i);
                (*LIST)[i].TARGET->GrabFocus();
                return;
            }
        }
        return;
    }
    for (std::size_t i = 0; i < LIST->size(); ++i)
        if ((*LIST)[i].TARGET->TryGrabFocus()) current_ = static_cast<std::ptrdiff_t>(i);
}

NavigationTarget* NavigationToolbar::current() const {
    if (!LIST || current_ < 0 || current_ >= static_cast<std::ptrdiff_t>(LIST->size())) return nullptr;
    return (*LIST)[static_cast<std::size_t>(current_)].TARGET;
}

void NavigationToolbar::ShowButtons() {
    if (NavigationTarget* target = current()) target->ShowButtons();
}

void NavigationToolbar::OnEvent(std::int32_t* vcrRequest) {
    // Without a current target there is nobody to act: the event is left alone.
    NavigationTarget* target = current();
    if (target == nullptr || window_ == nullptr || window_->window() == nullptr) return;
    if (window_->window()->control() == 0) return;
    target->HandleAction(vcrRequest, window_);
}

void NavigationToolbar::enable(std::int32_t first, std::int32_t last, bool on) {
    ui::Window* w = window_ != nullptr ? window_->window() : nullptr;
    for (std::int32_t button = std::max(first, tb::First); button <= std::min(last, tb::Last); ++button) {
        enabled_[static_cast<std::size_t>(button - tb::First)] = on;
        if (w != nullptr && w->exists(button)) w->setInt(button, "Enabled", on ? 1 : 0);
    }
}

void NavigationToolbar::applyToolTips(const std::vector<ToolTip>& table) {
    ui::Window* w = window_ != nullptr ? window_->window() : nullptr;
    for (const ToolTip& tip : table) {
        if (!inRange(tip.button)) continue;
        tips_[static_cast<std::size_t>(tip.button - tb::First)] = tip.text;
        if (w != nullptr && w->exists(tip.button)) w->set(tip.button, "Tip", tip.text);
    }
}

void NavigationToolbar::redisplay() {
    ui::Window* w = window_ != nullptr ? window_->window() : nullptr;
    if (w == nullptr) return;
    for (std::int32_t button = tb::First; button <= tb::Last; ++button)
        if (w->exists(button)) w->display(button);
}

bool NavigationToolbar::enabled(std::int32_t button) const {
    return inRange(button) && enabled_[static_cast<std::size_t>(button - tb::First)];
}

std::string NavigationToolbar::toolTip(std::int32_t button) const {
    return inRange(button) ? tips_[static_cast<std::size_t>(button - tb::First)] : std::string();
}

} // namespace docket::classes
