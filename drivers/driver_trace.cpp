#include "drivers/driver_trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "drivers/driver_registry.h"
#include "platform/clock.h"
#include "platform/file.h"
#include "platform/profile.h"
#include "runtime/core/dates.h"
#include "runtime/core/error_state.h"
#include "runtime/core/thread_hook.h"

namespace docket::drivers {
namespace {

constexpr std::size_t kMaxTraceFileName = 260;

std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* pattern, ...) {
    char buffer[512];
    va_list args;
    va_start(args, pattern);
    int length = std::vsnprintf(buffer, sizeof buffer, pattern, args);
    va_end(args);
    if (length < 0) return {};
    if (static_cast<std::size_t>(length) < sizeof buffer) return std::string(buffer, length);
    std::string big(static_cast<std::size_t>(length) + 1, '\0');
    va_start(args, pattern);
    std::vsnprintf(big.data(), big.size(), pattern, args);
    va_end(args);
    big.resize(length);
    return big;
}

std::string keyComponents(const FileDeclaration& file, const KeyDeclaration& key) {
    std::string text;
    for (std::size_t i = 0; i < key.components.size(); ++i) {
        std::int32_t component = key.components[i];
        std::size_t field = static_cast<std::size_t>(component < 0 ? -component : component);
        const char* label = field >= 1 && field <= file.fields.size() ? file.fields[field - 1].label.c_str() : "?";
        if (i) text += ",";
        text += format("%c%s", component < 0 ? '-' : '+', label);
    }
    return text;
}

bool appendToFile(const std::string& path, const std::string& text) {
    platform::File out;
    if (out.open(path, platform::Access::ReadWrite, platform::Share::All, platform::Disposition::OpenAlways))
        return false;
    return out.seek(0, platform::Whence::End) == 0 && out.write(text.data(), text.size()) == 0;
}

} // namespace

