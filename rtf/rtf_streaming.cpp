// kwRTF's document streaming: to and from a record field, and to and from RTF and text files, with
// the prompt that offers to save unsaved changes.
//
// Every transfer goes through a scratch buffer: a load parses the whole input into a new document
// and the editor takes it only when that worked; a save to a field builds the whole RTF first and
// copies it only when it fits. File names are runtime text (Windows-1252) and become UTF-8 at the
// system calls.
#include "platform/charset.h"
#include "platform/error.h"
#include "rtf/rtf_editor.h"
#include "ui/dialogs.h"
#include "ui/modal.h"
#include "ui/window.h"

#include <QApplication>
#include <QCursor>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>

namespace docket::rtf {
namespace {

constexpr int kIconQuestion = 2;
constexpr int kIconExclamation = 3;
// The callback's own value for "the field is too small".
constexpr long kFieldTooSmall = 1;
// Files larger than this are refused (as "not enough memory") rather than read whole.
constexpr std::size_t kLargestFile = 32u << 20;

// The hourglass while a transfer runs, restored on every way out.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

// A descriptor that is always closed.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    // Closes now; the platform code of a failed close (a write that failed late), else 0.
    int close() {
        int fd = fd_;
        fd_ = -1;
        return fd >= 0 && ::close(fd) != 0 ? platform::codeFromErrno(errno) : 0;
    }

private:
    int fd_;
};

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string trimRight(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

// The extension as the editor reads it: the upper-cased four characters from the first "." of
// the file's own name (a "." in a folder name does not count); blank when the name has none.
std::string extensionOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t name = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = path.find('.', name);
    return dot == std::string::npos ? std::string() : upper(path.substr(dot, 4));
}

// The text a field holds: STRING without its trailing blanks, CSTRING up to its terminator,
// PSTRING as its length byte says.
std::string fieldText(const FieldRef& f) {
    if (!f.set()) return {};
    switch (f.type) {
    case runtime::TypeCode::CString:
        return std::string(f.address, strnlen(f.address, f.size));
    case runtime::TypeCode::PString: {
        std::size_t length = std::min<std::size_t>(static_cast<unsigned char>(f.address[0]), f.size - 1);
        return std::string(f.address + 1, length);
    }
    default:
        return trimRight(std::string(f.address, f.size));
    }
}

// Stores `bytes` (which fit) and fills the rest of the field as its type expects.
void storeField(const FieldRef& f, const std::string& bytes) {
    switch (f.type) {
    case runtime::TypeCode::CString:
        std::memset(f.address, 0, f.size);
        std::memcpy(f.address, bytes.data(), bytes.size());
        break;
    case runtime::TypeCode::PString:
        std::memset(f.address, 0, f.size);
        f.address[0] = static_cast<char>(bytes.size());
        std::memcpy(f.address + 1, bytes.data(), bytes.size());
        break;
    default:
        std::memset(f.address, ' ', f.size);
        std::memcpy(f.address, bytes.data(), bytes.size());
        break;
    }
}

// The most bytes of text a field holds: one byte is always left (the terminator of a CSTRING, the
// length of a PSTRING; a STRING keeps the same limit so that every field type behaves alike).
std::size_t fieldCapacity(const FieldRef& f) {
    std::size_t room = f.size > 0 ? f.size - 1 : 0;
    if (f.type == runtime::TypeCode::PString) room = std::min<std::size_t>(room, 255);
    return room;
}

// Reads a whole file; 0 or the platform code of the failure.
int readFile(const std::string& path, std::string& bytes) {
    Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return platform::codeFromErrno(errno);
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) return platform::codeFromErrno(errno);
    if (S_ISDIR(info.st_mode)) return platform::code::kAccessDenied;
    if (static_cast<std::size_t>(info.st_size) > kLargestFile) return platform::code::kNotEnoughMemory;
    bytes.clear();
    char block[4096];
    for (;;) {
        ssize_t got = ::read(fd.get(), block, sizeof block);
        if (got < 0) {
            if (errno == EINTR) continue;
            return platform::codeFromErrno(errno);
        }
        if (got == 0) break;
        bytes.append(block, static_cast<std::size_t>(got));
        if (bytes.size() > kLargestFile) return platform::code::kNotEnoughMemory;
    }
    return fd.close();
}

