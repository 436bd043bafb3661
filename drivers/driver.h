#pragma once
// The one narrow interface between the runtime's file statements and a file driver: the driver's
// registration record, the per-file block the runtime hands to every call, the operation's
// arguments, and the entry point.
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "drivers/declaration.h"
#include "drivers/operation_code.h"

namespace docket::drivers {

// The driver's own state for one open declared file (its per-file, per-field, per-memo and per-key
// blocks). Created by OPEN or CREATE, released by CLOSE.
class DriverFileState {
public:
    virtual ~DriverFileState() = default;
};

// The runtime's block for one declared file, passed to the driver on every call.
struct DriverRegistration;

struct DriverFile {
    FileDeclaration* declaration = nullptr;
    std::unique_ptr<DriverFileState> state; // null while the file is closed
    // The driver an open file was opened with, so that its operations need not look it up by name.
    const DriverRegistration* driver = nullptr;
};

// The arguments of one operation; each operation reads the members its argument forms name.
struct DriverArguments {
    // Key-form operations: the key or index. NEXT, PREVIOUS and the like: the driver names the key
    // of its current order here, for the trace.
    const KeyDeclaration* key = nullptr;
    const KeyDeclaration* secondKey = nullptr; // SET(key, key[, ptr]): the key whose values position
    // The 1-based number of `key` among the table's keys, set by a driver whose keys are not the
    // declaration's own (a declaration filled from the file): the trace then numbers the key by it.
    int keyNumber = 0;
    std::uint32_t pointer = 0;                 // ptr forms: the record pointer
    std::uint32_t length = 0;                  // len forms
    std::int32_t seconds = 0;                  // sec forms
    std::uint32_t openMode = 0;                // OPEN, SHARE: the access word
    std::string text;   // position strings, SEND commands, property names, filters, file names
    std::string result; // SEND and GET_PROPERTY results, POSITION's position string
    std::uint64_t number = 0; // RECORDS count, POINTER, BYTES
    bool flag = false;        // BOF, EOF, NULL
};

using DriverEntry = int (*)(OperationCode operation, DriverFile& file, DriverArguments& args);

// One static record per driver. The supported-operation list is a count byte followed by that many
// operation codes, then a count byte followed by that many type codes the driver accepts in records.
struct DriverRegistration {
    std::array<char, 21> name;        // upper case, zero padded
    std::array<char, 13> module;
    std::array<char, 41> notice;
    std::array<char, 31> description;
    DriverEntry entry;
    std::uint32_t capabilities;       // bit set of the driver's own choosing, see each driver
    std::array<std::uint8_t, 28> limits;
    std::uint32_t fieldBlockSize;
    std::uint32_t memoBlockSize;
    std::uint32_t keyBlockSize;
    std::uint32_t fileBlockSize;
    std::array<std::uint8_t, 12> reserved;
    const std::uint8_t* supported;
    std::array<char, 13> secondModule;

    std::span<const std::uint8_t> operations() const { return {supported + 1, supported[0]}; }
    std::span<const std::uint8_t> types() const {
        const std::uint8_t* list = supported + 1 + supported[0];
        return {list + 1, list[0]};
    }
    bool supports(OperationCode operation) const;
    bool accepts(TypeCode type) const;
};

// Fills a fixed, zero-padded text field of a registration record.
template <std::size_t N>
constexpr std::array<char, N> fixedText(const char* text) {
    std::array<char, N> out{};
    for (std::size_t i = 0; i + 1 < N && text[i]; ++i) out[i] = text[i];
    return out;
}

} // namespace docket::drivers
