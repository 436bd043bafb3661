#pragma once
// Helpers of the table access and relations tests: native tables with record buffers in a scratch
// folder, a message hook that records every message and answers as scripted, a fatal hook that
// records the halt and returns, and other stations as forked processes stepped through pipes.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <deque>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "classes/data/error_reporter.h"
#include "classes/data/message_hook.h"
#include "drivers/declaration.h"
#include "drivers/driver.h"
#include "runtime/core/fatal.h"
#include "runtime/core/type_code.h"
#include "files/file_statements.h"
#include "platform/tests/child_process.h"

namespace docket::classes::testing {

using drivers::KeyDeclaration;
using runtime::TypeCode;

inline ::testing::AssertionResult Contains(const std::string& text, const std::string& part) {
    if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "\"" << text << "\" lacks \"" << part << "\"";
}

class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tables-test-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~ScratchDir() { std::filesystem::remove_all(path_); }
    std::string file(const std::string& name) const { return (std::filesystem::path(path_) / name).string(); }

private:
    std::string path_;
};

// A native table's declaration with its record buffer and memo buffers. Declare every field, memo
// and key before handing the table to a TableAccess (keys are referred to by address).
struct Table {
    Table(const std::string& label, const std::string& path) {
        declaration.label = label;
        declaration.driver = "QUORVANE";
        declaration.name = path;
        declaration.keys.reserve(8);
        file.declaration = &declaration;
    }
    int field(const std::string& label, TypeCode type, std::uint32_t size) {
        const int number = declaration.appendField(label, type, size);
        record.resize(declaration.recordLength);
        declaration.record = record.data();
        return number;
    }
    void memo(const std::string& label, std::uint32_t size) {
        drivers::MemoDeclaration m;
        m.label = label;
        m.size = size;
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

    std::uint8_t* at(int field) { return record.data() + declaration.fields[field - 1u].offset; }
    void setLong(int field, std::int32_t v) { std::memcpy(at(field), &v, 4); }
    std::int32_t getLong(int field) {
        std::int32_t v;
        std::memcpy(&v, at(field), 4);
        return v;
    }
    void setText(int field, const std::string& text) {
        const auto& f = declaration.fields[field - 1u];
        runtime::writeText(f.type, at(field), f.size, text);
    }
    std::string getText(int field) {
        const auto& f = declaration.fields[field - 1u];
        std::string s = runtime::readText(f.type, at(field), f.size);
        while (!s.empty() && s.back() == ' ') s.pop_back();
        return s;
    }
    void setMemo(std::size_t m, const std::string& text) {
        auto& d = declaration.memos[m];
        std::memset(d.buffer, ' ', d.size);
        std::memcpy(d.buffer, text.data(), std::min<std::size_t>(text.size(), d.size));
    }
    std::string getMemo(std::size_t m) {
        const auto& d = declaration.memos[m];
        std::string s(reinterpret_cast<const char*>(d.buffer), d.size);
        while (!s.empty() && s.back() == ' ') s.pop_back();
        return s;
    }

    // Every record in the order of `key` (record order without one), read through the runtime
    // into the buffer: `row` renders each.
    template <typename Row> std::vector<std::string> dump(const KeyDeclaration* key, Row row) {
        std::vector<std::string> rows;
        if (key)
            runtime::set(runtime::KeyRef{file, *key});
        else
            runtime::set(file);
        while (runtime::next(file) == 0) rows.push_back(row());
        return rows;
    }

    drivers::FileDeclaration declaration;
    drivers::DriverFile file;
    std::vector<std::uint8_t> record;
    std::deque<std::vector<std::uint8_t>> memos;
};

// Records every message the reporter shows; answers questions as scripted by title, else with
// the message's default button.
class Messages {
public:
    struct Shown {
        std::string title;
        std::string text;
    };
    Messages() {
        previous_ = setMessageHook([this](const MessageRequest& r) {
            shown.push_back({r.title, r.text});
            auto it = answers.find(r.title);
            if (it == answers.end() || it->second.empty()) return r.defaultButton;
            const ButtonSet answer = it->second.front();
            if (it->second.size() > 1) it->second.pop_front(); // the last answer repeats
            return answer;
        });
    }
    ~Messages() { setMessageHook(std::move(previous_)); }
    void answer(const std::string& title, std::deque<ButtonSet> buttons) {
        answers[title] = std::move(buttons);
    }
    std::vector<std::string> titles() const {
        std::vector<std::string> t;
        for (const auto& s : shown) t.push_back(s.title);
        return t;
    }
    int count(const std::string& title) const {
        int n = 0;
        for (const auto& s : shown) n += s.title == title;
        return n;
    }

    std::vector<Shown> shown;
    std::map<std::string, std::deque<ButtonSet>> answers;

private:
    MessageHook previous_;
};

// Records halts instead of ending the test program.
class Halts {
public:
    Halts() {
        previous_ = runtime::setFatalHook([this](const std::string& m) { messages.push_back(m); });
    }
    ~Halts() { runtime::setFatalHook(std::move(previous_)); }
    std::vector<std::string> messages;

private:
    runtime::FatalHook previous_;
};

// Another station: a forked process running `body`, which steps with the parent through two
// pipes and exits with its result. Fork stations before this process opens the files they use:
// a forked child would otherwise share the parent's open files and their locks.
class Station {
public:
    template <typename Body> explicit Station(Body body) {
        EXPECT_EQ(::pipe(toChild_), 0);
        EXPECT_EQ(::pipe(toParent_), 0);
        pid_ = ::fork();
        if (pid_ == 0) {
            const int rc = body(*this);
            ::_exit(rc);
        }
    }
    ~Station() {
        if (pid_ > 0) finish();
    }
    // Child side.
    void tellParent() { signal(toParent_[1]); }
    bool awaitParent() { return wait(toChild_[0]); }
    // Parent side.
    void tellChild() { signal(toChild_[1]); }
    bool awaitChild() { return wait(toParent_[0]); }
    int finish() {
        if (pid_ <= 0) return exit_;
        const int status = platform::testing::waitForChild(pid_);
        pid_ = 0;
        exit_ = status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return exit_;
    }

private:
    static void signal(int fd) {
        char c = 1;
        if (::write(fd, &c, 1) != 1) ::_exit(90);
    }
    static bool wait(int fd) {
        char c = 0;
        return ::read(fd, &c, 1) == 1;
    }
    int toChild_[2]{}, toParent_[2]{};
    pid_t pid_ = 0;
    int exit_ = -1;
};

} // namespace docket::classes::testing
