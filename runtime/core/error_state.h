#pragma once
// The runtime's last error, kept per program thread: the error code of the last file statement
// (0 for success), and for code 90 ("File System Error") the platform code of the failing system
// call, shown from the second table as 300 plus that code.
#include <string>

#include "runtime/core/error_codes.h"

namespace docket::runtime {

inline constexpr int kFileSystemError = error::kFileSystemError;

// The runtime's text for an error code: "File Not Found" for 2, ...; codes without a text give
// "Unknown Error Posted", the text of 81.
std::string errorTextFor(int code);
// True when `code` has a text of its own in the table.
bool hasErrorText(int code);

// The text for a platform code of a file system error: the entry for 300 plus the code, else the
// system's own text for the code, else "Unknown Error".
std::string fileErrorTextFor(int platformCode);

// Every code of the runtime table, ascending (for listing the table).
const int* errorCodes(int* count);
// Every code of the file system error table (300 plus a platform code), ascending.
const int* fileErrorCodes(int* count);

// Sets the thread's last error; a code other than 90 clears the file error.
void setError(int code);
// Sets error 90 with the platform code of the failing call.
void setFileError(int platformCode);
// Sets an error with a text of the caller's own (the rich-text editor's platform failures).
void setErrorWithText(int code, const std::string& text);
void clearError();

int errorCode();          // the last error, 0 after success
std::string errorText();  // its text; empty for 0
int fileErrorCode();      // platform code for error 90, else 0
std::string fileErrorText(); // its text; empty when there is none

} // namespace docket::runtime
