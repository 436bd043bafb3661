#include "drivers/driver_registry.h"

#include <gtest/gtest.h>

#include "drivers/ascii/ascii_driver.h"
#include "drivers/qvn/qvn_registration.h"
#include "runtime/core/error_state.h"

namespace docket::drivers {
namespace {

int calls = 0;
int countingOperation(OperationCode, DriverFile&, DriverArguments&) {
    ++calls;
    return 0;
}

FileDeclaration declarationWith(TypeCode type, const char* driver) {
    FileDeclaration declaration;
    declaration.label = "T";
    declaration.driver = driver;
    FieldDeclaration field;
    field.type = type;
    field.size = 8;
    field.label = "T:F";
    declaration.fields.push_back(field);
    declaration.recordLength = 8;
    return declaration;
}

class DriverRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        registerDriver(qvn::registration());
        registerDriver(ascii::registration());
        qvn::setOperations(countingOperation);
        calls = 0;
    }
    void TearDown() override { qvn::setOperations(nullptr); }
};

TEST_F(DriverRegistry, RegistrationRecords) {
    const DriverRegistration& native = qvn::registration();
    EXPECT_STREQ(native.name.data(), "QUORVANE");
    EXPECT_STREQ(native.description.data(), "Quorvane (QVN)");
    EXPECT_STREQ(native.module.data(), "K55QVNX.DLL");
    EXPECT_STREQ(native.secondModule.data(), "K55QVNSX.DLL");
    EXPECT_EQ(native.operations().size(), 73u);
    EXPECT_EQ(native.types().size(), 17u);
    EXPECT_EQ(native.fileBlockSize, 231u);
    EXPECT_EQ(native.operations().front(), static_cast<std::uint8_t>(OperationCode::ADD));
    EXPECT_EQ(native.operations().back(), static_cast<std::uint8_t>(OperationCode::FREESTATE));

    const DriverRegistration& text = ascii::registration();
    EXPECT_STREQ(text.description.data(), "ASCII (Text)");
    EXPECT_EQ(text.operations().size(), 37u);
    EXPECT_EQ(text.types().size(), 2u);
    EXPECT_EQ(text.keyBlockSize, 24u);

    EXPECT_EQ(findDriver("quorvane"), &native);
    EXPECT_EQ(findDriver("NOSUCH"), nullptr);
}

TEST_F(DriverRegistry, UnlistedOperationsNeverReachTheDriver) {
    FileDeclaration declaration = declarationWith(TypeCode::Long, "QUORVANE");
    DriverFile file{&declaration, nullptr};
    DriverArguments args;
    for (OperationCode code : {OperationCode::ADDfilelen, OperationCode::SETNULL, OperationCode::DESTROY,
                               OperationCode::GETfileptrlen}) {
        EXPECT_EQ(callDriver(code, file, args), 80);
        EXPECT_EQ(runtime::errorCode(), 80);
    }
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(callDriver(OperationCode::NEXT, file, args), 0);
    EXPECT_EQ(calls, 1);

    FileDeclaration text = declarationWith(TypeCode::String, "ASCII");
    DriverFile textFile{&text, nullptr};
    EXPECT_EQ(callDriver(OperationCode::BUILDkey, textFile, args), 80);
}

TEST_F(DriverRegistry, UnacceptedTypesFailOpenAndCreate) {
    for (TypeCode type : {TypeCode::PDecimal, TypeCode::BFloat8, TypeCode::BFloat4}) {
        FileDeclaration declaration = declarationWith(type, "QUORVANE");
        DriverFile file{&declaration, nullptr};
        DriverArguments args;
        EXPECT_EQ(callDriver(OperationCode::OPEN, file, args), 79);
        EXPECT_EQ(callDriver(OperationCode::CREATE, file, args), 79);
    }
    EXPECT_EQ(calls, 0);
    FileDeclaration withMemo = declarationWith(TypeCode::String, "ASCII");
    withMemo.memos.push_back(MemoDeclaration{});
    DriverFile file{&withMemo, nullptr};
    DriverArguments args;
    EXPECT_EQ(callDriver(OperationCode::OPEN, file, args), 79) << "the text driver takes no memos";

    FileDeclaration fine = declarationWith(TypeCode::Decimal, "QUORVANE");
    DriverFile fineFile{&fine, nullptr};
    EXPECT_EQ(callDriver(OperationCode::OPEN, fineFile, args), 0);
    EXPECT_EQ(calls, 1);
}

TEST_F(DriverRegistry, UnknownDriverIsAnInvalidName) {
    FileDeclaration declaration = declarationWith(TypeCode::Long, "NOSUCH");
    DriverFile file{&declaration, nullptr};
    DriverArguments args;
    EXPECT_EQ(callDriver(OperationCode::OPEN, file, args), 45);
}

int failingRead(OperationCode, DriverFile&, DriverArguments&) {
    setPlatformError(30);
    return 90;
}

TEST_F(DriverRegistry, FileSystemErrorsKeepThePlatformCode) {
    qvn::setOperations(failingRead);
    FileDeclaration declaration = declarationWith(TypeCode::Long, "QUORVANE");
    DriverFile file{&declaration, nullptr};
    DriverArguments args;
    EXPECT_EQ(callDriver(OperationCode::NEXT, file, args), 90);
    EXPECT_EQ(runtime::errorCode(), 90);
    EXPECT_EQ(runtime::fileErrorCode(), 30);
    EXPECT_EQ(runtime::fileErrorText(), "Read Fault");
}

TEST_F(DriverRegistry, AnOpenFileKeepsItsDriverAndAClosedOneAsksAgain) {
    FileDeclaration declaration = declarationWith(TypeCode::Long, "quorvane");
    DriverFile file;
    file.declaration = &declaration;
    DriverArguments args;
    EXPECT_EQ(callDriver(OperationCode::OPEN, file, args), 0);
    // The counting stand-in opens nothing; an open file is one with a state.
    file.state = std::make_unique<DriverFileState>();
    declaration.driver = "NOSUCHDRIVER";
    EXPECT_EQ(callDriver(OperationCode::NEXT, file, args), 0); // still the driver it opened with
    EXPECT_EQ(calls, 2);
    file.state.reset();
    EXPECT_EQ(callDriver(OperationCode::NEXT, file, args), 45);
    declaration.driver = "ASCII";
    EXPECT_EQ(callDriver(OperationCode::BUILDkey, file, args), 80); // the text driver has no keys
    EXPECT_EQ(calls, 2);
}

} // namespace
} // namespace docket::drivers
