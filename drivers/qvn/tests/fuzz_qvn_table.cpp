// libFuzzer target: arbitrary bytes as a native file holding tables. Every table the file names is
// opened with an empty declaration (its definition read from the file) and every record is read
// in record order and in the order of every key; then the same with a fixed declaration. Integrity
// stops are recorded instead of halting: a damaged file must end in an error code, never a crash.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "drivers/driver_registry.h"
#include "drivers/qvn/qvn_file.h"
#include "drivers/qvn/qvn_registration.h"
#include "drivers/qvn/qvn_table.h"
#include "runtime/core/fatal.h"

using namespace docket::drivers;
using namespace docket::drivers::qvn;

namespace {

void readEverything(DriverFile& file) {
    DriverArguments open;
    open.openMode = 0x40;
    if (callDriver(OperationCode::OPEN, file, open) != 0) return;
    auto* table = static_cast<QvnTable*>(file.state.get());
    for (int k = -1; k < static_cast<int>(table->declaration().keys.size()); ++k) {
        DriverArguments args;
        if (k < 0) {
            callDriver(OperationCode::SETfile, file, args);
        } else {
            args.key = &table->declaration().keys[static_cast<std::size_t>(k)];
            callDriver(OperationCode::SETkey, file, args);
        }
        for (int steps = 0; steps < 10000; ++steps) {
            DriverArguments next;
            if (callDriver(OperationCode::NEXT, file, next) != 0) break;
        }
    }
    DriverArguments close;
    callDriver(OperationCode::CLOSE, file, close);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = "/tmp/fuzz-qvn-table-" + std::to_string(::getpid()) + ".QVN";
    static const bool ready = [] {
        docket::runtime::setFatalHook([](const std::string&) {});
        registerDriver(registration());
        return true;
    }();
    (void)ready;
    if (std::FILE* out = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, out);
        std::fclose(out);
    }
    std::vector<TableInfo> tables;
    {
        std::shared_ptr<QvnFile> file;
        if (QvnFile::open(path, 0x40, {}, &file) != 0) return 0;
        if (listTables(*file, &tables) != 0) return 0;
    }
    for (const TableInfo& info : tables) {
        FileDeclaration bare;
        bare.label = "F";
        bare.driver = "QUORVANE";
        bare.name = path + "\\!" + info.name;
        DriverFile file;
        file.declaration = &bare;
        readEverything(file);
    }
    // A fixed declaration against the default table.
    FileDeclaration fixed;
    fixed.label = "F";
    fixed.driver = "QUORVANE";
    fixed.name = path;
    std::vector<std::uint8_t> record(8), memo(100);
    FieldDeclaration id;
    id.type = docket::runtime::TypeCode::Long;
    id.size = 4;
    id.label = "ID";
    FieldDeclaration name = id;
    name.type = docket::runtime::TypeCode::CString;
    name.offset = 4;
    name.label = "NAME";
    fixed.fields = {id, name};
    fixed.recordLength = 8;
    fixed.record = record.data();
    MemoDeclaration note;
    note.label = "NOTE";
    note.size = 100;
    note.buffer = memo.data();
    fixed.memos = {note};
    KeyDeclaration key;
    key.label = "K";
    key.components = {1};
    fixed.keys = {key};
    DriverFile file;
    file.declaration = &fixed;
    readEverything(file);
    return 0;
}
