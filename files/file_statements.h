#pragma once
// The runtime's file statements. Each looks up the driver named in the file's declaration, calls it
// with the operation code of its argument form, keeps the result as the thread's last error and
// returns it (0 for success). Results other than the error code (a count, a pointer, a position)
// come back through an out-parameter.
//
// A key-form statement names the key it works through with KeyRef; record pointers are wrapped in
// RecordPointer so that every argument form of the language is its own overload.
#include <cstdint>
#include <span>
#include <string>

#include "drivers/driver.h"

namespace docket::runtime {

using drivers::DriverFile;
using drivers::KeyDeclaration;

struct RecordPointer {
    std::uint32_t value;
};

struct KeyRef {
    DriverFile& file;
    const KeyDeclaration& key;
};

// Registers the drivers built into the program; every statement does it on first use.
void registerBuiltInDrivers();

// Access words: read-only 0x00, read and write 0x02; sharing 0x10 exclusive, 0x20 deny write,
// 0x30 deny read, 0x40 deny none. OPEN's default is read/write, deny write; SHARE's is deny none.
inline constexpr unsigned kOpenDefault = 0x22;
inline constexpr unsigned kShareDefault = 0x42;

int open(DriverFile& file, unsigned accessWord = kOpenDefault);
int share(DriverFile& file, unsigned accessWord = kShareDefault);
int create(DriverFile& file);
int close(DriverFile& file);
int remove(DriverFile& file);
int rename(DriverFile& file, const std::string& newName);
int copy(DriverFile& file, const std::string& target);
int empty(DriverFile& file);
int flush(DriverFile& file);
int pack(DriverFile& file);
int name(DriverFile& file, std::string& result);
int send(DriverFile& file, const std::string& command, std::string& result);

int add(DriverFile& file);
int add(DriverFile& file, std::uint32_t length);
int append(DriverFile& file);
int append(DriverFile& file, std::uint32_t length);
int put(DriverFile& file);
int put(DriverFile& file, RecordPointer pointer);
int put(DriverFile& file, RecordPointer pointer, std::uint32_t length);
int deleteRecord(DriverFile& file);

int get(DriverFile& file, const KeyDeclaration& key);
int get(DriverFile& file, RecordPointer pointer);
int get(DriverFile& file, RecordPointer pointer, std::uint32_t length);
int get(KeyRef key, RecordPointer pointer);
int reget(DriverFile& file, const std::string& position);
int reget(KeyRef key, const std::string& position);

int set(DriverFile& file);
int set(DriverFile& file, const KeyDeclaration& key);
int set(DriverFile& file, RecordPointer pointer);
int set(KeyRef key);
int set(KeyRef key, const KeyDeclaration& values);
int set(KeyRef key, RecordPointer pointer);
int set(KeyRef key, const KeyDeclaration& values, RecordPointer pointer);
int reset(DriverFile& file, const std::string& position);
int reset(KeyRef key, const std::string& position);
int position(DriverFile& file, std::string& result);
int position(KeyRef key, std::string& result);

int next(DriverFile& file);
int previous(DriverFile& file);
int skip(DriverFile& file, std::int32_t count);
int bof(DriverFile& file, bool& result);
int eof(DriverFile& file, bool& result);
int pointer(DriverFile& file, std::uint32_t& result);
int pointer(KeyRef key, std::uint32_t& result);
int records(DriverFile& file, std::uint64_t& result);
int records(KeyRef key, std::uint64_t& result);
int bytes(DriverFile& file, std::uint64_t& result);
int duplicate(DriverFile& file, bool& result);
int duplicate(KeyRef key, bool& result);

int hold(DriverFile& file);
int hold(DriverFile& file, std::int32_t seconds);
int release(DriverFile& file);
int watch(DriverFile& file);
int lock(DriverFile& file);
int lock(DriverFile& file, std::int32_t seconds);
int unlock(DriverFile& file);
int stream(DriverFile& file);
int noMemo(DriverFile& file);

int build(DriverFile& file);
int build(KeyRef key);
int build(KeyRef index, const std::string& components);
int build(KeyRef index, const std::string& components, const std::string& filter);

// LOGOUT starts a transaction over the given files; COMMIT and ROLLBACK end the thread's
// transaction on each of them.
int logout(std::int32_t seconds, std::span<DriverFile* const> files);
int commit();
int rollback();

int getProperty(DriverFile& file, const std::string& property, std::string& result);
int setProperty(DriverFile& file, const std::string& property, const std::string& value);

int getState(DriverFile& file, std::uint64_t& state);
int restoreState(DriverFile& file, std::uint64_t state);
int freeState(DriverFile& file, std::uint64_t state);

} // namespace docket::runtime
