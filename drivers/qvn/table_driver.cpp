#include "drivers/qvn/internal/table_driver.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <new>

#include "drivers/platform_result.h"
#include "drivers/qvn/definition_stream.h"
#include "drivers/qvn/physical_name.h"
#include "drivers/qvn/qvn_table.h"
#include "drivers/qvn/internal/table_entries.h"
#include "drivers/qvn/transactions.h"
#include "runtime/core/char_tables.h"
#include "runtime/core/error_codes.h"

namespace docket::drivers::qvn {
namespace {

using enum OperationCode;

// Access word used by the operations on closed tables: read and write, shared with all.
constexpr unsigned kSharedReadWrite = 0x42;

QvnTable* tableOf(DriverFile& file) {
    return static_cast<QvnTable*>(file.state.get());
}

std::string passwordOf(const FileDeclaration& declaration) {
    return declaration.owner.value_or("");
}

// 0 when the physical file exists, else 2 (file) or 3 (its directory) missing.
int fileExists(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) return 0;
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos || slash == 0) return runtime::error::kFileNotFound;
    return ::stat(path.substr(0, slash).c_str(), &info) == 0 ? 2 : 3;
}

int openTable(DriverFile& file, unsigned accessWord) {
    if (file.state) return runtime::error::kFileAlreadyOpen;
    FileDeclaration& declaration = *file.declaration;
    const PhysicalName physical = splitPhysicalName(declaredName(declaration));
    const bool mayCreate = declaration.has(file_flag::kCreate);
    if (int rc = fileExists(physical.path); rc && !(rc == runtime::error::kFileNotFound && mayCreate)) return rc;
    std::shared_ptr<QvnFile> shared;
    if (int rc = QvnFile::open(physical.path, accessWord, passwordOf(declaration), &shared)) return rc;
    std::unique_ptr<QvnTable> table;
    int rc = QvnTable::open(shared, physical.table, &declaration, &table);
    if (rc == runtime::error::kFileNotFound && mayCreate) {
        // The CREATE attribute: a missing table is created on first open.
        rc = createTable(*shared, physical.table, declaration);
        if (rc == 0) rc = QvnTable::open(shared, physical.table, &declaration, &table);
    }
    if (rc) return rc;
    table->setReadOnly(!decodeOpenMode(accessWord).write);
    file.state = std::move(table);
    return 0;
}

int createFile(DriverFile& file) {
    if (file.state) return runtime::error::kFileAlreadyOpen;
    const FileDeclaration& declaration = *file.declaration;
    if (int rc = checkDeclaration(declaration)) return rc;
    const PhysicalName physical = splitPhysicalName(declaredName(declaration));
    if (int rc = fileExists(physical.path); rc == runtime::error::kPathNotFound) return rc;
    std::shared_ptr<QvnFile> shared;
    if (int rc = QvnFile::open(physical.path, kSharedReadWrite, passwordOf(declaration), &shared)) return rc;
    return createTable(*shared, physical.table, declaration);
}

std::string physicalDisplayName(const PhysicalName& physical) {
    return physical.table == "UNNAMED" ? physical.path : physical.path + "\\!" + physical.table;
}

