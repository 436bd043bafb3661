#pragma once
// How the error reporter shows a message or the message history and learns the user's answer. The
// window system installs a hook that shows a message box (or the history window); until then the
// default hook answers every request with its default button. Tests install a scripted hook that
// records the requests and answers as told.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "classes/data/severity.h"

namespace docket::classes {

// One entry of the message history.
struct HistoryEntry {
    std::string CATEGORY;
    std::string TXT; // the expanded text, at most 1024 characters
    std::uint16_t ID = 0;
};

// The icons of messages, numbered as the window system numbers its message icons.
namespace icon {
inline constexpr int kNone = 0;
inline constexpr int kQuestion = 3;
inline constexpr int kExclamation = 4;
} // namespace icon

struct MessageRequest {
    std::string text;  // empty for the history window
    std::string title; // the caption
    int icon = icon::kNone;
    ButtonSet buttons = button::kOk;
    ButtonSet defaultButton = button::kOk;
    std::uint32_t style = 0;
    // Set for the history window: the entries to list (message and category columns).
    const std::vector<HistoryEntry>* history = nullptr;
};

using MessageHook = std::function<ButtonSet(const MessageRequest&)>;

// Replaces the hook; an empty hook restores the default. Returns the previous hook.
MessageHook setMessageHook(MessageHook hook);
// Runs the hook.
ButtonSet showMessage(const MessageRequest& request);

} // namespace docket::classes
