#include "classes/window/requests.h"

namespace docket::classes {

std::uint8_t PendingRequest = 0;
std::uint8_t LastResponse = 0;
std::int32_t PendingNavigation = 0;

} // namespace docket::classes