// SEND and the property operations.
int send(QvnTable& table, const std::string& command, std::string* result) {
    const std::size_t equals = command.find('=');
    const std::string name = runtime::upperText(command.substr(0, equals));
    const bool setting = equals != std::string::npos;
    const std::string value = setting ? command.substr(equals + 1) : std::string();
    if (name == "FLAGS") {
        if (setting) {
            char* end = nullptr;
            const unsigned long long v = std::strtoull(value.c_str(), &end, 10);
            if (value.empty() || *end || v > 0xFFFFFFFFull) return runtime::error::kInvalidIndexString;
            if (int rc = table.setFlags(static_cast<std::uint32_t>(v))) return rc;
        }
        std::uint32_t flags = 0;
        if (int rc = table.flags(&flags)) return rc;
        *result = std::to_string(flags);
        return 0;
    }
    if (name == "FULLBUILD") {
        if (setting) {
            const std::string v = runtime::upperText(value);
            if (v != "ON" && v != "OFF") return runtime::error::kInvalidIndexString;
            if (v == "ON")
                table.options() |= table_option::kFullBuild;
            else
                table.options() &= ~table_option::kFullBuild;
        }
        *result = (table.options() & table_option::kFullBuild) ? "ON" : "OFF";
        return 0;
    }
    if (name == "READRUN") {
        // A run of reads on one access (see QvnFile::beginReadRun): "ON" begins one, "OFF" ends it.
        // Only the setting forms; runs nest, so there is no state to answer.
        if (!setting) return runtime::error::kInvalidIndexString;
        const std::string v = runtime::upperText(value);
        if (v == "ON")
            table.file().beginReadRun();
        else if (v == "OFF")
            table.file().endReadRun();
        else
            return runtime::error::kInvalidIndexString;
        result->clear();
        return 0;
    }
    if (name == "BATCHFLUSH") {
        // The per-file batching of commits (see QvnFile::deferFlush); switching it off commits
        // what is batched.
        if (setting) {
            const std::string v = runtime::upperText(value);
            if (v != "ON" && v != "OFF") return runtime::error::kInvalidIndexString;
            if (v == "ON") {
                table.options() |= table_option::kBatch;
            } else {
                table.options() &= ~table_option::kBatch;
                if (int rc = table.file().endBatch()) return rc;
            }
        }
        *result = (table.options() & table_option::kBatch) ? "ON" : "OFF";
        return 0;
    }
    if (name == "TCF") {
        if (setting) table.tcfName = value;
        if (!table.tcfName.empty()) {
            *result = table.tcfName;
        } else {
            const std::string& path = table.file().path();
            const std::size_t slash = path.find_last_of('/');
            *result =
                (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + "quorvane.tcf";
        }
        return 0;
    }
    if (name == "PNM") {
        std::uint32_t number = 0;
        bool found = false;
        if (int rc = findTable(table.file(), upperTableName(value), &number, &found)) return rc;
        *result = found ? upperTableName(value) : std::string();
        return 0;
    }
    if (name == "PNMQ") {
        // The walk: "PNMQ=" answers the first table name, "PNMQ=X" the one after X, "" past the last.
        std::vector<TableInfo> tables;
        if (int rc = listTables(table.file(), &tables)) return rc;
        result->clear();
        const std::string after = upperTableName(value);
        for (const auto& t : tables)
            if (value.empty() || t.name > after) {
                *result = t.name;
                break;
            }
        return 0;
    }
    result->clear(); // unknown commands answer nothing
    return 0;
}

int blobOperation(OperationCode code, QvnTable& table, DriverArguments& args) {
    std::vector<std::uint8_t>* blob = args.pointer ? table.blob(args.pointer - 1) : nullptr;
    if (!blob) return runtime::error::kInvalidFieldType;
    try {
        switch (code) {
        case BLOB_SIZE:
            args.number = blob->size();
            return 0;
        case BLOB_TAKE:
            args.result.assign(blob->begin(), blob->end());
            return 0;
        case BLOB_YIELD:
            blob->assign(args.text.begin(), args.text.end());
            return 0;
        case BLOB_GET_PROP:
            args.result = runtime::upperText(args.text) == "SIZE" ? std::to_string(blob->size()) : "";
            return 0;
        case BLOB_SET_PROP: {
            if (runtime::upperText(args.text) != "SIZE") return 0;
            char* end = nullptr;
            const unsigned long long size = std::strtoull(args.result.c_str(), &end, 10);
            if (args.result.empty() || *end || size > 0xFFFFFFFFull) return runtime::error::kInvalidIndexString;
            blob->resize(size, 0);
            return 0;
        }
        default:
            return runtime::error::kUnsupportedDriverFunction;
        }
    } catch (const std::bad_alloc&) {
        return runtime::error::kInsufficientMemory;
    }
}

int keyOf(QvnTable& table, const KeyDeclaration* key, int* index) {
    *index = table.keyIndex(key);
    return *index < 0 ? runtime::error::kUnableToAccessIndex : 0;
}

// Access word of a BUILD on a closed file: read and write, others may only read.
constexpr unsigned kBuildAccess = 0x22;

int buildOn(OperationCode code, QvnTable& table, DriverArguments& args) {
    int key = -1;
    if (code != BUILDfile)
        if (int rc = keyOf(table, args.key, &key)) return rc;
    switch (code) {
    case BUILDfile:
        return table.buildKeys(-1);
    case BUILDkey:
        return table.buildKeys(key);
    case BUILDdyn:
        return table.buildIndex(key, args.text, std::string());
    default:
        return table.buildIndex(key, args.text, args.result);
    }
}

// BUILD of a file that is not open opens it for the build alone (an index that lives in memory is
// then gone again with the close).
int build(OperationCode code, DriverFile& file, DriverArguments& args) {
    if (file.state) return buildOn(code, *tableOf(file), args);
    if (int rc = openTable(file, kBuildAccess)) return rc;
    const int rc = buildOn(code, *tableOf(file), args);
    file.state.reset();
    return rc;
}

} // namespace