// Writes a file whole or not at all: into a temporary file beside it, synced, then renamed over
// the old one. A failure on the way leaves the old file as it was and no temporary file behind.
int writeFileAtomically(const std::string& path, const std::string& bytes) {
    std::string temporary = path + ".XXXXXX";
    Descriptor fd(::mkstemp(temporary.data()));
    if (fd.get() < 0) return platform::codeFromErrno(errno);
    auto fail = [&](int code) {
        fd.close();
        ::unlink(temporary.c_str());
        return code;
    };
    // The new file keeps the old one's permissions, or gets the usual ones for a new file.
    struct stat old {};
    mode_t mode = 0;
    if (::stat(path.c_str(), &old) == 0) {
        mode = old.st_mode & 07777;
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(fd.get(), mode);
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t wrote =
            ::write(fd.get(), bytes.data() + done, std::min<std::size_t>(bytes.size() - done, 4096));
        if (wrote < 0) {
            if (errno == EINTR) continue;
            return fail(platform::codeFromErrno(errno));
        }
        done += static_cast<std::size_t>(wrote);
    }
    if (::fsync(fd.get()) != 0) return fail(platform::codeFromErrno(errno));
    if (int code = fd.close(); code != 0) {
        ::unlink(temporary.c_str());
        return code;
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        int code = platform::codeFromErrno(errno);
        ::unlink(temporary.c_str());
        return code;
    }
    return 0;
}

} // namespace

bool kwRTF::LoadFromField(std::size_t size, char* field, runtime::TypeCode type) {
    if (!Ready()) return false;
    if (CheckModified(true) == 2) return false;
    const FieldRef ref{field, size, type};
    const std::string text = fieldText(ref);
    // A field is RTF when it starts with the header in any case; anything else is plain text.
    const bool rtf = text.size() >= 5 && upper(text.substr(0, 5)) == "{\\RTF";
    std::string error;
    bool ok = false;
    {
        WaitCursor wait;
        ok = HRTFWINDOW->streamIn(rtf ? ui::StreamFormat::Rtf : ui::StreamFormat::Text, text, true, error);
    }
    if (!ok) {
        // The document is the one from before: the new one was parsed aside and dropped.
        ReportFailure(platform::code::kInvalidData, error);
        return false;
    }
    SFILENAME.clear();
    RFIELD = ref;
    HRTFWINDOW->emptyUndoBuffer();
    HRTFWINDOW->setModified(false);
    SyncFormatState(); // the format bar shows the loaded text's format
    return true;
}

bool kwRTF::SaveToField(std::size_t size, char* field, runtime::TypeCode type) {
    if (!Ready()) return false;
    const FieldRef ref{field, size, type};
    if (!ref.set()) return false;
    // An emptied document stores an empty body: the old text must not come back.
    if (HRTFWINDOW->textLength() == 0) {
        storeField(ref, {});
        SFILENAME.clear();
        HRTFWINDOW->setModified(false);
        return true;
    }
    std::string scratch, error;
    bool ok = false;
    {
        WaitCursor wait;
        ok = HRTFWINDOW->streamOut(ui::StreamFormat::Rtf, scratch, error);
    }
    if (!ok) {
        ReportFailure(platform::code::kInvalidData, error);
        return false;
    }
    if (scratch.size() > fieldCapacity(ref)) {
        // Too large: nothing of it is stored, the field keeps its old body and the document stays
        // modified, so that the caller does not go on as if it had been saved.
        ui::beep();
        ui::messageBox("The variable is to small to hold the data.", "Stream Error", kIconExclamation);
        ReportFailure(kFieldTooSmall, "The variable is to small to hold the data.");
        return false;
    }
    storeField(ref, scratch);
    SFILENAME.clear();
    HRTFWINDOW->setModified(false);
    return true;
}

