#include "files/file_statements.h"

#include <gtest/gtest.h>

#include "drivers/driver_registry.h"
#include "runtime/core/error_state.h"

namespace docket::runtime {
namespace {

using drivers::FileDeclaration;

TEST(FileStatements, RecordTheLastErrorAndNeedATransaction) {
    FileDeclaration declaration;
    declaration.label = "Nowhere";
    declaration.driver = "ASCII";
    declaration.name = "/nonexistent-docket-dir/file.txt";
    char record[4];
    declaration.record = reinterpret_cast<std::uint8_t*>(record);
    declaration.recordLength = 4;
    DriverFile file{&declaration, nullptr};
    EXPECT_EQ(open(file), 3);
    EXPECT_EQ(errorCode(), 3);
    EXPECT_EQ(errorText(), "Path Not Found");

    EXPECT_EQ(commit(), 91);
    EXPECT_EQ(errorText(), "LOGOUT Not Active");
    EXPECT_EQ(rollback(), 91);

    DriverFile* files[] = {&file};
    EXPECT_EQ(logout(1, files), 80) << "the text driver has no transactions";
    EXPECT_EQ(commit(), 91) << "a failed LOGOUT leaves no transaction";
}

TEST(FileStatements, BuiltInDriversAreRegistered) {
    registerBuiltInDrivers();
    EXPECT_NE(drivers::findDriver("ASCII"), nullptr);
    EXPECT_NE(drivers::findDriver("QUORVANE"), nullptr);
}

} // namespace
} // namespace docket::runtime
