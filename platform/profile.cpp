#include "platform/profile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/internal/profile_text.h"

namespace docket::platform {
namespace {

// Serialises the read-modify-write of profile files within the process; across processes the
// writers of one folder take an flock on the folder.
std::mutex writeMutex;

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

bool hasDirectory(const std::string& file) {
    return file.find('/') != std::string::npos;
}

bool sameNameIgnoringCase(const char* a, const std::string& b) {
    std::size_t i = 0;
    for (; a[i] != '\0' && i < b.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return a[i] == '\0' && i == b.size();
}

std::string parentOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// mkdir -p.
bool makeDirectories(const std::string& path) {
    if (path.empty()) return false;
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (::mkdir(part.c_str(), 0777) < 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) break;
    }
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The whole file; false when it cannot be read (a missing file reads as empty and true).
bool readWhole(const std::string& path, std::string* text, bool* exists) {
    text->clear();
    *exists = false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT || errno == ENOTDIR;
    *exists = true;
    char buffer[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ::close(fd);
            return n == 0;
        }
        text->append(buffer, static_cast<std::size_t>(n));
    }
}

bool writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Replaces the file's contents through a temporary file in the same folder, so that a reader sees
// the old file or the new one and never a part of either. A symbolic link stays and its target is
// replaced; an existing file keeps its permission bits.
bool replaceFile(const std::string& path, const std::string& text) {
    std::string target = path;
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved) == nullptr) return false;
        target = resolved;
    }
    const bool existed = ::stat(target.c_str(), &info) == 0;
    const std::string folder = parentOf(target);
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = target + "." + std::to_string(::getpid()) + "-" + std::to_string(attempt) + ".tmp";
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;
    bool ok = writeAll(fd, text) && (!existed || ::fchmod(fd, info.st_mode & 07777) == 0) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (!ok || ::rename(temporary.c_str(), target.c_str()) < 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    // The rename itself reaches the disk with the folder.
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

// Holds an exclusive flock on a folder for the lifetime of the object. Best effort: a folder that
// cannot be locked is written without it.
class FolderLock {
public:
    explicit FolderLock(const std::string& folder)
        : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (fd_ >= 0) {
            while (::flock(fd_, LOCK_EX) < 0 && errno == EINTR) {}
        }
    }
    ~FolderLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int fd_;
};

// Reads the file, lets `edit` change the text and writes the result back when it changed.
template <typename Edit> bool editProfile(const std::string& file, Edit edit) {
    if (file.empty()) return false;
    const std::string path = resolveProfilePath(file);
    const std::string folder = parentOf(path);
    std::lock_guard lock(writeMutex);
    // The configuration folder comes into being with its first file, and only then.
    if (struct stat info{}; !hasDirectory(file) && ::stat(folder.c_str(), &info) < 0) {
        if (!edit(std::string())) return true;
        if (!makeDirectories(folder)) return false;
    }
    FolderLock folderLock(folder);
    std::string text;
    bool exists = false;
    if (!readWhole(path, &text, &exists)) return false;
    const std::optional<std::string> changed = edit(text);
    if (!changed) return true;
    return replaceFile(path, *changed);
}

} // namespace

std::string configDirectory() {
    if (std::string dir = environment("DOCKET_CONFIG_DIR"); !dir.empty()) return dir;
    // The base-directory rules ignore relative values.
    if (std::string xdg = environment("XDG_CONFIG_HOME"); !xdg.empty() && xdg.front() == '/')
        return xdg + "/docket";
    std::string home = environment("HOME");
    if (home.empty()) {
        passwd entry{};
        passwd* found = nullptr;
        char buffer[4096];
        if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
            found->pw_dir != nullptr)
            home = found->pw_dir;
    }
    // Without any home the current folder is the only place left.
    if (home.empty()) home = ".";
    return home + "/.config/docket";
}

// A bare name that is not there as written takes the spelling of an existing file whose name
// differs only in case, since profile names are not case-sensitive ("win.ini" is "WIN.INI").
std::string resolveProfilePath(const std::string& file) {
    if (hasDirectory(file)) return file;
    const std::string folder = configDirectory();
    std::string path = folder + "/" + file;
    struct stat info {};
    if (file.empty() || ::stat(path.c_str(), &info) == 0) return path;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* item = ::readdir(dir)) {
            if (sameNameIgnoringCase(item->d_name, file)) {
                path = folder + "/" + item->d_name;
                break;
            }
        }
        ::closedir(dir);
    }
    return path;
}

std::string readProfileString(const std::string& section, const std::string& entry,
                              const std::string& defaultValue, const std::string& file) {
    if (file.empty()) return defaultValue;
    std::string text;
    bool exists = false;
    if (!readWhole(resolveProfilePath(file), &text, &exists)) return defaultValue;
    return profile_text::findValue(text, section, entry).value_or(defaultValue);
}

long readProfileInt(const std::string& section, const std::string& entry, long defaultValue,
                    const std::string& file) {
    const std::string value = readProfileString(section, entry, std::string(), file);
    char* end = nullptr;
    const long number = std::strtol(value.c_str(), &end, 10);
    return end == value.c_str() ? defaultValue : number;
}

bool writeProfileString(const std::string& section, const std::string& entry,
                        const std::optional<std::string>& value, const std::string& file) {
    if (!profile_text::writable(section, entry, value)) return false;
    return editProfile(
        file, [&](const std::string& text) { return profile_text::setValue(text, section, entry, value); });
}

bool removeProfileSection(const std::string& section, const std::string& file) {
    if (!profile_text::writableSection(section)) return false;
    return editProfile(file,
                       [&](const std::string& text) { return profile_text::removeSection(text, section); });
}

} // namespace docket::platform
