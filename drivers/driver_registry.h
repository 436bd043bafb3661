#pragma once
// The registry of drivers by name, and the one place where the runtime calls a driver: it refuses
// operations the driver does not list (80) and records whose types it does not accept (79), and
// keeps the result as the thread's last error.
#include <string>

#include "drivers/driver.h"

namespace docket::drivers {

// Registers a driver under its name; a later registration of the same name replaces it.
void registerDriver(const DriverRegistration& registration);
// The driver of that name (case-insensitive), null when none is registered.
const DriverRegistration* findDriver(const std::string& name);

// Calls the driver of `file` for one operation and returns its error code. 80 when the driver does
// not list the operation (the driver is not called), 79 from OPEN or CREATE when a field or memo
// of the record has a type the driver does not accept, 45 when the declaration names no known
// driver. The code is stored as the thread's last error; code 90 also records the platform code
// that the driver left in `platformError`.
int callDriver(OperationCode operation, DriverFile& file, DriverArguments& args);

// Before the program waits for its user (a message box), every driver gives back what it keeps
// between operations, such as the reader slot of a run of reads, so that no other station waits on
// the user. A driver adds its release once (adding the same one again does nothing); the run takes
// up again at its next read.
void addReleaseBeforeUserWait(void (*release)());
void releaseBeforeUserWait();

// Drivers report a failed system call by returning 90 after setting this to its platform code;
// the code is kept per OS thread until the next failed call.
void setPlatformError(int platformCode);
int pendingPlatformError();

} // namespace docket::drivers
