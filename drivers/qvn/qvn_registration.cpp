#include "drivers/qvn/qvn_registration.h"

#include <atomic>

#include "drivers/qvn/internal/table_driver.h"

namespace docket::drivers::qvn {
namespace {

using enum OperationCode;
#define OP(name) static_cast<std::uint8_t>(name)
#define TYPE(name) static_cast<std::uint8_t>(TypeCode::name)

// The supported operations in the order of the driver's list, then the accepted record types.
constexpr std::uint8_t kSupported[] = {
    73,
    OP(ADD),
    OP(APPEND),
    OP(BOF),
    OP(BUILDdyn),
    OP(BUILDfile),
    OP(BUILDkey),
    OP(BYTES),
    OP(EOF_),
    OP(CLOSE),
    OP(COMMIT),
    OP(COPY),
    OP(CREATE),
    OP(DELETE),
    OP(DUPLICATE),
    OP(DUPLICATEkey),
    OP(EMPTY),
    OP(FLUSH),
    OP(GETfilekey),
    OP(GETfileptr),
    OP(GETkeyptr),
    OP(GET_PROPERTY),
    OP(GETPROPERTYkey),
    OP(HOLDfile),
    OP(HOLDfilesec),
    OP(LOCKfile),
    OP(LOCKfilesec),
    OP(LOGOUT),
    OP(NAME),
    OP(NEXT),
    OP(NOMEMO),
    OP(OPEN),
    OP(PACK),
    OP(POINTERfile),
    OP(POINTERkey),
    OP(POSITIONfile),
    OP(POSITIONkey),
    OP(PREVIOUS),
    OP(PUT),
    OP(PUTfileptr),
    OP(RECORDSfile),
    OP(RECORDSkey),
    OP(REGETfile),
    OP(REGETkey),
    OP(RELEASE),
    OP(REMOVE),
    OP(RENAME),
    OP(RESETfile),
    OP(RESETkey),
    OP(ROLLBACK),
    OP(SEND),
    OP(SETfile),
    OP(SETfilekey),
    OP(SETfileptr),
    OP(SETkey),
    OP(SETkeykeyptr),
    OP(SETkeykey),
    OP(SETkeyptr),
    OP(SET_PROPERTY),
    OP(SETPROPERTYkey),
    OP(SHARE),
    OP(SKIP),
    OP(STREAM),
    OP(UNLOCK),
    OP(WATCH),
    OP(BUILDdynfilter),
    OP(BLOB_YIELD),
    OP(BLOB_TAKE),
    OP(BLOB_SIZE),
    OP(BLOB_GET_PROP),
    OP(BLOB_SET_PROP),
    OP(GETSTATE),
    OP(RESTORESTATE),
    OP(FREESTATE),
    17,
    TYPE(Byte),
    TYPE(Short),
    TYPE(UShort),
    TYPE(Date),
    TYPE(Time),
    TYPE(Long),
    TYPE(ULong),
    TYPE(SReal),
    TYPE(Real),
    TYPE(Decimal),
    TYPE(String),
    TYPE(CString),
    TYPE(PString),
    TYPE(Memo),
    TYPE(Blob),
    TYPE(Group),
    TYPE(Array),
};

#undef OP
#undef TYPE

static_assert(sizeof kSupported == 1 + 73 + 1 + 17);

std::atomic<DriverEntry> operations{operate};

int entry(OperationCode code, DriverFile& file, DriverArguments& args) {
    return trace().run(code, file, args, operations.load());
}

} // namespace

void setOperations(DriverEntry entryPoint) {
    operations.store(entryPoint ? entryPoint : operate);
}

DriverTrace& trace() {
    static DriverTrace instance("KWQUORVANE", "QUORVANE.LOG", "QUORVANE");
    return instance;
}

const DriverRegistration& registration() {
    static const DriverRegistration record{
        fixedText<21>("QUORVANE"),
        fixedText<13>("K55QVNX.DLL"),
        fixedText<41>("docket runtime"),
        fixedText<31>("Quorvane (QVN)"),
        entry,
        0, // no capabilities beyond the listed operations
        {},
        50,
        45,
        45,
        231,
        {},
        kSupported,
        fixedText<13>("K55QVNSX.DLL"),
    };
    return record;
}

} // namespace docket::drivers::qvn
