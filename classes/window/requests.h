#pragma once
// The request conventions between procedures. A procedure that opens a form for one record puts
// the request in PendingRequest; the form copies it into its own REQUEST and clears PendingRequest
// and LastResponse; when it ends, the form leaves its outcome in LastResponse. PendingNavigation
// carries the navigation tool bar's pending move (a button number, 0 for none) from a form back to
// the list that called it.
//
// All three are process-wide and start at 0. Every window runs on the program's one user-interface
// thread, and a procedure that opens a window waits for it, so they need no locks.
#include <cstdint>

namespace docket::classes {

inline constexpr std::uint8_t RequestInsert = 1;
inline constexpr std::uint8_t RequestChange = 2;
inline constexpr std::uint8_t RequestDelete = 3;
inline constexpr std::uint8_t RequestSelect = 4;
inline constexpr std::uint8_t RequestView = 6;

inline constexpr std::uint8_t Completed = 1;
inline constexpr std::uint8_t Cancelled = 2;

extern std::uint8_t PendingRequest;
extern std::uint8_t LastResponse;
extern std::int32_t PendingNavigation;

} // namespace docket::classes
