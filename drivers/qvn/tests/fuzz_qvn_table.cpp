// libFuzzer target: a damaged native file holding tables. LLVMFuzzerInitialize builds a sound file
// with two named tables and the default one (records, several keys among them DUP, NOCASE,
// descending and OPT ones, memos spread over several segments and a BLOB); each input is a list of
// patches applied over a copy of that image, so mutations start deep inside valid pages instead of
// at the header check. Every table the damaged file names is then opened with an empty declaration
// (its definition read from the file) and every record is read in record order and in the order of
// every key; then the same with a fixed declaration. Integrity stops are recorded instead of
// halting: a damaged file must end in an error code, never a crash.
//
// Speed: each walk holds one read access, as a reader that walks a table does, so the header is
// read once per walk instead of once per record; the walks in key order read no memos (NOMEMO),
// since the record-order walk reads every memo already and the key walks differ only in the key
// entries they decode. The tables share the one open file and its pages, as tables of one file
// do in a program. The file lives in memory (/dev/shm when there is one) and each input is
// written over the same file in place, without truncating or creating it. Eight records per
// table keep every kind of entry and a tree of more than one level (checked at start-up), at a
// fraction of the reads forty took.
//
// Patch format, repeated to the end of the input: offset (3 bytes little-endian, taken modulo the
// image size), count n (1 byte), then n bytes written at the offset (cut at the image's end).
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "drivers/driver_registry.h"
#include "drivers/qvn/file_check.h"
#include "drivers/qvn/qvn_file.h"
#include "drivers/qvn/qvn_registration.h"
#include "drivers/qvn/qvn_table.h"
#include "runtime/core/fatal.h"
#include "runtime/core/type_code.h"

using namespace docket::drivers;
using namespace docket::drivers::qvn;

