#include "drivers/operation_code.h"

#include <gtest/gtest.h>

namespace docket::drivers {
namespace {

TEST(OperationCode, EveryCodeHasItsName) {
    const char* const expected[] = {
        "(0)", "ADD", "BOF", "BUILDfile", "APPEND", "BUILDdyn", "BUILDkey", "CLOSE", "COMMIT", "COPY", "CREATE",
        "DELETE", "DUPLICATE", "EMPTY", "EOF", "GETfilekey", "GETfileptr", "GETkeyptr", "HOLDfile", "HOLDfilesec",
        "LOCKfile", "LOCKfilesec", "LOGOUT", "NAME", "NEXT", "OPEN", "PACK", "POINTERfile", "POINTERkey", "FLUSH",
        "PUT", "PREVIOUS", "RECORDSfile", "RECORDSkey", "BUILDdynfilter", "(35)", "RELEASE", "REMOVE", "RENAME",
        "(39)", "ROLLBACK", "SETfile", "SETfilekey", "SETfileptr", "SETkey", "SETkeykey", "SETkeyptr",
        "SETkeykeyptr", "SHARE", "SKIP", "UNLOCK", "ADDfilelen", "BYTES", "GETfileptrlen", "PUTfileptr",
        "PUTfileptrlen", "STREAM", "DUPLICATEkey", "WATCH", "APPENDlen", "SEND", "POSITIONfile", "POSITIONkey",
        "RESETfile", "RESETkey", "NOMEMO", "REGETfile", "REGETkey", "NULL", "SETNULL", "SETNONULL", "SET_PROPERTY",
        "GET_PROPERTY", "QUERY_KEY", "QUERY_VIEW", "BLOB_YIELD", "BLOB_TAKE", "BLOB_SIZE", "BLOB_GET_PROP",
        "BLOB_SET_PROP", "BUFFER", "SETview", "CLEAR", "RESETviewfile", "BUILDevent", "SETPROPERTYkey",
        "GETPROPERTYkey", "Internal87", "DO_PROPERTY", "DOPROPERTYkey", "DOPROPERTYblob", "Internal91", "INVIEW",
        "ENDVIEW", "Internal94", "COUNTRECORDS", "GETNULLS", "SETNULLS", "GETSTATE", "RESTORESTATE", "Internal100",
        "Internal101", "FREESTATE", "SQLCALLBACK", "DESTROY",
    };
    static_assert(std::size(expected) == kLastOperationCode + 1);
    for (int code = 0; code <= kLastOperationCode; ++code) EXPECT_EQ(operationName(code), expected[code]) << code;
    EXPECT_EQ(operationName(105), "(105)");
    EXPECT_EQ(operationName(OperationCode::EOF_), "EOF");
}

TEST(OperationCode, KeyFormsAndDetailOperations) {
    int keyForms = 0;
    for (int code = 1; code <= kLastOperationCode; ++code) keyForms += isKeyForm(static_cast<OperationCode>(code));
    EXPECT_EQ(keyForms, 19);
    EXPECT_TRUE(isKeyForm(OperationCode::SETkeykeyptr));
    EXPECT_FALSE(isKeyForm(OperationCode::SETfile));
    EXPECT_TRUE(writesRecordDetails(OperationCode::REGETkey));
    EXPECT_FALSE(writesRecordDetails(OperationCode::SETkeykey));
}

} // namespace
} // namespace docket::drivers
