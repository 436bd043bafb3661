#pragma once
// The rebuild of a table's keys on the screen. When table access finds that a key file must be
// rebuilt (46) it rebuilds the keys; with installRebuildProgress() the user sees a progress window
// with the file's name, the records walked so far and a Cancel button. Cancel stops the build: it
// fails with 93 ("BUILD Cancelled") and the table is left as it was, and table access reports that
// the key was not built.
//
// The build runs on the program thread that opened the table and does not wait, so the progress
// window serves the window system's input itself, about twenty times a second, while the build
// walks the records; the program threads do not run meanwhile.
class QProgressDialog;

namespace docket::classes {

void installRebuildProgress();

// The progress window now open, null when none: for the scripted user of tests.
QProgressDialog* openRebuildProgress();

} // namespace docket::classes