std::string declaredName(const FileDeclaration& declaration) {
    return declaration.name && !declaration.name->empty() ? *declaration.name : declaration.label;
}

int removeTable(const std::string& declared, const std::string& password) {
    const PhysicalName physical = splitPhysicalName(declared);
    if (int rc = fileExists(physical.path)) return rc;
    std::shared_ptr<QvnFile> shared;
    if (int rc = QvnFile::open(physical.path, kSharedReadWrite, password, &shared)) return rc;
    std::vector<TableInfo> tables;
    if (int rc = listTables(*shared, &tables)) return rc;
    std::uint32_t number = 0;
    bool found = false;
    for (const auto& t : tables)
        if (t.name == physical.table) {
            number = t.number;
            found = true;
        }
    if (!found) return runtime::error::kFileNotFound;
    if (tables.size() == 1 && shared.use_count() == 1) {
        shared.reset();
        return ::unlink(physical.path.c_str()) == 0 ? 0 : (errno == ENOENT ? 2 : 5);
    }
    if (int rc = shared->beginAccess(true, true)) return rc;
    int rc = eraseTable(*shared, number, physical.table, true);
    if (rc == 0)
        rc = shared->flush();
    else
        shared->discard();
    shared->endAccess();
    return rc;
}

int copyTable(const std::string& declaredFrom, const std::string& declaredTo, const std::string& password) {
    const PhysicalName from = splitPhysicalName(declaredFrom), to = splitPhysicalName(declaredTo);
    if (physicalKey(from.path) == physicalKey(to.path) && from.table == to.table) return 0;
    if (int rc = fileExists(from.path)) return rc;
    std::shared_ptr<QvnFile> source, target;
    if (int rc = QvnFile::open(from.path, kSharedReadWrite, password, &source)) return rc;
    if (int rc = QvnFile::open(to.path, kSharedReadWrite, password, &target)) return rc;
    std::uint32_t number = 0;
    bool found = false;
    if (int rc = findTable(*source, from.table, &number, &found)) return rc;
    if (!found) return runtime::error::kFileNotFound;
    // Which keys carry the record number in their key part comes from the stored definition.
    std::string definition;
    Entry e;
    for (std::uint32_t block = 0; block <= 0xFFFF; ++block) {
        if (int rc = source->find(definitionKey(number, static_cast<std::uint16_t>(block)), &e, &found))
            return rc;
        if (!found) break;
        definition.append(e.bytes, e.keyLength);
    }
    FileDeclaration stored;
    if (!readDefinition(definition, &stored)) return runtime::error::kInvalidDataFile;

    if (int rc = target->beginAccess(true, true)) return rc;
    std::uint32_t old = 0, copy = 0;
    int rc = findTable(*target, to.table, &old, &found);
    if (rc == 0 && found) rc = eraseTable(*target, old, to.table, false);
    if (rc == 0) rc = target->nextNumber(&copy);
    bool existed = false;
    if (rc == 0) {
        std::string data;
        appendLittle32(&data, copy);
        rc = target->replace(Entry{nameKey(to.table) + data, static_cast<std::uint16_t>(to.table.size() + 1)},
                             &existed);
    }
    // Pass 1: a fresh number of the target file for every record; pass 2: every entry, renumbered.
    std::map<std::uint32_t, std::uint32_t> renumber;
    if (rc == 0)
        rc = forEachWithPrefix(*source, kindPrefix(number, kKindData), [&](const Entry& record) {
            return record.keyLength == 9 ? target->nextNumber(&renumber[readBig32(record.key(), 5)]) : 0;
        });
    auto mapped = [&](std::uint32_t r) {
        auto it = renumber.find(r);
        return it == renumber.end() ? r : it->second;
    };
    const std::string prefix = tablePrefix(number);
    for (std::string at = prefix; rc == 0;) {
        rc = source->seekForward(at, at != prefix, &e, &found);
        if (rc || !found || !startsWith(e.key(), prefix)) break;
        at = std::string(e.key());
        Entry out = e;
        for (int i = 0; i < 4; ++i) out.bytes[i] = static_cast<char>(copy >> (24 - 8 * i));
        const auto kind = static_cast<std::uint8_t>(e.bytes[4]);
        auto putBig = [&](std::size_t pos) {
            const std::uint32_t r = mapped(readBig32(out.bytes, pos));
            for (int i = 0; i < 4; ++i) out.bytes[pos + i] = static_cast<char>(r >> (24 - 8 * i));
        };
        if ((kind == kKindData || kind == kKindMemo) && e.keyLength >= 9) {
            putBig(5);
        } else if (kind < kMaxKeys && kind < stored.keys.size()) {
            if (stored.keys[kind].flags & key_flag::kDup) {
                if (e.keyLength >= 9) putBig(e.keyLength - 4u);
            } else if (e.bytes.size() == e.keyLength + 4u) {
                const std::uint32_t r = mapped(readLittle32(out.bytes, e.keyLength));
                for (int i = 0; i < 4; ++i) out.bytes[e.keyLength + i] = static_cast<char>(r >> (8 * i));
            }
        }
        rc = target->replace(out, &existed);
    }
    if (rc == 0)
        rc = target->flush();
    else
        target->discard();
    target->endAccess();
    return rc;
}

