#include "drivers/ascii/ascii_driver.h"

#include <cstring>
#include <ctime>
#include <tuple>

#include "drivers/ascii/internal/ascii_file.h"
#include "drivers/platform_result.h"
#include "platform/charset.h"
#include "platform/clock.h"
#include "runtime/core/error_codes.h"

namespace docket::drivers::ascii {
namespace {

using enum OperationCode;

// Base of the byte-range lock that LOCK takes on a text file, clear of any data.
constexpr std::uint64_t kFileLockOffset = 0x80000000u;

constexpr std::uint8_t kSupported[] = {
    37,
    static_cast<std::uint8_t>(ADD), static_cast<std::uint8_t>(ADDfilelen), static_cast<std::uint8_t>(APPEND),
    static_cast<std::uint8_t>(APPENDlen), static_cast<std::uint8_t>(BYTES), static_cast<std::uint8_t>(EOF_),
    static_cast<std::uint8_t>(CLOSE), static_cast<std::uint8_t>(COPY), static_cast<std::uint8_t>(CREATE),
    static_cast<std::uint8_t>(EMPTY), static_cast<std::uint8_t>(FLUSH), static_cast<std::uint8_t>(GETfileptrlen),
    static_cast<std::uint8_t>(GETfileptr), static_cast<std::uint8_t>(GET_PROPERTY),
    static_cast<std::uint8_t>(LOCKfile), static_cast<std::uint8_t>(LOCKfilesec), static_cast<std::uint8_t>(NAME),
    static_cast<std::uint8_t>(NEXT), static_cast<std::uint8_t>(OPEN), static_cast<std::uint8_t>(POINTERfile),
    static_cast<std::uint8_t>(POSITIONfile), static_cast<std::uint8_t>(PUT), static_cast<std::uint8_t>(PUTfileptr),
    static_cast<std::uint8_t>(PUTfileptrlen), static_cast<std::uint8_t>(REGETfile), static_cast<std::uint8_t>(REMOVE),
    static_cast<std::uint8_t>(RENAME), static_cast<std::uint8_t>(RESETfile), static_cast<std::uint8_t>(SEND),
    static_cast<std::uint8_t>(SETfile), static_cast<std::uint8_t>(SETfileptr),
    static_cast<std::uint8_t>(SET_PROPERTY), static_cast<std::uint8_t>(SHARE), static_cast<std::uint8_t>(UNLOCK),
    static_cast<std::uint8_t>(GETSTATE), static_cast<std::uint8_t>(RESTORESTATE),
    static_cast<std::uint8_t>(FREESTATE),
    2,
    static_cast<std::uint8_t>(TypeCode::String), static_cast<std::uint8_t>(TypeCode::Group),
};

std::string pathOf(const FileDeclaration& declaration) {
    return declaration.name && !declaration.name->empty() ? *declaration.name : declaration.label;
}

AsciiFile* stateOf(DriverFile& file) { return static_cast<AsciiFile*>(file.state.get()); }

// Copies a line into the record buffer: cut when longer, padded with spaces when shorter.
void toRecord(const AsciiFile& state, const FileDeclaration& declaration, const std::string& line) {
    std::uint32_t length = declaration.recordLength;
    std::size_t copied = std::min<std::size_t>(line.size(), length);
    std::memcpy(declaration.record, line.data(), copied);
    std::memset(declaration.record + copied, ' ', length - copied);
    if (state.oem) platform::oemToAnsi(reinterpret_cast<char*>(declaration.record), length);
}

// The line for the record buffer's first `length` bytes (the whole record when 0).
std::string fromRecord(const AsciiFile& state, const FileDeclaration& declaration, std::uint32_t length) {
    if (length == 0 || length > declaration.recordLength) length = declaration.recordLength;
    std::string line(reinterpret_cast<const char*>(declaration.record), length);
    if (state.oem) platform::ansiToOem(line.data(), line.size());
    if (state.options.clip) {
        std::size_t end = line.find_last_not_of(' ');
        line.resize(end == std::string::npos ? 0 : end + 1);
    }
    return line;
}

int openFile(DriverFile& file, unsigned accessWord) {
    if (file.state) return runtime::error::kFileAlreadyOpen;
    const FileDeclaration& declaration = *file.declaration;
    auto state = std::make_unique<AsciiFile>();
    state->path = pathOf(declaration);
    state->oem = declaration.has(file_flag::kOem);
    if (declaration.driverOptions && !state->options.apply(*declaration.driverOptions)) return runtime::error::kInvalidIndexString;
    OpenMode mode = decodeOpenMode(accessWord);
    int rc = state->file.open(state->path, mode.write ? platform::Access::ReadWrite : platform::Access::ReadOnly,
                              static_cast<platform::Share>(mode.share), platform::Disposition::OpenExisting);
    if (rc) return fileErrorFromPlatform(rc);
    file.state = std::move(state);
    return 0;
}

int createFile(DriverFile& file) {
    if (file.state) return runtime::error::kFileAlreadyOpen;
    platform::File created;
    int rc = created.open(pathOf(*file.declaration), platform::Access::ReadWrite, platform::Share::Exclusive,
                          platform::Disposition::CreateAlways);
    return fileErrorFromPlatform(rc);
}

int readAt(AsciiFile& state, const FileDeclaration& declaration, std::uint64_t offset) {
    std::string line;
    std::uint64_t following = 0;
    int rc = state.readLine(offset, line, following);
    if (rc == runtime::error::kRecordNotAvailable) state.atEnd = true;
    if (rc) return rc;
    toRecord(state, declaration, line);
    state.current = offset + 1;
    state.currentLength = static_cast<std::uint32_t>(line.size());
    state.next = following;
    return 0;
}

int append(AsciiFile& state, const FileDeclaration& declaration, std::uint32_t length) {
    if (!state.file.writable()) return runtime::error::kAccessDenied;
    std::uint64_t size = 0;
    if (int rc = state.file.size(&size)) return ioErrorFromPlatform(rc);
    const char* lineEnd = state.options.crlf ? "\r\n" : "\n";
    std::string record = fromRecord(state, declaration, length);
    // A last line without its line end gets one first, so the new record starts a line of its own.
    std::string prefix;
    if (size > 0) {
        char last = 0;
        std::size_t got = 0;
        if (int rc = state.file.readAt(size - 1, &last, 1, &got)) return ioErrorFromPlatform(rc);
        if (last != '\n') prefix = lineEnd;
    }
    std::string out = prefix + record + lineEnd;
    if (int rc = state.file.writeAt(size, out.data(), out.size())) return ioErrorFromPlatform(rc);
    state.current = size + prefix.size() + 1;
    state.currentLength = static_cast<std::uint32_t>(record.size());
    return 0;
}

// Rewrites the line at `pointer` in place: the new text is padded with spaces or cut to the old
// line's length, so no other line moves.
int rewrite(AsciiFile& state, const FileDeclaration& declaration, std::uint64_t pointer, std::uint32_t length) {
    if (!state.file.writable()) return runtime::error::kAccessDenied;
    if (pointer == 0) return runtime::error::kRecordNotAvailable;
    std::string old;
    std::uint64_t following = 0;
    if (int rc = state.readLine(pointer - 1, old, following)) return rc;
    std::string line = fromRecord(state, declaration, length);
    line.resize(old.size(), ' ');
    if (int rc = state.file.writeAt(pointer - 1, line.data(), line.size())) return ioErrorFromPlatform(rc);
    state.current = pointer;
    state.currentLength = static_cast<std::uint32_t>(line.size());
    return 0;
}

int lockFile(AsciiFile& state, std::int32_t seconds) {
    std::int64_t started = platform::monotonicHundredths();
    for (;;) {
        int rc = state.file.tryLock(kFileLockOffset, 1);
        if (rc == 0) return 0;
        if (seconds <= 0 || platform::monotonicHundredths() - started > std::int64_t{seconds} * 100) return runtime::error::kFileAlreadyLocked;
        struct timespec pause{0, 10'000'000};
        nanosleep(&pause, nullptr);
    }
}

int copyFile(const std::string& from, const std::string& to) {
    platform::File source, target;
    if (int rc = source.open(from, platform::Access::ReadOnly, platform::Share::DenyWrite,
                             platform::Disposition::OpenExisting))
        return fileErrorFromPlatform(rc);
    if (int rc = target.open(to, platform::Access::ReadWrite, platform::Share::Exclusive,
                             platform::Disposition::CreateAlways))
        return fileErrorFromPlatform(rc);
    char buffer[65536];
    for (std::uint64_t at = 0;;) {
        std::size_t got = 0;
        if (int rc = source.readAt(at, buffer, sizeof buffer, &got)) return ioErrorFromPlatform(rc);
        if (got == 0) return 0;
        if (int rc = target.writeAt(at, buffer, got)) return ioErrorFromPlatform(rc);
        at += got;
    }
}

int operate(OperationCode code, DriverFile& file, DriverArguments& args) {
    const FileDeclaration& declaration = *file.declaration;
    switch (code) {
    case OPEN: return openFile(file, args.openMode);
    case SHARE: return openFile(file, args.openMode ? args.openMode : 0x42);
    case CREATE: return createFile(file);
    case REMOVE: return file.state ? runtime::error::kExclusiveAccessRequired : fileErrorFromPlatform(platform::File::remove(pathOf(declaration)));
    case RENAME:
        return file.state ? runtime::error::kExclusiveAccessRequired : fileErrorFromPlatform(platform::File::rename(pathOf(declaration), args.text));
    case COPY: return file.state ? runtime::error::kExclusiveAccessRequired : copyFile(pathOf(declaration), args.text);
    case NAME: args.result = file.state ? stateOf(file)->path : pathOf(declaration); return 0;
    default: break;
    }
    AsciiFile* state = stateOf(file);
    if (!state) return runtime::error::kFileNotOpen;
    switch (code) {
    case CLOSE: file.state.reset(); return 0;
    case SETfile: state->next = 0; state->atEnd = false; return 0;
    case SETfileptr: state->next = args.pointer ? args.pointer - 1 : 0; state->atEnd = false; return 0;
    case NEXT: return readAt(*state, declaration, state->next);
    case GETfileptr:
    case GETfileptrlen:
        if (args.pointer == 0) return runtime::error::kRecordNotFound;
        if (int rc = readAt(*state, declaration, args.pointer - 1)) return rc == runtime::error::kRecordNotAvailable ? runtime::error::kRecordNotFound : rc;
        return 0;
    case REGETfile:
    case RESETfile: {
        std::uint64_t pointer = std::strtoull(args.text.c_str(), nullptr, 10);
        if (code == RESETfile) {
            state->next = pointer ? pointer - 1 : 0;
            state->atEnd = false;
            return 0;
        }
        if (pointer == 0) return runtime::error::kRecordNotFound;
        int rc = readAt(*state, declaration, pointer - 1);
        return rc == runtime::error::kRecordNotAvailable ? runtime::error::kRecordNotFound : rc;
    }
    case POSITIONfile: args.result = std::to_string(state->current); return 0;
    case POINTERfile: args.number = state->current; return 0;
    case BYTES: args.number = state->current ? state->currentLength : declaration.recordLength; return 0;
    case EOF_: {
        std::string line;
        std::uint64_t following = 0;
        int rc = state->readLine(state->next, line, following);
        args.flag = rc == runtime::error::kRecordNotAvailable;
        return rc == runtime::error::kRecordNotAvailable ? 0 : rc;
    }
    case ADD:
    case APPEND: return append(*state, declaration, 0);
    case ADDfilelen:
    case APPENDlen: return append(*state, declaration, args.length);
    case PUT: return rewrite(*state, declaration, state->current, 0);
    case PUTfileptr: return rewrite(*state, declaration, args.pointer, 0);
    case PUTfileptrlen: return rewrite(*state, declaration, args.pointer, args.length);
    case EMPTY:
        if (!state->file.writable()) return runtime::error::kAccessDenied;
        state->next = state->current = 0;
        return ioErrorFromPlatform(state->file.resize(0));
    case FLUSH: return ioErrorFromPlatform(state->file.flush());
    case LOCKfile: return lockFile(*state, 0);
    case LOCKfilesec: return lockFile(*state, args.seconds);
    case UNLOCK: state->file.unlock(kFileLockOffset, 1); return 0;
    case SEND: {
        std::size_t equals = args.text.find('=');
        if (equals != std::string::npos && !state->options.apply(args.text)) return runtime::error::kInvalidIndexString;
        args.result = state->options.value(args.text.substr(0, equals));
        return 0;
    }
    case GET_PROPERTY: args.result = state->options.value(args.text); return 0;
    case SET_PROPERTY: return 0;
    case GETSTATE:
        args.number = state->nextState;
        state->states[state->nextState++] = {state->next, state->current};
        return 0;
    case RESTORESTATE: {
        auto it = state->states.find(args.number);
        if (it == state->states.end()) return runtime::error::kRecordNotFound;
        std::tie(state->next, state->current) = it->second;
        state->atEnd = false;
        return 0;
    }
    case FREESTATE: state->states.erase(args.number); return 0;
    default: return runtime::error::kUnsupportedDriverFunction;
    }
}

int entry(OperationCode code, DriverFile& file, DriverArguments& args) {
    return trace().run(code, file, args, operate);
}

} // namespace

DriverTrace& trace() {
    static DriverTrace instance("KWASCII", "ASCII.LOG", "ASCII");
    return instance;
}

const DriverRegistration& registration() {
    static const DriverRegistration record{
        fixedText<21>("ASCII"),
        fixedText<13>("K55ASCX.DLL"),
        fixedText<41>("docket runtime"),
        fixedText<31>("ASCII (Text)"),
        entry,
        0, // no capabilities beyond the listed operations
        {},
        50,
        33,
        24,
        213,
        {},
        kSupported,
        fixedText<13>("K55ASCSX.DLL"),
    };
    return record;
}

} // namespace docket::drivers::ascii
