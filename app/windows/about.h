#pragma once
// About: a short description of the program in a small window that the user closes with its Close
// button or the close box. Runs on the program thread, nested in the window that calls it; the
// caller refreshes its own window afterwards.
namespace docket::app {

void About();

} // namespace docket::app
