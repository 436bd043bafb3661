#include "drivers/operation_code.h"

namespace docket::drivers {
namespace {

// Indexed by operation code; null where a code names no operation.
const char* const kNames[kLastOperationCode + 1] = {
    nullptr,        "ADD",           "BOF",           "BUILDfile",    "APPEND",       "BUILDdyn",
    "BUILDkey",     "CLOSE",         "COMMIT",        "COPY",         "CREATE",       "DELETE",
    "DUPLICATE",    "EMPTY",         "EOF",           "GETfilekey",   "GETfileptr",   "GETkeyptr",
    "HOLDfile",     "HOLDfilesec",   "LOCKfile",      "LOCKfilesec",  "LOGOUT",       "NAME",
    "NEXT",         "OPEN",          "PACK",          "POINTERfile",  "POINTERkey",   "FLUSH",
    "PUT",          "PREVIOUS",      "RECORDSfile",   "RECORDSkey",   "BUILDdynfilter", nullptr,
    "RELEASE",      "REMOVE",        "RENAME",        nullptr,        "ROLLBACK",     "SETfile",
    "SETfilekey",   "SETfileptr",    "SETkey",        "SETkeykey",    "SETkeyptr",    "SETkeykeyptr",
    "SHARE",        "SKIP",          "UNLOCK",        "ADDfilelen",   "BYTES",        "GETfileptrlen",
    "PUTfileptr",   "PUTfileptrlen", "STREAM",        "DUPLICATEkey", "WATCH",        "APPENDlen",
    "SEND",         "POSITIONfile",  "POSITIONkey",   "RESETfile",    "RESETkey",     "NOMEMO",
    "REGETfile",    "REGETkey",      "NULL",          "SETNULL",      "SETNONULL",    "SET_PROPERTY",
    "GET_PROPERTY", "QUERY_KEY",     "QUERY_VIEW",    "BLOB_YIELD",   "BLOB_TAKE",    "BLOB_SIZE",
    "BLOB_GET_PROP", "BLOB_SET_PROP", "BUFFER",       "SETview",      "CLEAR",        "RESETviewfile",
    "BUILDevent",   "SETPROPERTYkey", "GETPROPERTYkey", "Internal87", "DO_PROPERTY",  "DOPROPERTYkey",
    "DOPROPERTYblob", "Internal91",  "INVIEW",        "ENDVIEW",      "Internal94",   "COUNTRECORDS",
    "GETNULLS",     "SETNULLS",      "GETSTATE",      "RESTORESTATE", "Internal100",  "Internal101",
    "FREESTATE",    "SQLCALLBACK",   "DESTROY",
};

} // namespace

std::string operationName(int code) {
    if (code >= 0 && code <= kLastOperationCode && kNames[code]) return kNames[code];
    return "(" + std::to_string(code) + ")";
}

bool isKeyForm(OperationCode code) {
    using enum OperationCode;
    switch (code) {
    case BUILDdyn: case BUILDdynfilter: case BUILDkey: case DUPLICATEkey: case GETfilekey:
    case GETkeyptr: case POINTERkey: case POSITIONkey: case RECORDSkey: case REGETkey: case RESETkey:
    case SETfilekey: case SETkey: case SETkeykey: case SETkeyptr: case SETkeykeyptr:
    case SETPROPERTYkey: case GETPROPERTYkey: case DOPROPERTYkey:
        return true;
    default:
        return false;
    }
}

bool writesRecordDetails(OperationCode code) {
    using enum OperationCode;
    switch (code) {
    case ADD: case ADDfilelen: case APPEND: case APPENDlen: case DELETE: case GETfilekey:
    case GETfileptr: case GETfileptrlen: case GETkeyptr: case NEXT: case PREVIOUS: case PUT:
    case PUTfileptr: case PUTfileptrlen: case REGETfile: case REGETkey:
        return true;
    default:
        return false;
    }
}

} // namespace docket::drivers
