# The program's windows, one file per window: its definition (designated initializers, so each
# field is named) and its procedure. Paths relative to app/; app/CMakeLists.txt builds them into
# the program's library.
set(DOCKET_APP_WINDOWS
  windows/about.cpp
  windows/calendar_picker.cpp
  windows/memo_list.cpp
  windows/update_memo_jenis.cpp
  windows/update_memo_db.cpp
)
