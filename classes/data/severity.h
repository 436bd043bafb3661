#pragma once
// Severity: the severity of a message and the result of most application-class operations.
// ButtonSet: the buttons of a message, as a bit set; a message returns the bit of the button
// pressed.
#include <cstdint>

namespace docket::classes {

enum class Severity : std::uint8_t {
    Proceed = 0,      // nothing shown; success, or the user answered Yes
    Question = 1,     // Yes/No question
    ProgramFault = 2, // programming error, handled like Fatal
    Fatal = 3,        // message, then the program halts
    Declined = 4,     // the user answered No, or the operation was abandoned
    Inform = 5,       // message with OK; a failure the user has been told about
};

using ButtonSet = std::uint32_t;

namespace button {
inline constexpr ButtonSet kOk = 1;
inline constexpr ButtonSet kYes = 2;
inline constexpr ButtonSet kNo = 4;
inline constexpr ButtonSet kAbort = 8;
inline constexpr ButtonSet kRetry = 16;
inline constexpr ButtonSet kIgnore = 32;
inline constexpr ButtonSet kCancel = 64;
inline constexpr ButtonSet kHelp = 128;
} // namespace button

} // namespace docket::classes
