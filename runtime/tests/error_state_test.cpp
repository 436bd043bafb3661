#include "runtime/core/error_state.h"

#include <gtest/gtest.h>

#include <map>
#include <thread>

#include "runtime/core/thread_hook.h"

namespace docket::runtime {
namespace {

TEST(ErrorState, EveryCodeHasItsExactText) {
    const std::map<int, std::string> expected = {
        {2, "File Not Found"}, {3, "Path Not Found"}, {4, "Too Many Open Files"}, {5, "Access Denied"},
        {7, "Memory Corrupted"}, {8, "Insufficient Memory"}, {30, "Entry Not Found"},
        {32, "File Is Already Locked"}, {33, "Record Not Available"}, {35, "Record Not Found"},
        {36, "Invalid Data File"}, {37, "File Not Open"}, {38, "Invalid Key File"},
        {40, "Creates Duplicate Key"}, {43, "Record Is Already Held"}, {45, "Invalid Filename"},
        {46, "Key File Must Be Rebuilt"}, {47, "Invalid Record Declaration"}, {48, "Unable To Log Transaction"},
        {52, "File Already Open"}, {53, "Invalid Korvath File"}, {54, "No Create Attribute"},
        {55, "File Must Be Shared"}, {56, "LOGOUT Already Active"}, {57, "Invalid Memo File"},
        {63, "Exclusive Access Required"}, {64, "Sharing Violation"}, {65, "Unable To ROLLBACK Transaction"},
        {73, "Memo File Missing"}, {75, "Invalid Field Type Descriptor"}, {76, "Invalid Index String"},
        {77, "Unable To Access Index"}, {78, "Invalid Number Of Parameters "},
        {79, "Unsupported Data Type In File"}, {80, "Unsupported File Driver Function"},
        {81, "Unknown Error Posted"}, {88, "Invalid Key Length"}, {89, "Record Changed By Another Station"},
        {90, "File System Error"}, {91, "LOGOUT Not Active"}, {92, "BUILD In Progress"},
        {93, "BUILD Cancelled"}, {95, "Server Not Found"}, {96, "Remote Object Not Found"},
        {800, "Invalid expression for EVALUATE"}, {802, "Mismatched PUSHSCOPE/POPSCOPE"},
    };
    int count = 0;
    const int* codes = errorCodes(&count);
    ASSERT_EQ(static_cast<std::size_t>(count), expected.size());
    for (int i = 0; i < count; ++i) {
        ASSERT_TRUE(expected.count(codes[i])) << codes[i];
        EXPECT_EQ(errorTextFor(codes[i]), expected.at(codes[i])) << codes[i];
        EXPECT_TRUE(hasErrorText(codes[i]));
    }
    EXPECT_FALSE(hasErrorText(1));
    EXPECT_EQ(errorTextFor(1), "Unknown Error Posted");
}

TEST(ErrorState, FileErrorsUseThePlatformTable) {
    EXPECT_EQ(fileErrorTextFor(2), "File Not Found");
    EXPECT_EQ(fileErrorTextFor(32), "Sharing Violation");
    EXPECT_EQ(fileErrorTextFor(39), "Handle Disk Full");
    EXPECT_EQ(fileErrorTextFor(50), "Not Supported ");
    EXPECT_EQ(fileErrorTextFor(57), "Adapter/Hardware Failure");
    EXPECT_EQ(fileErrorTextFor(91), "Unknown Error");
    // Codes the table lacks fall back to the system's text, never to an empty one.
    EXPECT_FALSE(fileErrorTextFor(14).empty());
    EXPECT_FALSE(fileErrorTextFor(12345).empty());

    setFileError(5);
    EXPECT_EQ(errorCode(), 90);
    EXPECT_EQ(errorText(), "File System Error");
    EXPECT_EQ(fileErrorCode(), 5);
    EXPECT_EQ(fileErrorText(), "Access Denied");
    setError(35);
    EXPECT_EQ(fileErrorCode(), 0) << "another error clears the file error";
    EXPECT_EQ(fileErrorText(), "");
    clearError();
    EXPECT_EQ(errorCode(), 0);
    EXPECT_EQ(errorText(), "");
}

TEST(ErrorState, OwnTextsAreKept) {
    setErrorWithText(95, "The printer is not ready");
    EXPECT_EQ(errorCode(), 95);
    EXPECT_EQ(errorText(), "The printer is not ready");
    clearError();
}

TEST(ErrorState, EachThreadKeepsItsOwnError) {
    setError(40);
    int other = -1;
    std::thread([&] {
        setError(33);
        other = errorCode();
    }).join();
    EXPECT_EQ(other, 33);
    EXPECT_EQ(errorCode(), 40);
    clearError();
}

// Numbers no OS thread of the test gets, so no other test's error is seen.
int fiberNumber = 1001;
int fakeFiber() { return fiberNumber; }

TEST(ErrorState, ProgramThreadsComeFromTheHook) {
    setThreadNumberHook(fakeFiber);
    fiberNumber = 1001;
    setError(2);
    fiberNumber = 1002;
    EXPECT_EQ(currentThreadNumber(), 1002);
    EXPECT_EQ(errorCode(), 0) << "a fiber on the same OS thread has its own error";
    setError(3);
    fiberNumber = 1001;
    EXPECT_EQ(errorCode(), 2);
    clearError();
    fiberNumber = 1002;
    clearError();
    setThreadNumberHook(nullptr);
}

} // namespace
} // namespace docket::runtime
