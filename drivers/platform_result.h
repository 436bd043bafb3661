#pragma once
// Turning a platform code into the error a driver returns.
namespace docket::drivers {

// 0 stays 0; a missing file or path gives 2 or 3, too many open files 4, a denied access or a
// sharing violation 5 ("Access Denied"); every other failure is 90, with the platform code kept
// for the file error text.
int fileErrorFromPlatform(int platformCode);

// For failures after the file was opened (reads, writes, seeks): 0 stays 0, everything else is 90.
int ioErrorFromPlatform(int platformCode);

// The platform's access and sharing for the language's access word: bits 0-1 the access (0 read
// only), bits 4-6 the sharing (0x00 and 0x40 shared with all, 0x10 exclusive, 0x20 others may only
// read, 0x30 others may only write).
struct OpenMode {
    bool write;
    int share; // a platform::Share value
};
OpenMode decodeOpenMode(unsigned accessWord);

} // namespace docket::drivers
