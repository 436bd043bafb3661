#pragma once
// The registration record of the native driver "QUORVANE".
#include "drivers/driver.h"
#include "drivers/driver_trace.h"

namespace docket::drivers::qvn {

const DriverRegistration& registration();
DriverTrace& trace();

// The driver's operations, run through the trace. Until the native file layer is linked in, every
// operation answers 80.
void setOperations(DriverEntry operations);

} // namespace docket::drivers::qvn
