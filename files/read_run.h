#pragma once
// A run of reads on one file: a caller about to read many records in a row (a page of a list, a
// filtered or ordered scan, a dump) keeps one read access of the file across them instead of one
// per record. The driver bounds the run itself: it gives the access back at least every 64 reads
// or 2 ms and before any change or wait, so other stations' commits wait no longer than for any
// reader. Drivers without runs ignore it; a closed file gets none.
//
// The guard leaves the thread's last error as it found it, and goes through no file callback:
// beginning or ending a run is no operation of the program's.
#include "drivers/driver.h"

namespace docket::runtime {

class ReadRun {
public:
    explicit ReadRun(drivers::DriverFile& file);
    ~ReadRun();
    ReadRun(const ReadRun&) = delete;
    ReadRun& operator=(const ReadRun&) = delete;

private:
    drivers::DriverFile* file_ = nullptr; // null when no run was begun
};

} // namespace docket::runtime
