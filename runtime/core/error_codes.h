#pragma once
// The runtime's error codes with their texts: the one table every layer names its codes from. A file
// statement leaves one of these as the thread's last error (0 after success); code 90 carries the
// platform code of the failing system call besides (see error_state.h). Codes 801 (views) and the
// texts of file system errors (300 plus the platform code) are kept by their own owners.
//
// DOCKET_RUNTIME_ERRORS(X) lists each code once as X(name, number, text), ascending by number; the
// trailing blank of 78 is part of its text.

namespace docket::runtime {

#define DOCKET_RUNTIME_ERRORS(X) \
    X(FileNotFound, 2, "File Not Found") \
    X(PathNotFound, 3, "Path Not Found") \
    X(TooManyOpenFiles, 4, "Too Many Open Files") \
    X(AccessDenied, 5, "Access Denied") \
    X(MemoryCorrupted, 7, "Memory Corrupted") \
    X(InsufficientMemory, 8, "Insufficient Memory") \
    X(EntryNotFound, 30, "Entry Not Found") \
    X(FileAlreadyLocked, 32, "File Is Already Locked") \
    X(RecordNotAvailable, 33, "Record Not Available") \
    X(RecordNotFound, 35, "Record Not Found") \
    X(InvalidDataFile, 36, "Invalid Data File") \
    X(FileNotOpen, 37, "File Not Open") \
    X(InvalidKeyFile, 38, "Invalid Key File") \
    X(DuplicateKey, 40, "Creates Duplicate Key") \
    X(RecordHeld, 43, "Record Is Already Held") \
    X(InvalidFilename, 45, "Invalid Filename") \
    X(KeyFileMustBeRebuilt, 46, "Key File Must Be Rebuilt") \
    X(InvalidRecordDeclaration, 47, "Invalid Record Declaration") \
    X(UnableToLogTransaction, 48, "Unable To Log Transaction") \
    X(FileAlreadyOpen, 52, "File Already Open") \
    X(InvalidNativeFile, 53, "Invalid Korvath File") \
    X(NoCreateAttribute, 54, "No Create Attribute") \
    X(FileMustBeShared, 55, "File Must Be Shared") \
    X(LogoutAlreadyActive, 56, "LOGOUT Already Active") \
    X(InvalidMemoFile, 57, "Invalid Memo File") \
    X(ExclusiveAccessRequired, 63, "Exclusive Access Required") \
    X(SharingViolation, 64, "Sharing Violation") \
    X(UnableToRollback, 65, "Unable To ROLLBACK Transaction") \
    X(MemoFileMissing, 73, "Memo File Missing") \
    X(InvalidFieldType, 75, "Invalid Field Type Descriptor") \
    X(InvalidIndexString, 76, "Invalid Index String") \
    X(UnableToAccessIndex, 77, "Unable To Access Index") \
    X(InvalidParameterCount, 78, "Invalid Number Of Parameters ") \
    X(UnsupportedDataType, 79, "Unsupported Data Type In File") \
    X(UnsupportedDriverFunction, 80, "Unsupported File Driver Function") \
    X(UnknownError, 81, "Unknown Error Posted") \
    X(InvalidKeyLength, 88, "Invalid Key Length") \
    X(ChangedByAnotherStation, 89, "Record Changed By Another Station") \
    X(FileSystemError, 90, "File System Error") \
    X(LogoutNotActive, 91, "LOGOUT Not Active") \
    X(BuildInProgress, 92, "BUILD In Progress") \
    X(BuildCancelled, 93, "BUILD Cancelled") \
    X(ServerNotFound, 95, "Server Not Found") \
    X(RemoteObjectNotFound, 96, "Remote Object Not Found") \
    X(InvalidEvaluateExpression, 800, "Invalid expression for EVALUATE") \
    X(MismatchedScope, 802, "Mismatched PUSHSCOPE/POPSCOPE")

namespace error {
inline constexpr int kNone = 0;
#define DOCKET_RUNTIME_ERROR_CONSTANT(name, number, text) inline constexpr int k##name = number;
DOCKET_RUNTIME_ERRORS(DOCKET_RUNTIME_ERROR_CONSTANT)
#undef DOCKET_RUNTIME_ERROR_CONSTANT
// Views refuse an order or filter text that does not compile with this code.
inline constexpr int kInvalidViewExpression = 801;
} // namespace error

} // namespace docket::runtime
