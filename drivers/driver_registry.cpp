#include "drivers/driver_registry.h"
#include "runtime/core/char_tables.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "runtime/core/error_state.h"
#include "runtime/core/error_codes.h"

namespace docket::drivers {
namespace {

std::mutex registryMutex;
std::vector<const DriverRegistration*>& registry() {
    static std::vector<const DriverRegistration*> drivers;
    return drivers;
}

thread_local int lastPlatformError = 0;

std::string nameOf(const DriverRegistration& registration) {
    return std::string(registration.name.data(), strnlen(registration.name.data(), registration.name.size()));
}

int checkRecordTypes(const DriverRegistration& driver, const FileDeclaration& declaration) {
    for (const auto& field : declaration.fields)
        if (!driver.accepts(field.type)) return runtime::error::kUnsupportedDataType;
    for (const auto& memo : declaration.memos)
        if (!driver.accepts(memo.isBlob() ? TypeCode::Blob : TypeCode::Memo)) return runtime::error::kUnsupportedDataType;
    return 0;
}

} // namespace

bool DriverRegistration::supports(OperationCode operation) const {
    // Asked on every call of a driver: one memchr over the list.
    auto list = operations();
    return !list.empty() && std::memchr(list.data(), static_cast<int>(operation), list.size()) != nullptr;
}

bool DriverRegistration::accepts(TypeCode type) const {
    auto list = types();
    return std::find(list.begin(), list.end(), static_cast<std::uint8_t>(type)) != list.end();
}

void registerDriver(const DriverRegistration& registration) {
    std::lock_guard lock(registryMutex);
    auto& drivers = registry();
    std::string name = nameOf(registration);
    std::erase_if(drivers, [&](const DriverRegistration* d) { return nameOf(*d) == name; });
    drivers.push_back(&registration);
}

namespace {
std::mutex releasesMutex;
std::vector<void (*)()>& releases() {
    static std::vector<void (*)()> list;
    return list;
}
} // namespace

void addReleaseBeforeUserWait(void (*release)()) {
    std::lock_guard lock(releasesMutex);
    auto& list = releases();
    if (std::find(list.begin(), list.end(), release) == list.end()) list.push_back(release);
}

void releaseBeforeUserWait() {
    std::vector<void (*)()> list;
    {
        std::lock_guard lock(releasesMutex);
        list = releases();
    }
    for (auto release : list) release();
}

const DriverRegistration* findDriver(const std::string& name) {
    std::lock_guard lock(registryMutex);
    std::string wanted = runtime::upperText(name);
    for (const DriverRegistration* driver : registry())
        if (nameOf(*driver) == wanted) return driver;
    return nullptr;
}

void setPlatformError(int platformCode) {
    lastPlatformError = platformCode;
}
int pendingPlatformError() {
    return lastPlatformError;
}

namespace {

// An open file keeps the driver it was opened with; a closed one asks the registry by name.
const DriverRegistration* driverOf(DriverFile& file) {
    if (file.state && file.driver) return file.driver;
    file.driver = file.declaration ? findDriver(file.declaration->driver) : nullptr;
    return file.driver;
}

} // namespace

int callDriver(OperationCode operation, DriverFile& file, DriverArguments& args) {
    int result = 0;
    const DriverRegistration* driver = driverOf(file);
    if (!driver) {
        result = runtime::error::kInvalidFilename;
    } else if (!driver->supports(operation)) {
        result = runtime::error::kUnsupportedDriverFunction;
    } else if ((operation == OperationCode::OPEN || operation == OperationCode::CREATE) &&
               (result = checkRecordTypes(*driver, *file.declaration)) != 0) {
        // refused before the driver sees the declaration
    } else {
        result = driver->entry(operation, file, args);
    }
    if (result == runtime::kFileSystemError)
        runtime::setFileError(lastPlatformError);
    else
        runtime::setError(result);
    return result;
}

} // namespace docket::drivers
