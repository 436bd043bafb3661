#include "files/file_statements.h"

#include <map>
#include <mutex>
#include <vector>

#include "drivers/ascii/ascii_driver.h"
#include "drivers/driver_registry.h"
#include "drivers/qvn/qvn_registration.h"
#include "runtime/core/error_state.h"
#include "runtime/core/thread_hook.h"
#include "files/file_callback.h"
#include "runtime/core/error_codes.h"
#include "runtime/core/thread_state.h"

namespace docket::runtime {
namespace {

using drivers::DriverArguments;
using drivers::OperationCode;
using enum drivers::OperationCode;

int call(OperationCode code, DriverFile& file, DriverArguments& args) {
    registerBuiltInDrivers();
    if (fileCallbacksActive()) return callWithFileCallback(code, file, args, drivers::callDriver);
    return drivers::callDriver(code, file, args);
}

int call(OperationCode code, DriverFile& file) {
    DriverArguments args;
    return call(code, file, args);
}

int callKey(OperationCode code, KeyRef key, DriverArguments& args) {
    args.key = &key.key;
    return call(code, key.file, args);
}

int callKey(OperationCode code, KeyRef key) {
    DriverArguments args;
    return callKey(code, key, args);
}

template <typename Field, typename Value>
int withArgs(OperationCode code, DriverFile& file, Field DriverArguments::*member, const Value& value) {
    DriverArguments args;
    args.*member = value;
    return call(code, file, args);
}

// The files of the thread's open transaction, in LOGOUT order; none while no transaction is open.
struct Transaction {
    bool open = false;
    std::vector<DriverFile*> files;
};
ThreadSlot<Transaction> threadTransaction;

int endTransaction(OperationCode code) {
    Transaction* transaction = threadTransaction.find();
    if (!transaction || !transaction->open) {
        setError(error::kLogoutNotActive);
        return error::kLogoutNotActive;
    }
    std::vector<DriverFile*> files = std::move(transaction->files);
    *transaction = Transaction{};
    int first = 0;
    for (DriverFile* file : files) {
        int rc = call(code, *file);
        if (rc && !first) first = rc;
    }
    if (first) setError(first);
    return first;
}

} // namespace

void registerBuiltInDrivers() {
    static std::once_flag once;
    std::call_once(once, [] {
        drivers::registerDriver(drivers::ascii::registration());
        drivers::registerDriver(drivers::qvn::registration());
    });
}

int open(DriverFile& file, unsigned accessWord) {
    return withArgs(OPEN, file, &DriverArguments::openMode, accessWord);
}
int share(DriverFile& file, unsigned accessWord) {
    return withArgs(SHARE, file, &DriverArguments::openMode, accessWord);
}
int create(DriverFile& file) {
    return call(CREATE, file);
}
int close(DriverFile& file) {
    return call(CLOSE, file);
}
int remove(DriverFile& file) {
    return call(REMOVE, file);
}
int rename(DriverFile& file, const std::string& newName) {
    return withArgs(RENAME, file, &DriverArguments::text, newName);
}
int copy(DriverFile& file, const std::string& target) {
    return withArgs(COPY, file, &DriverArguments::text, target);
}
int empty(DriverFile& file) {
    return call(EMPTY, file);
}
int flush(DriverFile& file) {
    return call(FLUSH, file);
}
int pack(DriverFile& file) {
    return call(PACK, file);
}

int name(DriverFile& file, std::string& result) {
    DriverArguments args;
    int rc = call(NAME, file, args);
    result = args.result;
    return rc;
}

int send(DriverFile& file, const std::string& command, std::string& result) {
    DriverArguments args;
    args.text = command;
    int rc = call(SEND, file, args);
    result = args.result;
    return rc;
}

int add(DriverFile& file) {
    return call(ADD, file);
}
int add(DriverFile& file, std::uint32_t length) {
    return withArgs(ADDfilelen, file, &DriverArguments::length, length);
}
int append(DriverFile& file) {
    return call(APPEND, file);
}
int append(DriverFile& file, std::uint32_t length) {
    return withArgs(APPENDlen, file, &DriverArguments::length, length);
}
int put(DriverFile& file) {
    return call(PUT, file);
}
int put(DriverFile& file, RecordPointer p) {
    return withArgs(PUTfileptr, file, &DriverArguments::pointer, p.value);
}

int put(DriverFile& file, RecordPointer p, std::uint32_t length) {
    DriverArguments args;
    args.pointer = p.value;
    args.length = length;
    return call(PUTfileptrlen, file, args);
}

int deleteRecord(DriverFile& file) {
    return call(DELETE, file);
}

int get(DriverFile& file, const KeyDeclaration& key) {
    return callKey(GETfilekey, {file, key});
}
int get(DriverFile& file, RecordPointer p) {
    return withArgs(GETfileptr, file, &DriverArguments::pointer, p.value);
}

int get(DriverFile& file, RecordPointer p, std::uint32_t length) {
    DriverArguments args;
    args.pointer = p.value;
    args.length = length;
    return call(GETfileptrlen, file, args);
}

int get(KeyRef key, RecordPointer p) {
    DriverArguments args;
    args.pointer = p.value;
    return callKey(GETkeyptr, key, args);
}

int reget(DriverFile& file, const std::string& at) {
    return withArgs(REGETfile, file, &DriverArguments::text, at);
}

int reget(KeyRef key, const std::string& at) {
    DriverArguments args;
    args.text = at;
    return callKey(REGETkey, key, args);
}

int set(DriverFile& file) {
    return call(SETfile, file);
}
int set(DriverFile& file, const KeyDeclaration& key) {
    return callKey(SETfilekey, {file, key});
}
int set(DriverFile& file, RecordPointer p) {
    return withArgs(SETfileptr, file, &DriverArguments::pointer, p.value);
}
int set(KeyRef key) {
    return callKey(SETkey, key);
}

int set(KeyRef key, const KeyDeclaration& values) {
    DriverArguments args;
    args.secondKey = &values;
    return callKey(SETkeykey, key, args);
}

int set(KeyRef key, RecordPointer p) {
    DriverArguments args;
    args.pointer = p.value;
    return callKey(SETkeyptr, key, args);
}

int set(KeyRef key, const KeyDeclaration& values, RecordPointer p) {
    DriverArguments args;
    args.secondKey = &values;
    args.pointer = p.value;
    return callKey(SETkeykeyptr, key, args);
}

int reset(DriverFile& file, const std::string& at) {
    return withArgs(RESETfile, file, &DriverArguments::text, at);
}

int reset(KeyRef key, const std::string& at) {
    DriverArguments args;
    args.text = at;
    return callKey(RESETkey, key, args);
}

int position(DriverFile& file, std::string& result) {
    DriverArguments args;
    int rc = call(POSITIONfile, file, args);
    result = args.result;
    return rc;
}

int position(KeyRef key, std::string& result) {
    DriverArguments args;
    int rc = callKey(POSITIONkey, key, args);
    result = args.result;
    return rc;
}

int next(DriverFile& file) {
    return call(NEXT, file);
}
int previous(DriverFile& file) {
    return call(PREVIOUS, file);
}

int skip(DriverFile& file, std::int32_t count) {
    return withArgs(SKIP, file, &DriverArguments::seconds, count); // the count travels in `seconds`
}

namespace {
template <typename Result, typename Member>
int query(OperationCode code, DriverFile& file, Result& result, Member member) {
    DriverArguments args;
    int rc = call(code, file, args);
    result = static_cast<Result>(args.*member);
    return rc;
}

template <typename Result, typename Member>
int queryKey(OperationCode code, KeyRef key, Result& result, Member member) {
    DriverArguments args;
    int rc = callKey(code, key, args);
    result = static_cast<Result>(args.*member);
    return rc;
}
} // namespace

int bof(DriverFile& file, bool& result) {
    return query(BOF, file, result, &DriverArguments::flag);
}
int eof(DriverFile& file, bool& result) {
    return query(EOF_, file, result, &DriverArguments::flag);
}
int pointer(DriverFile& file, std::uint32_t& result) {
    return query(POINTERfile, file, result, &DriverArguments::number);
}
int pointer(KeyRef key, std::uint32_t& result) {
    return queryKey(POINTERkey, key, result, &DriverArguments::number);
}
int records(DriverFile& file, std::uint64_t& result) {
    return query(RECORDSfile, file, result, &DriverArguments::number);
}
int records(KeyRef key, std::uint64_t& result) {
    return queryKey(RECORDSkey, key, result, &DriverArguments::number);
}
int bytes(DriverFile& file, std::uint64_t& result) {
    return query(BYTES, file, result, &DriverArguments::number);
}
int duplicate(DriverFile& file, bool& result) {
    return query(DUPLICATE, file, result, &DriverArguments::flag);
}
int duplicate(KeyRef key, bool& result) {
    return queryKey(DUPLICATEkey, key, result, &DriverArguments::flag);
}

int hold(DriverFile& file) {
    return call(HOLDfile, file);
}
int hold(DriverFile& file, std::int32_t seconds) {
    return withArgs(HOLDfilesec, file, &DriverArguments::seconds, seconds);
}
int release(DriverFile& file) {
    return call(RELEASE, file);
}
int watch(DriverFile& file) {
    return call(WATCH, file);
}
int lock(DriverFile& file) {
    return call(LOCKfile, file);
}
int lock(DriverFile& file, std::int32_t seconds) {
    return withArgs(LOCKfilesec, file, &DriverArguments::seconds, seconds);
}
int unlock(DriverFile& file) {
    return call(UNLOCK, file);
}
int stream(DriverFile& file) {
    return call(STREAM, file);
}
int noMemo(DriverFile& file) {
    return call(NOMEMO, file);
}

int build(DriverFile& file) {
    return call(BUILDfile, file);
}
int build(KeyRef key) {
    return callKey(BUILDkey, key);
}

int build(KeyRef index, const std::string& components) {
    DriverArguments args;
    args.text = components;
    return callKey(BUILDdyn, index, args);
}

int build(KeyRef index, const std::string& components, const std::string& filter) {
    DriverArguments args;
    args.text = components;
    args.result = filter; // the filter travels beside the component list
    return callKey(BUILDdynfilter, index, args);
}

int logout(std::int32_t seconds, std::span<DriverFile* const> files) {
    if (const Transaction* open = threadTransaction.find(); open && open->open) {
        setError(error::kLogoutAlreadyActive);
        return error::kLogoutAlreadyActive;
    }
    std::vector<DriverFile*> started;
    for (DriverFile* file : files) {
        int rc = withArgs(LOGOUT, *file, &DriverArguments::seconds, seconds);
        if (rc) {
            // A file that cannot join leaves no transaction behind on the others.
            for (DriverFile* joined : started) call(ROLLBACK, *joined);
            setError(rc);
            return rc;
        }
        started.push_back(file);
    }
    threadTransaction.get() = Transaction{true, std::move(started)};
    return 0;
}

int commit() {
    return endTransaction(COMMIT);
}
int rollback() {
    return endTransaction(ROLLBACK);
}

int getProperty(DriverFile& file, const std::string& property, std::string& result) {
    DriverArguments args;
    args.text = property;
    int rc = call(GET_PROPERTY, file, args);
    result = args.result;
    return rc;
}

int setProperty(DriverFile& file, const std::string& property, const std::string& value) {
    DriverArguments args;
    args.text = property;
    args.result = value;
    return call(SET_PROPERTY, file, args);
}

int getState(DriverFile& file, std::uint64_t& state) {
    return query(GETSTATE, file, state, &DriverArguments::number);
}
int restoreState(DriverFile& file, std::uint64_t state) {
    return withArgs(RESTORESTATE, file, &DriverArguments::number, state);
}
int freeState(DriverFile& file, std::uint64_t state) {
    return withArgs(FREESTATE, file, &DriverArguments::number, state);
}

} // namespace docket::runtime
