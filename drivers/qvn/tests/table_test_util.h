#pragma once
// Building table declarations for the native driver's tests and calling the driver through the
// registry, as the runtime does.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "drivers/driver_registry.h"
#include "drivers/qvn/qvn_registration.h"
#include "drivers/qvn/table_check.h"
#include "drivers/qvn/tests/qvn_test_util.h"

namespace docket::drivers::qvn::testing {

using runtime::TypeCode;

class TestTable {
public:
    explicit TestTable(std::string name) {
        registerDriver(registration());
        declaration.label = "T";
        declaration.driver = "QUORVANE";
        declaration.name = std::move(name);
        file.declaration = &declaration;
    }

    int field(const std::string& label, TypeCode type, std::uint32_t size, std::uint8_t places = 0) {
        const int number = declaration.appendField(label, type, size, places);
        record.resize(declaration.recordLength);
        declaration.record = record.data();
        return number;
    }
    void memo(const std::string& label, std::uint32_t size, std::uint8_t flags = 0) {
        MemoDeclaration m;
        m.label = label;
        m.size = size;
        m.flags = flags;
        if (m.isBlob())
            m.blob = &blobs.emplace_back();
        else
            m.buffer = memos.emplace_back(size, ' ').data();
        declaration.memos.push_back(m);
    }
    const KeyDeclaration& key(const std::string& label, std::uint16_t flags,
                              std::vector<std::int32_t> components) {
        KeyDeclaration k;
        k.label = label;
        k.flags = flags;
        k.components = std::move(components);
        declaration.keys.push_back(k);
        return declaration.keys.back();
    }

    int call(OperationCode code, DriverArguments& args) { return callDriver(code, file, args); }
    int call(OperationCode code) {
        DriverArguments args;
        if (code == OperationCode::OPEN) args.openMode = 0x42; // read and write, shared with all
        return callDriver(code, file, args);
    }
    int callKey(OperationCode code, int key, DriverArguments& args) {
        args.key = &declaration.keys[key];
        return callDriver(code, file, args);
    }
    int callKey(OperationCode code, int key) {
        DriverArguments args;
        return callKey(code, key, args);
    }
    std::uint64_t records(int key = -1) {
        DriverArguments args;
        EXPECT_EQ(key < 0 ? call(OperationCode::RECORDSfile, args)
                          : callKey(OperationCode::RECORDSkey, key, args),
                  0);
        return args.number;
    }
    std::uint32_t pointer() {
        DriverArguments args;
        EXPECT_EQ(call(OperationCode::POINTERfile, args), 0);
        return static_cast<std::uint32_t>(args.number);
    }

    // Typed access to the record buffer by field number (from 1).
    std::uint8_t* at(int field) { return record.data() + declaration.fields[field - 1].offset; }
    void setLong(int field, std::int32_t v) { std::memcpy(at(field), &v, 4); }
    std::int32_t getLong(int field) {
        std::int32_t v;
        std::memcpy(&v, at(field), 4);
        return v;
    }
    void setText(int field, const std::string& text) {
        const FieldDeclaration& f = declaration.fields[field - 1];
        runtime::writeText(f.type, at(field), f.size, text);
    }
    std::string getText(int field) {
        const FieldDeclaration& f = declaration.fields[field - 1];
        return runtime::readText(f.type, at(field), f.size);
    }
    void setMemo(std::size_t m, const std::string& text) {
        MemoDeclaration& d = declaration.memos[m];
        std::memset(d.buffer, ' ', d.size);
        std::memcpy(d.buffer, text.data(), std::min<std::size_t>(text.size(), d.size));
    }
    std::string getMemo(std::size_t m) {
        const MemoDeclaration& d = declaration.memos[m];
        return std::string(reinterpret_cast<const char*>(d.buffer), d.size);
    }

    FileDeclaration declaration;
    DriverFile file;
    std::vector<std::uint8_t> record;
    std::deque<std::vector<std::uint8_t>> memos;
    std::deque<std::vector<std::uint8_t>> blobs;
};

// The pages and the tables of a file pass the check.
inline void expectTablesClean(const std::string& path) {
    expectClean(path);
    std::vector<std::string> problems;
    checkTables(path, {}, &problems);
    for (const auto& p : problems) ADD_FAILURE() << path << ": " << p;
}

} // namespace docket::drivers::qvn::testing