namespace trace_format {

std::string operationColumn(OperationCode code, const FileDeclaration& file, const KeyDeclaration* key,
                            int thread, int keyNumber) {
    std::string head = operationName(code) + "(" + file.label;
    if (key) {
        const int own = file.keyNumber(key);
        head += "," + key->label + "[" + std::to_string(own ? own : keyNumber) + "]";
    }
    head += " " + std::to_string(thread) + ") ";
    return format("%-18s", head.c_str());
}

std::string errorColumn(int result, int platformCode) {
    if (result == 0) return {};
    if (result == runtime::kFileSystemError)
        return format("File Error: %s ", runtime::fileErrorTextFor(platformCode).c_str());
    return format("Error: %s ", runtime::errorTextFor(result).c_str());
}

std::string timeColumn(std::int64_t hundredths) {
    if (hundredths < 0) hundredths = 0;
    return format("Time Taken: %ld.%02ld secs\r\n", static_cast<long>(hundredths / 100),
                  static_cast<long>(hundredths % 100));
}

std::string fieldValue(const FieldDeclaration& field, const std::uint8_t* p) {
    using runtime::TypeCode;
    std::uint32_t size = field.elementSize();
    switch (field.type) {
    case TypeCode::Byte: return format("%02XH", p[0]);
    case TypeCode::Short: return format("%d", static_cast<std::int16_t>(runtime::readU16(p)));
    case TypeCode::UShort: return format("%u", runtime::readU16(p));
    case TypeCode::Long: return format("%ld", static_cast<long>(static_cast<std::int32_t>(runtime::readU32(p))));
    case TypeCode::ULong: return format("%lu", static_cast<unsigned long>(runtime::readU32(p)));
    case TypeCode::SReal: {
        float value;
        std::memcpy(&value, p, sizeof value);
        return format("%f", static_cast<double>(value));
    }
    case TypeCode::Real: {
        double value;
        std::memcpy(&value, p, sizeof value);
        return format("%f", value);
    }
    case TypeCode::String:
    case TypeCode::CString:
    case TypeCode::PString: return "'" + runtime::readText(field.type, p, size) + "'";
    case TypeCode::Date: {
        static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        long number = static_cast<std::int32_t>(runtime::readU32(p));
        if (!runtime::isValidDate(number)) return format("Invalid date (%ld)", number);
        runtime::CivilDate date = runtime::civilDate(number);
        return format("%02d %s %d (%ld)", date.day, months[date.month - 1], date.year, number);
    }
    case TypeCode::Time: {
        long number = static_cast<std::int32_t>(runtime::readU32(p));
        if (!runtime::isValidTime(number)) return format("Invalid time (%ld)", number);
        runtime::ClockTime time = runtime::clockTime(number);
        return format("%02d:%02d:%02d.%02d (%ld)", time.hour, time.minute, time.second, time.hundredths, number);
    }
    case TypeCode::Decimal:
    case TypeCode::PDecimal: return runtime::decimalText(p, size, field.places);
    case TypeCode::Group: return {};
    default: return "\r\n" + hexDump(p, size);
    }
}

std::string fieldLines(const FileDeclaration& file, const std::vector<std::int32_t>* onlyComponents) {
    std::string text;
    auto writeField = [&](const FieldDeclaration& field) {
        text += format("  %-18s: ", field.label.c_str());
        if (file.record && field.type != runtime::TypeCode::Group &&
            field.offset + field.size <= file.recordLength) {
            std::uint32_t elements = field.elements ? field.elements : 1;
            for (std::uint32_t i = 0; i < elements; ++i) {
                if (i) text += ", ";
                text += fieldValue(field, file.record + field.offset + i * field.elementSize());
            }
        }
        text += "\r\n";
    };
    if (onlyComponents) {
        for (std::int32_t component : *onlyComponents) {
            std::size_t index = static_cast<std::size_t>(component < 0 ? -component : component);
            if (index >= 1 && index <= file.fields.size()) writeField(file.fields[index - 1]);
        }
    } else {
        for (const auto& field : file.fields) writeField(field);
    }
    return text;
}

std::string memoLines(const FileDeclaration& file) {
    std::string text;
    for (const auto& memo : file.memos) {
        const std::uint8_t* data = memo.isBlob() ? (memo.blob ? memo.blob->data() : nullptr) : memo.buffer;
        std::size_t size = memo.isBlob() ? (memo.blob ? memo.blob->size() : 0) : memo.size;
        // A memo buffer is mostly unused space: only its bytes up to the last one in use are shown.
        while (size > 0 && (data[size - 1] == 0 || data[size - 1] == ' ')) --size;
        text += format("  %-18s: \r\n", memo.label.c_str());
        if (data) text += hexDump(data, size);
    }
    return text;
}

std::string hexDump(const std::uint8_t* data, std::size_t size) {
    std::string text;
    for (std::size_t line = 0; line < size; line += 16) {
        std::size_t count = std::min<std::size_t>(16, size - line);
        for (std::size_t i = 0; i < 16; ++i) text += i < count ? format("%02X ", data[line + i]) : "   ";
        text += " | ";
        // Control characters would break the log's lines, so they show as '.'.
        for (std::size_t i = 0; i < count; ++i) text += data[line + i] < 0x20 ? '.' : static_cast<char>(data[line + i]);
        text += "\r\n";
    }
    return text;
}

} // namespace trace_format

DriverTrace::DriverTrace(const char* section, const char* defaultTraceFile, const char* driverName)
    : section_(section), defaultTraceFile_(defaultTraceFile), driverName_(driverName) {}

void DriverTrace::reset() {
    std::lock_guard lock(mutex_);
    switchesRead_ = false;
    declared_.clear();
}

void DriverTrace::readSwitches() {
    switchesRead_ = true;
    on_ = platform::readProfileInt(section_, "Profile", 0, "WIN.INI") != 0;
    if (!on_) return;
    traceFile_ = platform::readProfileString(section_, "TraceFile", defaultTraceFile_, "WIN.INI");
    if (traceFile_.size() > kMaxTraceFileName) traceFile_.resize(kMaxTraceFileName);
    if (traceFile_.empty()) traceFile_ = defaultTraceFile_;
    details_ = platform::readProfileInt(section_, "Details", 0, "WIN.INI") != 0;
}