namespace {

int operateTable(OperationCode code, DriverFile& file, DriverArguments& args) {
    FileDeclaration& declaration = *file.declaration;
    switch (code) {
    case OPEN:
        return openTable(file, args.openMode);
    case SHARE:
        return openTable(file, args.openMode ? args.openMode : 0x42);
    case CREATE:
        return createFile(file);
    case NAME:
        args.result = physicalDisplayName(splitPhysicalName(declaredName(declaration)));
        return 0;
    case REMOVE:
        return file.state ? runtime::error::kExclusiveAccessRequired : removeTable(declaredName(declaration), passwordOf(declaration));
    case RENAME: {
        if (file.state) return runtime::error::kExclusiveAccessRequired;
        if (int rc = copyTable(declaredName(declaration), args.text, passwordOf(declaration))) return rc;
        const PhysicalName a = splitPhysicalName(declaredName(declaration)), b = splitPhysicalName(args.text);
        if (physicalKey(a.path) == physicalKey(b.path) && a.table == b.table) return 0;
        return removeTable(declaredName(declaration), passwordOf(declaration));
    }
    case COPY:
        return file.state ? runtime::error::kExclusiveAccessRequired : copyTable(declaredName(declaration), args.text, passwordOf(declaration));
    case BUILDfile:
    case BUILDkey:
    case BUILDdyn:
    case BUILDdynfilter:
        return build(code, file, args);
    default:
        break;
    }
    QvnTable* table = tableOf(file);
    if (!table) return runtime::error::kFileNotOpen;
    int key = -1;
    switch (code) {
    case CLOSE: {
        // Changes still batched are committed before the table goes.
        const int rc = table->file().endBatch();
        file.state.reset();
        return rc;
    }
    case ADD:
    case APPEND:
        return table->add();
    case PUT:
        return table->put();
    case PUTfileptr:
        if (args.pointer != table->current()) {
            if (int rc = table->getByPointer(args.pointer)) return rc == runtime::error::kRecordNotFound ? runtime::error::kRecordNotAvailable : rc;
        }
        return table->put();
    case DELETE:
        return table->remove();
    case GETfileptr:
    case GETkeyptr:
        return table->heldRead([&] { return table->getByPointer(args.pointer); });
    case GETfilekey:
        if (int rc = keyOf(*table, args.key, &key)) return rc;
        return table->heldRead([&] { return table->getByKey(key); });
    case SETfile:
        table->setFile();
        return 0;
    case SETfileptr:
        table->setFilePointer(args.pointer);
        return 0;
    case SETfilekey:
        if (int rc = keyOf(*table, args.key, &key)) return rc;
        return table->setFileKey(key);
    case SETkey:
        if (int rc = keyOf(*table, args.key, &key)) return rc;
        table->setKey(key);
        return 0;
    case SETkeykey:
    case SETkeykeyptr: {
        if (int rc = keyOf(*table, args.key, &key)) return rc;
        const int values = args.secondKey ? table->keyIndex(args.secondKey) : key;
        return table->setKeyValue(key, values, code == SETkeykeyptr, args.pointer);
    }
    case SETkeyptr:
        if (int rc = keyOf(*table, args.key, &key)) return rc;
        return table->setKeyPointer(key, args.pointer);
    case NEXT:
    case PREVIOUS:
    case SKIP:
    case EOF_:
    case BOF: {
        args.key = table->orderKey();
        if (code == NEXT) return table->heldRead([&] { return table->next(); });
        if (code == PREVIOUS) return table->heldRead([&] { return table->previous(); });
        if (code == SKIP) return table->skip(args.seconds);
        bool none = false;
        const int rc = table->atEnd(code == EOF_, &none);
        args.flag = none;
        return rc;
    }
    case POINTERfile:
        args.number = table->current();
        return 0;
    case POINTERkey:
        args.number = table->current();
        return 0;
    case RECORDSfile:
        return table->records(-1, &args.number);
    case RECORDSkey:
        if (int rc = keyOf(*table, args.key, &key)) return rc;
        return table->records(key, &args.number);
    case BYTES:
        args.number = table->declaration().recordLength;
        return 0;
    case DUPLICATE:
        return table->duplicate(-1, &args.flag);
    case DUPLICATEkey:
        if (int rc = keyOf(*table, args.key, &key)) return rc;
        return table->duplicate(key, &args.flag);
    case POSITIONfile:
        return table->position(-1, &args.result);
    case POSITIONkey:
        if (int rc = keyOf(*table, args.key, &key)) return rc;
        return table->position(key, &args.result);
    case RESETfile:
        return table->reset(-1, args.text);
    case RESETkey:
        if (int rc = keyOf(*table, args.key, &key)) return rc;
        return table->reset(key, args.text);
    case REGETfile:
        return table->heldRead([&] { return table->reget(-1, args.text); });
    case REGETkey:
        if (int rc = keyOf(*table, args.key, &key)) return rc;
        return table->heldRead([&] { return table->reget(key, args.text); });
    case EMPTY:
        return table->empty();
    case NOMEMO:
        table->options() |= table_option::kNoMemo;
        return 0;
    case FLUSH: {
        if (table->file().batchPending()) return table->file().endBatch();
        return table->file().flush();
    }
    case STREAM:
        return 0; // accepted and does nothing
    case PACK:
        return table->pack();
    case SEND:
        return send(*table, args.text, &args.result);
    // Properties belong to the file: the key forms check their key and then answer as the file
    // forms do, so every listed operation does what the file forms do instead of answering 80.
    case GETPROPERTYkey:
        if (int rc = keyOf(*table, args.key, &key)) return rc;
        [[fallthrough]];
    case GET_PROPERTY:
        return send(*table, args.text, &args.result);
    case SETPROPERTYkey:
        if (int rc = keyOf(*table, args.key, &key)) return rc;
        [[fallthrough]];
    case SET_PROPERTY: {
        std::string ignored;
        return send(*table, args.text + "=" + args.result, &ignored);
    }
    case BLOB_SIZE:
    case BLOB_TAKE:
    case BLOB_YIELD:
    case BLOB_GET_PROP:
    case BLOB_SET_PROP:
        return blobOperation(code, *table, args);
    case GETSTATE:
        args.number = table->saveState();
        return 0;
    case RESTORESTATE:
        return table->restoreState(args.number);
    case FREESTATE:
        table->freeState(args.number);
        return 0;
    case HOLDfile:
    case HOLDfilesec:
        // Hold mode stays on until RELEASE; HOLD without seconds does not wait for a held record.
        table->options() |= table_option::kHoldMode;
        table->holdSeconds = code == HOLDfilesec ? args.seconds : 0;
        return 0;
    case RELEASE:
        table->releaseHold();
        table->options() &= ~table_option::kHoldMode;
        return 0;
    case WATCH:
        table->options() |= table_option::kWatchMode;
        return 0;
    case LOCKfile:
        return table->lockTable(0);
    case LOCKfilesec:
        return table->lockTable(args.seconds);
    case UNLOCK:
        table->unlockTable();
        return 0;
    case LOGOUT:
        // A transaction starts from committed state: what is batched is committed first.
        if (int rc = table->file().endBatch()) return rc;
        return logout(*table, args.seconds);
    case COMMIT:
        return commit(*table);
    case ROLLBACK:
        return rollback(*table);
    default:
        return runtime::error::kUnsupportedDriverFunction;
    }
}

} // namespace

int operate(OperationCode code, DriverFile& file, DriverArguments& args) {
    if (code != LOGOUT) closeLogoutGathering();
    installTransactionCheck();
    const int rc = operateTable(code, file, args);
    // NOMEMO holds for the next read only, also when that read finds nothing: a search that ends at
    // the end of the table must not leave the memos unread on a later, unrelated read.
    if (rc != 0 && file.state &&
        (code == NEXT || code == PREVIOUS || code == GETfilekey || code == GETfileptr || code == GETkeyptr ||
         code == REGETfile || code == REGETkey))
        tableOf(file)->options() &= ~table_option::kNoMemo;
    // A declaration filled from the file (read mode) has no keys of its own: the trace numbers the
    // key through the driver's own key list.
    if (args.key && file.state) args.keyNumber = tableOf(file)->keyIndex(args.key) + 1;
    return rc;
}

} // namespace docket::drivers::qvn
