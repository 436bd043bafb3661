#include "drivers/ascii/ascii_driver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "runtime/core/error_state.h"
#include "files/file_statements.h"

namespace docket::drivers {
namespace {

namespace fs = std::filesystem;
using runtime::RecordPointer;

// A text file of 8-character records: one STRING(8) field.
struct LineFile {
    char record[8];
    FileDeclaration declaration;
    DriverFile file{&declaration, nullptr};

    explicit LineFile(const fs::path& path, const char* options = nullptr) {
        declaration.label = "Lines";
        declaration.driver = "ASCII";
        declaration.name = path.string();
        if (options) declaration.driverOptions = options;
        declaration.recordLength = sizeof record;
        declaration.record = reinterpret_cast<std::uint8_t*>(record);
        FieldDeclaration text{.type = TypeCode::String, .size = 8, .label = "LIN:TEXT"};
        text.elementLength = 8;
        declaration.fields.push_back(text);
    }
    ~LineFile() {
        if (file.state) runtime::close(file);
    }
    void set(const std::string& text) { runtime::writeText(TypeCode::String, declaration.record, 8, text); }
    std::string get() const { return std::string(record, sizeof record); }
};

class AsciiDriver : public ::testing::Test {
protected:
    fs::path dir;
    void SetUp() override {
        dir = fs::temp_directory_path() / ("docket-ascii-" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string contents(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
};

TEST_F(AsciiDriver, WritesAppendsAndReadsBack) {
    fs::path path = dir / "log.txt";
    {
        LineFile lines(path);
        ASSERT_EQ(runtime::create(lines.file), 0);
        ASSERT_EQ(runtime::open(lines.file), 0);
        lines.set("first");
        ASSERT_EQ(runtime::add(lines.file), 0);
        lines.set("second");
        ASSERT_EQ(runtime::add(lines.file), 0);
    }
    EXPECT_EQ(contents(path), "first\r\nsecond\r\n") << "trailing blanks are clipped";
    {
        LineFile lines(path);
        ASSERT_EQ(runtime::open(lines.file, 0x42), 0);
        lines.set("third");
        ASSERT_EQ(runtime::append(lines.file), 0);
        ASSERT_EQ(runtime::set(lines.file), 0);
        ASSERT_EQ(runtime::next(lines.file), 0);
        EXPECT_EQ(lines.get(), "first   ");
        std::uint32_t second = 0;
        ASSERT_EQ(runtime::next(lines.file), 0);
        runtime::pointer(lines.file, second);
        EXPECT_EQ(lines.get(), "second  ");
        ASSERT_EQ(runtime::next(lines.file), 0);
        EXPECT_EQ(lines.get(), "third   ");
        bool atEnd = false;
        runtime::eof(lines.file, atEnd);
        EXPECT_TRUE(atEnd);
        EXPECT_EQ(runtime::next(lines.file), 33);
        EXPECT_EQ(runtime::errorCode(), 33);

        ASSERT_EQ(runtime::get(lines.file, RecordPointer{second}), 0);
        EXPECT_EQ(lines.get(), "second  ");
        std::string at;
        runtime::position(lines.file, at);
        ASSERT_EQ(runtime::set(lines.file), 0);
        ASSERT_EQ(runtime::next(lines.file), 0);
        ASSERT_EQ(runtime::reget(lines.file, at), 0);
        EXPECT_EQ(lines.get(), "second  ");

        // PUT rewrites the line in place, never moving the others.
        lines.set("2nd");
        ASSERT_EQ(runtime::put(lines.file), 0);
    }
    EXPECT_EQ(contents(path), "first\r\n2nd   \r\nthird\r\n");
}

TEST_F(AsciiDriver, ReadsBothLineEndsAndCutsOrPads) {
    fs::path path = dir / "mixed.txt";
    std::ofstream(path, std::ios::binary) << "a\nlonger than eight\r\n\r\nlast-no-end";
    LineFile lines(path);
    ASSERT_EQ(runtime::open(lines.file, 0x40), 0);
    std::vector<std::string> got;
    while (runtime::next(lines.file) == 0) got.push_back(lines.get());
    EXPECT_EQ(got, (std::vector<std::string>{"a       ", "longer t", "        ", "last-no-"}));

    // An append after a last line without its end starts a line of its own.
    LineFile writer(path);
    ASSERT_EQ(runtime::open(writer.file, 0x42), 0);
    writer.set("x");
    ASSERT_EQ(runtime::add(writer.file), 0);
    EXPECT_EQ(contents(path), "a\nlonger than eight\r\n\r\nlast-no-end\r\nx\r\n");
}

TEST_F(AsciiDriver, CtrlZEndsTheFileAndOptionsChangeIt) {
    fs::path path = dir / "z.txt";
    std::ofstream(path, std::ios::binary) << "one\r\n\x1atwo\r\n";
    LineFile lines(path);
    ASSERT_EQ(runtime::open(lines.file, 0x40), 0);
    ASSERT_EQ(runtime::next(lines.file), 0);
    EXPECT_EQ(runtime::next(lines.file), 33);
    std::string value;
    ASSERT_EQ(runtime::send(lines.file, "CTRLZISEOF=OFF", value), 0);
    EXPECT_EQ(value, "OFF");
    ASSERT_EQ(runtime::set(lines.file), 0);
    int count = 0;
    while (runtime::next(lines.file) == 0) ++count;
    EXPECT_EQ(count, 2);
    runtime::send(lines.file, "CLIP", value);
    EXPECT_EQ(value, "ON");
}

TEST_F(AsciiDriver, MissingFilesAndUnsupportedOperations) {
    LineFile missing(dir / "nope.txt");
    EXPECT_EQ(runtime::open(missing.file), 2);
    EXPECT_EQ(runtime::errorText(), "File Not Found");
    LineFile noPath(dir / "no" / "such" / "dir.txt");
    EXPECT_EQ(runtime::open(noPath.file), 3);
    EXPECT_EQ(runtime::next(missing.file), 37) << "a closed file";
    std::uint64_t count = 0;
    EXPECT_EQ(runtime::records(missing.file, count), 80);
    EXPECT_EQ(runtime::build(missing.file), 80);
}

TEST_F(AsciiDriver, ShareModesConflict) {
    fs::path path = dir / "shared.txt";
    LineFile first(path), second(path);
    ASSERT_EQ(runtime::create(first.file), 0);
    ASSERT_EQ(runtime::open(first.file, 0x12), 0); // read/write, exclusive
    EXPECT_EQ(runtime::open(second.file, 0x40), 5);
    EXPECT_EQ(runtime::errorText(), "Access Denied");
    runtime::close(first.file);
    EXPECT_EQ(runtime::open(second.file, 0x40), 0);
}

TEST_F(AsciiDriver, OemFilesStoreCodePage437) {
    fs::path path = dir / "oem.txt";
    LineFile lines(path);
    lines.declaration.flags = file_flag::kOem;
    ASSERT_EQ(runtime::create(lines.file), 0);
    ASSERT_EQ(runtime::open(lines.file), 0);
    lines.set("caf\xe9"); // é in Windows-1252
    ASSERT_EQ(runtime::add(lines.file), 0);
    EXPECT_EQ(contents(path), "caf\x82\r\n");
    ASSERT_EQ(runtime::set(lines.file), 0);
    ASSERT_EQ(runtime::next(lines.file), 0);
    EXPECT_EQ(lines.get(), "caf\xe9    ");
}

} // namespace
} // namespace docket::drivers
