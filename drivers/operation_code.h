#pragma once
// The operation codes of the driver interface and their names. A name is the language statement
// followed by words naming its argument forms: file, key, ptr, len, sec, dyn, filter.
#include <cstdint>
#include <string>

namespace docket::drivers {

enum class OperationCode : std::uint8_t {
    ADD = 1, BOF = 2, BUILDfile = 3, APPEND = 4, BUILDdyn = 5, BUILDkey = 6, CLOSE = 7, COMMIT = 8,
    COPY = 9, CREATE = 10, DELETE = 11, DUPLICATE = 12, EMPTY = 13, EOF_ = 14, GETfilekey = 15,
    GETfileptr = 16, GETkeyptr = 17, HOLDfile = 18, HOLDfilesec = 19, LOCKfile = 20, LOCKfilesec = 21,
    LOGOUT = 22, NAME = 23, NEXT = 24, OPEN = 25, PACK = 26, POINTERfile = 27, POINTERkey = 28,
    FLUSH = 29, PUT = 30, PREVIOUS = 31, RECORDSfile = 32, RECORDSkey = 33, BUILDdynfilter = 34,
    RELEASE = 36, REMOVE = 37, RENAME = 38, ROLLBACK = 40, SETfile = 41, SETfilekey = 42,
    SETfileptr = 43, SETkey = 44, SETkeykey = 45, SETkeyptr = 46, SETkeykeyptr = 47, SHARE = 48,
    SKIP = 49, UNLOCK = 50, ADDfilelen = 51, BYTES = 52, GETfileptrlen = 53, PUTfileptr = 54,
    PUTfileptrlen = 55, STREAM = 56, DUPLICATEkey = 57, WATCH = 58, APPENDlen = 59, SEND = 60,
    POSITIONfile = 61, POSITIONkey = 62, RESETfile = 63, RESETkey = 64, NOMEMO = 65, REGETfile = 66,
    REGETkey = 67, NULL_ = 68, SETNULL = 69, SETNONULL = 70, SET_PROPERTY = 71, GET_PROPERTY = 72,
    QUERY_KEY = 73, QUERY_VIEW = 74, BLOB_YIELD = 75, BLOB_TAKE = 76, BLOB_SIZE = 77,
    BLOB_GET_PROP = 78, BLOB_SET_PROP = 79, BUFFER = 80, SETview = 81, CLEAR = 82, RESETviewfile = 83,
    BUILDevent = 84, SETPROPERTYkey = 85, GETPROPERTYkey = 86, Internal87 = 87, DO_PROPERTY = 88,
    DOPROPERTYkey = 89, DOPROPERTYblob = 90, Internal91 = 91, INVIEW = 92, ENDVIEW = 93,
    Internal94 = 94, COUNTRECORDS = 95, GETNULLS = 96, SETNULLS = 97, GETSTATE = 98,
    RESTORESTATE = 99, Internal100 = 100, Internal101 = 101, FREESTATE = 102, SQLCALLBACK = 103,
    DESTROY = 104,
};

inline constexpr int kLastOperationCode = 104;

// "ADD", "GETfilekey", ...; "(0)", "(35)", "(39)" and "(n)" for codes that name no operation.
std::string operationName(int code);
inline std::string operationName(OperationCode code) { return operationName(static_cast<int>(code)); }

// Operations that receive a key first and reach the file through it.
bool isKeyForm(OperationCode code);

// Operations after which the trace writes the record's field values.
bool writesRecordDetails(OperationCode code);

} // namespace docket::drivers