namespace {

void readEverything(DriverFile& file) {
    DriverArguments open;
    open.openMode = 0x40;
    if (callDriver(OperationCode::OPEN, file, open) != 0) return;
    auto* table = static_cast<QvnTable*>(file.state.get());
    const bool held = table->file().beginAccess(false) == 0;
    for (int k = -1; k < static_cast<int>(table->declaration().keys.size()); ++k) {
        DriverArguments args;
        if (k < 0) {
            callDriver(OperationCode::SETfile, file, args);
        } else {
            args.key = &table->declaration().keys[static_cast<std::size_t>(k)];
            callDriver(OperationCode::SETkey, file, args);
        }
        for (int steps = 0; steps < 10000; ++steps) {
            if (k >= 0) {
                DriverArguments noMemo;
                callDriver(OperationCode::NOMEMO, file, noMemo);
            }
            DriverArguments next;
            if (callDriver(OperationCode::NEXT, file, next) != 0) break;
        }
    }
    if (held) table->file().endAccess();
    DriverArguments close;
    callDriver(OperationCode::CLOSE, file, close);
}

using docket::runtime::TypeCode;

constexpr int kRecords = 8; // per table
std::string path;
std::vector<std::uint8_t> image; // the sound file the patches damage
int imageFd = -1;                // the file, open for writing each input over it

// A declaration of its own with its buffers: ID LONG, NAME CSTRING(24), CODE STRING(6), WHEN DATE,
// AMOUNT DECIMAL(7,2), SCORE REAL; NOTE MEMO(900), DATA BLOB; keys ID (unique), NAME (DUP,
// NOCASE), -WHEN+ID (OPT, descending date), CODE+AMOUNT (DUP).
struct Sample {
    FileDeclaration d;
    std::vector<std::uint8_t> record, note;
    std::vector<std::uint8_t> blob;
    explicit Sample(const std::string& name) {
        d.label = "S";
        d.driver = "QUORVANE";
        d.name = name;
        d.appendField("ID", TypeCode::Long, 4);
        d.appendField("NAME", TypeCode::CString, 24);
        d.appendField("CODE", TypeCode::String, 6);
        d.appendField("WHEN", TypeCode::Date, 4);
        d.appendField("AMOUNT", TypeCode::Decimal, 4, 2);
        d.appendField("SCORE", TypeCode::Real, 8);
        record.assign(d.recordLength, 0);
        d.record = record.data();
        note.assign(900, ' ');
        MemoDeclaration m;
        m.label = "NOTE";
        m.size = 900;
        m.buffer = note.data();
        d.memos.push_back(m);
        MemoDeclaration b;
        b.label = "DATA";
        b.flags = memo_flag::kBlob | memo_flag::kBinary;
        b.blob = &blob;
        d.memos.push_back(b);
        auto key = [&](const char* label, std::uint16_t flags, std::vector<std::int32_t> components) {
            KeyDeclaration k;
            k.label = label;
            k.flags = flags;
            k.components = std::move(components);
            d.keys.push_back(k);
        };
        key("ID_KEY", key_flag::kPrimary, {1});
        key("NAME_KEY", key_flag::kDup | key_flag::kNoCase, {2});
        key("WHEN_KEY", key_flag::kOpt, {-4, 1});
        key("CODE_KEY", key_flag::kDup, {3, 5});
    }
    void fill(int i) {
        std::fill(record.begin(), record.end(), 0);
        docket::runtime::writeU32(record.data(), static_cast<std::uint32_t>(i * 7 - 20));
        docket::runtime::writeText(TypeCode::CString, record.data() + 4, 24,
                                   (i % 3 ? "name " : "Name ") + std::to_string(i % 9));
        docket::runtime::writeText(TypeCode::String, record.data() + 28, 6, "C" + std::to_string(i % 4));
        docket::runtime::writeU32(record.data() + 34, i % 5 ? static_cast<std::uint32_t>(80000 + i * 3) : 0);
        docket::runtime::writeDecimal(record.data() + 38, 4, 2, (i - 15) * 1.25L);
        const double score = i * -0.5;
        std::memcpy(record.data() + 42, &score, 8);
        std::fill(note.begin(), note.end(), ' ');
        const std::string text(static_cast<std::size_t>((i * 97) % 700), static_cast<char>('a' + i % 26));
        std::memcpy(note.data(), text.data(), text.size());
        blob.assign(static_cast<std::size_t>((i * 53) % 400), static_cast<std::uint8_t>(i));
    }
};

void buildImage() {
    for (const char* table : {"", "\\!FIRST", "\\!SECOND"}) {
        Sample sample(path + table);
        DriverFile file;
        file.declaration = &sample.d;
        DriverArguments args;
        callDriver(OperationCode::CREATE, file, args);
        args.openMode = 0x42;
        if (callDriver(OperationCode::OPEN, file, args) != 0) continue;
        for (int i = 0; i < kRecords; ++i) {
            sample.fill(i);
            DriverArguments add;
            callDriver(OperationCode::ADD, file, add);
        }
        // A few changes and deletions leave freed space and rewritten segments behind.
        for (std::uint32_t r : {3u, 5u, 7u}) {
            DriverArguments get;
            get.pointer = r;
            if (callDriver(OperationCode::GETfileptr, file, get) != 0) continue;
            DriverArguments change;
            callDriver(r == 5 ? OperationCode::DELETE : OperationCode::PUT, file, change);
        }
        DriverArguments close;
        callDriver(OperationCode::CLOSE, file, close);
    }
    if (std::FILE* in = std::fopen(path.c_str(), "rb")) {
        std::uint8_t buffer[65536];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;)
            image.insert(image.end(), buffer, buffer + n);
        std::fclose(in);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    docket::runtime::setFatalHook([](const std::string&) {});
    registerDriver(registration());
    const char* folder = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    path = std::string(folder) + "/fuzz-qvn-table-" + std::to_string(::getpid()) + ".QVN";
    std::remove(path.c_str());
    buildImage();
    // The image must still hold interior pages and every kind of entry the patches should reach.
    const FileReport report = examineFile(path, {});
    if (image.empty() || report.depth < 2 || report.tables.size() != 3 || !report.problems.empty()) {
        std::fprintf(stderr, "fuzz_qvn_table: the sound image is not what the target needs\n");
        std::abort();
    }
    imageFd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (imageFd < 0) std::abort();
    std::atexit([] { std::remove(path.c_str()); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> damaged = image;
    for (std::size_t at = 0; at + 4 <= size && !damaged.empty();) {
        const std::size_t offset = (data[at] | data[at + 1] << 8 | data[at + 2] << 16) % damaged.size();
        std::size_t count = data[at + 3];
        at += 4;
        count = std::min({count, size - at, damaged.size() - offset});
        std::memcpy(damaged.data() + offset, data + at, count);
        at += count;
    }
    // Every image has the same size: written in place, the file never changes its length.
    if (::pwrite(imageFd, damaged.data(), damaged.size(), 0) != static_cast<ssize_t>(damaged.size()))
        return 0;
    // The file stays open through the input, so that every table opened on it shares its pages, as
    // tables of one file do in a program: each page is read and decoded once per input.
    std::vector<TableInfo> tables;
    std::shared_ptr<QvnFile> shared;
    if (QvnFile::open(path, 0x40, {}, &shared) != 0) return 0;
    if (listTables(*shared, &tables) != 0) return 0;
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
