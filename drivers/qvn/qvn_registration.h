#pragma once
// The registration record of the native driver "QUORVANE".
#include "drivers/driver.h"
#include "drivers/driver_trace.h"

namespace docket::drivers::qvn {

const DriverRegistration& registration();
DriverTrace& trace();

// Replaces the driver's operations (run through the trace) for tests; null restores the table
// operations of table_driver.h.
void setOperations(DriverEntry operations);

} // namespace docket::drivers::qvn