bool kwRTF::LoadFromFile(const std::string& name) {
    if (!Ready()) return false;
    if (CheckModified(true) == 2) return false;
    std::string chosen = trimRight(name);
    if (chosen.empty()) {
        if (!ui::fileDialog("", chosen, kFileFilterOpen,
                            ui::file::MustExist | ui::file::PathMustExist | ui::file::KeepDirectory))
            return false;
        if (!Ready()) return false;
    }
    std::string bytes;
    bool ok = false;
    std::string error;
    {
        WaitCursor wait;
        if (int code = readFile(platform::ansiToUtf8(chosen), bytes); code != 0) {
            ReportFailure(code);
            return false;
        }
        SBUFFER = bytes.substr(0, 13);
        // The file test is exact: "{\rtf" as a file must begin; the extension plays no part.
        const bool rtf = bytes.compare(0, 5, "{\\rtf") == 0;
        ok = HRTFWINDOW->streamIn(rtf ? ui::StreamFormat::Rtf : ui::StreamFormat::Text, bytes, false, error);
    }
    if (!ok) {
        ReportFailure(platform::code::kInvalidData, error);
        return false;
    }
    SFILENAME = chosen;
    RFIELD = {};
    HRTFWINDOW->emptyUndoBuffer();
    HRTFWINDOW->setModified(false);
    SyncFormatState();
    return true;
}

bool kwRTF::SaveToFile(const std::string& name) {
    if (!Ready()) return false;
    if (HRTFWINDOW->textLength() == 0) {
        ui::beep();
        return false;
    }
    std::string chosen = trimRight(name);
    std::string extension;
    if (chosen.empty()) {
        if (!ui::fileDialog("", chosen, kFileFilterSave,
                            ui::file::Save | ui::file::AskOverwrite | ui::file::KeepDirectory))
            return false;
        if (!Ready()) return false;
        if (extensionOf(chosen).empty()) chosen += ".RTF";
    }
    extension = extensionOf(chosen);
    if (extension.empty()) {
        extension = ".RTF";
        chosen += ".RTF";
    } else if (extension != ".RTF" && extension != ".TXT") {
        ui::beep();
        ui::messageBox("Unknown file format: \"" + extension + "\"|Extension must be .RTF or .TXT.",
                       "Format Error", kIconExclamation);
        return false;
    }
    std::string bytes, error;
    {
        WaitCursor wait;
        bool ok = HRTFWINDOW->streamOut(extension == ".RTF" ? ui::StreamFormat::Rtf : ui::StreamFormat::Text,
                                        bytes, error);
        // Without RTF the document still goes out, as plain text.
        if (!ok && extension == ".RTF") ok = HRTFWINDOW->streamOut(ui::StreamFormat::Text, bytes, error);
        if (!ok) {
            ReportFailure(platform::code::kInvalidData, error);
            return false;
        }
        if (int code = writeFileAtomically(platform::ansiToUtf8(chosen), bytes); code != 0) {
            ReportFailure(code);
            return false;
        }
    }
    SFILENAME = chosen;
    HRTFWINDOW->setModified(false);
    return true;
}

void kwRTF::NewDocument() {
    if (!Ready()) return;
    if (CheckModified(true) == 2) return;
    HRTFWINDOW->clearDocument();
    HRTFWINDOW->emptyUndoBuffer();
    HRTFWINDOW->setModified(false);
    SFILENAME.clear();
}

std::uint8_t kwRTF::CheckModified(bool ask) {
    if (!Ready()) return 0;
    if (!ask) return HRTFWINDOW->modified() ? 1 : 0;
    for (;;) {
        if (!Ready() || !HRTFWINDOW->modified()) return 0;
        ui::beep();
        const bool field = RFIELD.set();
        const unsigned answer = ui::messageBox(
            field ? "Do you want to save modified data?" : "Do you want to save modified document?",
            field ? "Save Data" : "Save Document", kIconQuestion,
            ui::button::Yes | ui::button::No | ui::button::Cancel, ui::button::Yes);
        if (answer == ui::button::Yes) {
            bool saved = false;
            if (!trimRight(SFILENAME).empty())
                saved = SaveToFile(SFILENAME);
            else if (RFIELD.set())
                saved = SaveToField(RFIELD.size, RFIELD.address, RFIELD.type);
            else
                saved = SaveToFile({});
            // A save that did not happen must not let the caller drop the changes.
            return saved ? 1 : 2;
        }
        if (answer == ui::button::No) return 0;
        if (answer == ui::button::Cancel) return 2;
    }
}

} // namespace docket::rtf
