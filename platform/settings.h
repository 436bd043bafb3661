#pragma once
// System settings that the program reads and switches: the stand-in for the platform's system
// parameters. The value lives in the process; it is initialised from "settings.ini" in the
// configuration folder (section "Desktop", entry "DragFullWindows", default 1) on first use, and a
// change with `persist` writes it back there, as the platform's update-ini-file flag would.
namespace docket::platform {

bool dragFullWindows();
void setDragFullWindows(bool on, bool persist = false);

// Forgets the in-process value so the next read goes to the file again (tests).
void resetSystemSettings();

} // namespace docket::platform
