#pragma once
// The number of the running program thread. The window system runs program threads as cooperative
// fibers and installs a hook that names the current one; until then each OS thread gets a number
// of its own, 1 for the first thread that asks.
namespace docket::runtime {

using ThreadNumberHook = int (*)();

void setThreadNumberHook(ThreadNumberHook hook); // null restores the default
int currentThreadNumber();

} // namespace docket::runtime