std::string DriverTrace::declarationText(const FileDeclaration& file) const {
    std::string text = format("%-18s", file.label.c_str());
    if (file.driverOptions)
        text += format("FILE,DRIVER('%s','%s')", driverName_, file.driverOptions->c_str());
    else
        text += format("FILE,DRIVER('%s')", driverName_);
    if (file.owner) text += ",OWNER(******)";
    if (file.name) text += format(",NAME('%s')", file.name->c_str());
    if (file.has(file_flag::kCreate)) text += ",CREATE";
    if (file.has(file_flag::kEncrypt)) text += ",ENCRYPT";
    if (file.has(file_flag::kReclaim)) text += ",RECLAIM";
    if (file.has(file_flag::kThread)) text += ",THREAD";
    text += "\r\n";
    for (const auto& key : file.keys) {
        text += format("%-20s%s(", key.label.c_str(), key.isIndex() ? "INDEX" : "KEY");
        text += keyComponents(file, key) + ")";
        if (key.flags & key_flag::kDup) text += ",DUP";
        if (key.flags & key_flag::kOpt) text += ",OPT";
        if (key.flags & key_flag::kNoCase) text += ",NOCASE";
        if (key.flags & key_flag::kPrimary) text += ",PRIMARY";
        if (key.name) text += ",NAME('" + *key.name + "')";
        text += "\r\n";
    }
    for (const auto& memo : file.memos) {
        text += format("%-20s", memo.label.c_str());
        text += memo.isBlob() ? std::string("BLOB") : format("MEMO(%u)", memo.size);
        if (memo.name) text += ",NAME('" + *memo.name + "')";
        if (memo.isBinary()) text += ",BINARY";
        text += "\r\n";
    }
    text += format("%-20sRECORD\r\n", "");
    for (const auto& field : file.fields) {
        text += format("%-20s%s", field.label.c_str(), runtime::typeName(field.type));
        if (field.type == runtime::TypeCode::Decimal || field.type == runtime::TypeCode::PDecimal)
            text += format("(%u,%u)", field.digits, field.places);
        if (field.type == runtime::TypeCode::String || field.type == runtime::TypeCode::CString ||
            field.type == runtime::TypeCode::PString)
            text += format("(%u)", field.elementLength);
        if (!field.picture.empty()) text += format("(@%s)", field.picture.c_str());
        if (!field.dimensions.empty()) {
            text += ", DIM(";
            for (std::size_t i = 0; i < field.dimensions.size(); ++i)
                text += (i ? "," : "") + std::to_string(field.dimensions[i]);
            text += ")";
        }
        if (field.over) text += format(", OVER(%s)", field.over->c_str());
        if (field.name) text += format(",NAME('%s')", field.name->c_str());
        text += "\r\n";
    }
    text += format("%-20sEND\r\n", "");
    text += format("%-18sEND\r\n\r\n", "");
    return text;
}

int DriverTrace::run(OperationCode code, DriverFile& file, DriverArguments& args, DriverEntry operation) {
    {
        std::lock_guard lock(mutex_);
        if (!switchesRead_) readSwitches();
        if (!on_) return operation(code, file, args);
    }
    std::int64_t started = platform::monotonicHundredths();
    int result = operation(code, file, args);
    std::int64_t elapsed = platform::monotonicHundredths() - started;

    const FileDeclaration& declaration = *file.declaration;
    bool details = details_;
    if (declaration.has(file_flag::kEncrypt) &&
        (!declaration.driverOptions || declaration.driverOptions->find("ALLOWDETAILS") == std::string::npos))
        details = false;

    std::string text;
    std::lock_guard lock(mutex_);
    if (details && declared_.insert(traceFile_ + "\n" + declaration.label).second)
        text += declarationText(declaration);
    text += trace_format::operationColumn(code, declaration, args.key, runtime::currentThreadNumber(),
                                          args.keyNumber);
    text += trace_format::errorColumn(result, pendingPlatformError());
    text += trace_format::timeColumn(elapsed);
    if (details && writesRecordDetails(code)) {
        text += trace_format::fieldLines(declaration, nullptr);
        text += trace_format::memoLines(declaration);
    } else if (details && (code == OperationCode::SETkeykey || code == OperationCode::SETkeykeyptr)) {
        const KeyDeclaration* key = args.secondKey ? args.secondKey : args.key;
        if (key) text += trace_format::fieldLines(declaration, &key->components);
    }
    appendToFile(traceFile_, text);
    return result;
}

} // namespace docket::drivers
