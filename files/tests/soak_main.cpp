// qvn_soak FOLDER SECONDS SEED: four processes share two native files for SECONDS, each running a
// random mix of ADD, PUT, DELETE, reads and transactions over both files, and logging every change
// it committed. Afterwards the pages and tables of both files must check clean and their contents
// must be exactly what the logs account for. Exits 0 when all holds, 1 with the problems otherwise.
//
// Every record carries its creator and the creator's number for it (the unique key), and the stamp
// of the change that wrote it last (the changing process and its own change sequence). A PUT is
// done after WATCH and logs the stamp it replaced, so the committed changes of one record must form
// a single chain from its ADD to the stamp found in the file; a fork in the chain is a lost update.
// A DELETE logs no predecessor (it does not watch) and must leave the record absent.
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "drivers/qvn/file_check.h"
#include "drivers/qvn/table_check.h"
#include "runtime/core/type_code.h"
#include "files/file_statements.h"

namespace {

namespace rt = docket::runtime;
using docket::drivers::DriverFile;
using docket::drivers::FieldDeclaration;
using docket::drivers::FileDeclaration;
using docket::drivers::KeyDeclaration;
using docket::drivers::MemoDeclaration;
using docket::runtime::TypeCode;

constexpr int kWriters = 4;
constexpr int kFiles = 2;
constexpr std::uint32_t kNoteSize = 200;

// Field numbers of the record: WRITER LONG, ID LONG, CW LONG, CS LONG, TEXT CSTRING(24); memo NOTE.
enum Field { kWriter = 1, kId, kChangeWriter, kChangeSeq, kText };

// One open table of the soak's shape over one file.
struct Table {
    explicit Table(const std::string& path) {
        declaration.label = "SOAK";
        declaration.driver = "QUORVANE";
        declaration.name = path;
        addField("WRITER", TypeCode::Long, 4);
        addField("ID", TypeCode::Long, 4);
        addField("CW", TypeCode::Long, 4);
        addField("CS", TypeCode::Long, 4);
        addField("TEXT", TypeCode::CString, 24);
        record.assign(declaration.recordLength, 0);
        declaration.record = record.data();
        note.assign(kNoteSize, ' ');
        MemoDeclaration m;
        m.label = "NOTE";
        m.size = kNoteSize;
        m.buffer = note.data();
        declaration.memos.push_back(m);
        KeyDeclaration id;
        id.label = "ID_KEY";
        id.components = {kWriter, kId};
        declaration.keys.push_back(id);
        KeyDeclaration text;
        text.label = "TEXT_KEY";
        text.flags = docket::drivers::key_flag::kDup;
        text.components = {kText};
        declaration.keys.push_back(text);
        file.declaration = &declaration;
    }
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    void addField(const std::string& label, TypeCode type, std::uint32_t size) {
        declaration.appendField(label, type, size);
    }
    std::uint8_t* at(int field) { return record.data() + declaration.fields[field - 1].offset; }
    void setLong(int field, std::int32_t v) { std::memcpy(at(field), &v, 4); }
    std::int32_t getLong(int field) {
        std::int32_t v;
        std::memcpy(&v, at(field), 4);
        return v;
    }
    void setText(const std::string& text) { rt::writeText(TypeCode::CString, at(kText), 24, text); }
    std::string getText() { return rt::readText(TypeCode::CString, at(kText), 24); }
    void setNote(const std::string& text) {
        std::memset(note.data(), ' ', note.size());
        std::memcpy(note.data(), text.data(), std::min<std::size_t>(text.size(), note.size()));
    }
    std::string getNote() {
        std::string s(reinterpret_cast<const char*>(note.data()), note.size());
        s.erase(s.find_last_not_of(' ') + 1);
        return s;
    }
    // The memo a record with this stamp and text must carry: a torn or mixed record shows here.
    static std::string noteFor(std::int32_t cw, std::int32_t cs, const std::string& text) {
        return "note of " + std::to_string(cw) + "/" + std::to_string(cs) + " " + text;
    }
    bool consistent() { return getNote() == noteFor(getLong(kChangeWriter), getLong(kChangeSeq), getText()); }

    FileDeclaration declaration;
    DriverFile file;
    std::vector<std::uint8_t> record;
    std::vector<std::uint8_t> note;
};

std::string filePath(const std::string& folder, int f) {
    return folder + "/soak" + std::to_string(f) + ".qvn";
}
std::string logPath(const std::string& folder, int w) {
    return folder + "/writer" + std::to_string(w) + ".log";
}

// 5 and 43 mean another station has the file or the record for the moment.
bool busy(int rc) {
    return rc == 5 || rc == 43;
}

// One writing process. Log lines (committed changes only, plus the stamps of rolled-back ones):
//   A file id cw cs text          ADD by this writer of its record id
//   P file writer id cw cs pw ps text   PUT replacing stamp pw/ps
//   D file writer id cw cs        DELETE
//   R cw cs                       a change rolled back
class Writer {
public:
    Writer(const std::string& folder, int number, unsigned seed)
        : me(number), random(seed * 7919u + static_cast<unsigned>(number)), log(logPath(folder, number)) {
        for (int f = 0; f < kFiles; ++f) tables[f] = std::make_unique<Table>(filePath(folder, f));
    }

    int run(double seconds) {
        // Opening reads the header under a reader slot, so it answers 5 while another station
        // flushes: a station retries, as it does for every other busy answer.
        for (auto& t : tables) {
            int rc = rt::share(t->file, 0x42);
            for (int attempt = 0; rc == 5 && attempt < 200; ++attempt) {
                ::usleep(2000);
                rc = rt::share(t->file, 0x42);
            }
            if (rc) return fail("SHARE failed with " + std::to_string(rc));
        }
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < end) {
            const int pick = roll(100);
            int rc = 0;
            if (pick < 15)
                rc = transaction();
            else
                rc = step(pick < 40 ? 0 : pick < 60 ? 1 : pick < 70 ? 2 : 3, false);
            if (rc) return rc;
        }
        for (auto& t : tables) rt::close(t->file);
        std::printf("writer %d: %ld retries on a busy file or record, %ld transactions abandoned as busy\n",
                    me, retries, abandoned);
        std::fflush(stdout);
        log.flush();
        return log ? 0 : fail("cannot write the log");
    }

private:
    int roll(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); }
    int fail(const std::string& why) {
        std::fprintf(stderr, "writer %d: %s\n", me, why.c_str());
        return 1;
    }
    std::string randomText() {
        static constexpr std::array<const char*, 6> words{"alpha", "bravo", "delta", "echo", "kilo", "oscar"};
        return std::string(words[static_cast<std::size_t>(roll(6))]) + " " + std::to_string(roll(1000));
    }

    // Positions at a random record of the file (by the unique key from a random creator and number)
    // and reads it with WATCH set; false when the file offers none there.
    bool readRandom(Table& t, int& rc) {
        t.setLong(kWriter, 1 + roll(kWriters));
        t.setLong(kId, 1 + roll(nextId + 20));
        rc = rt::set(rt::KeyRef{t.file, t.declaration.keys[0]}, t.declaration.keys[0]);
        if (rc) return false;
        rt::watch(t.file);
        rc = rt::next(t.file);
        if (rc == 33) { // past the last record of the key: nothing to read here
            rc = 0;
            return false;
        }
        return rc == 0 && lastReadOk(t);
    }
    bool lastReadOk(Table& t) {
        if (!t.consistent()) {
            inconsistent = true;
            return false;
        }
        return true;
    }

    // One operation: 0 ADD, 1 PUT, 2 DELETE, 3 a read. Outside a transaction a busy file is retried;
    // inside one the caller rolls back. Returns non-zero only for a failure of the soak itself.
    int step(int kind, bool inTransaction) {
        const int f = roll(kFiles);
        Table& t = *tables[f];
        for (int attempt = 0; attempt < 200; ++attempt) {
            int rc = 0;
            std::string line;
            if (kind == 0) {
                const std::int32_t id = ++nextId, cs = ++seq;
                const std::string text = randomText();
                t.setLong(kWriter, me);
                t.setLong(kId, id);
                t.setLong(kChangeWriter, me);
                t.setLong(kChangeSeq, cs);
                t.setText(text);
                t.setNote(Table::noteFor(me, cs, text));
                rc = rt::add(t.file);
                line = "A " + std::to_string(f) + " " + std::to_string(id) + " " + std::to_string(me) + " " +
                       std::to_string(cs) + " " + text;
                if (rc == 0) {
                    changed(line, std::to_string(me) + " " + std::to_string(cs), inTransaction);
                    return 0;
                }
                if (!busy(rc)) return fail("ADD failed with " + std::to_string(rc));
            } else {
                if (!readRandom(t, rc)) {
                    if (inconsistent) return fail("read a record whose memo does not match its fields");
                    if (busy(rc)) goto retry;
                    if (rc && rc != 35) return fail("reading failed with " + std::to_string(rc));
                    return 0;
                }
                if (kind == 3) {
                    // A held read of the same record by its pointer, given up at once.
                    std::uint32_t p = 0;
                    rt::pointer(t.file, p);
                    rt::hold(t.file, 1);
                    rc = rt::get(t.file, rt::RecordPointer{p});
                    rt::release(t.file);
                    if (rc == 0 && !lastReadOk(t)) return fail("held read found a mixed record");
                    if (rc && !busy(rc) && rc != 35)
                        return fail("held GET failed with " + std::to_string(rc));
                    if (inTransaction && busy(rc)) return -1;
                    return 0;
                }
                const std::int32_t writer = t.getLong(kWriter), id = t.getLong(kId);
                const std::int32_t pw = t.getLong(kChangeWriter), ps = t.getLong(kChangeSeq);
                const std::int32_t cs = ++seq;
                const std::string head = std::to_string(f) + " " + std::to_string(writer) + " " +
                                         std::to_string(id) + " " + std::to_string(me) + " " +
                                         std::to_string(cs);
                if (kind == 1) {
                    const std::string text = randomText();
                    t.setLong(kChangeWriter, me);
                    t.setLong(kChangeSeq, cs);
                    t.setText(text);
                    t.setNote(Table::noteFor(me, cs, text));
                    rc = rt::put(t.file);
                    line = "P " + head + " " + std::to_string(pw) + " " + std::to_string(ps) + " " + text;
                } else {
                    rc = rt::deleteRecord(t.file);
                    line = "D " + head;
                }
                if (rc == 0) {
                    changed(line, std::to_string(me) + " " + std::to_string(cs), inTransaction);
                    return 0;
                }
                // 89: changed by another station since the read; 33: deleted meanwhile.
                if (rc == 89 || rc == 33) return 0;
                if (!busy(rc)) return fail(line.substr(0, 1) + " failed with " + std::to_string(rc));
            }
        retry:
            if (inTransaction) return -1;
            ++retries;
            std::this_thread::sleep_for(std::chrono::milliseconds(1 + roll(5)));
        }
        return fail("a file stayed busy through 200 tries");
    }

    void changed(const std::string& line, const std::string& stamp, bool inTransaction) {
        if (inTransaction) {
            pending.push_back(line);
            pendingStamps.push_back(stamp);
        } else {
            log << line << '\n';
        }
    }

    // LOGOUT over both files, a few changes, then COMMIT or (one time in four) ROLLBACK. A busy file
    // during the transaction rolls it back.
    int transaction() {
        std::array<DriverFile*, kFiles> files{&tables[0]->file, &tables[1]->file};
        int rc = rt::logout(1, files);
        if (busy(rc)) return 0;
        if (rc) return fail("LOGOUT failed with " + std::to_string(rc));
        pending.clear();
        pendingStamps.clear();
        bool abandon = false;
        const int n = 2 + roll(4);
        for (int i = 0; i < n && !abandon; ++i) {
            const int r = step(roll(3), true);
            if (r > 0) return r;
            abandon = r < 0;
        }
        if (abandon) ++abandoned;
        if (abandon || roll(4) == 0) {
            if ((rc = rt::rollback())) return fail("ROLLBACK failed with " + std::to_string(rc));
            for (const auto& s : pendingStamps) log << "R " << s << '\n';
            return 0;
        }
        if ((rc = rt::commit())) return fail("COMMIT failed with " + std::to_string(rc));
        for (const auto& l : pending) log << l << '\n';
        return 0;
    }

    int me;
    std::mt19937 random;
    std::ofstream log;
    std::array<std::unique_ptr<Table>, kFiles> tables;
    std::int32_t nextId = 0, seq = 0;
    long retries = 0, abandoned = 0;
    bool inconsistent = false;
    std::vector<std::string> pending, pendingStamps;
};

struct Stamp {
    std::int32_t writer = 0, seq = 0;
    auto operator<=>(const Stamp&) const = default;
};

struct Change {
    char kind = 0;
    Stamp stamp, previous;
    std::string text;
};

struct RecordState {
    Stamp stamp;
    std::string text;
};

using RecordId = std::tuple<int, std::int32_t, std::int32_t>; // file, creator, id

std::string describe(const RecordId& r) {
    return "file " + std::to_string(std::get<0>(r)) + " record " + std::to_string(std::get<1>(r)) + "/" +
           std::to_string(std::get<2>(r));
}

// Checks both files and their contents against the logs; returns the problems found and the
// number of committed changes through `committed`.
std::vector<std::string> verify(const std::string& folder, long& committed) {
    std::vector<std::string> problems;
    for (int f = 0; f < kFiles; ++f) {
        const std::string path = filePath(folder, f);
        const auto report = docket::drivers::qvn::examineFile(path, "");
        for (const auto& p : report.problems) problems.push_back(path + ": " + p);
        if (report.problems.empty()) {
            std::vector<std::string> tableProblems;
            docket::drivers::qvn::checkTables(path, "", &tableProblems);
            for (const auto& p : tableProblems) problems.push_back(path + ": " + p);
        }
    }

    std::map<RecordId, std::vector<Change>> changes;
    std::set<Stamp> rolledBack;
    committed = 0;
    for (int w = 1; w <= kWriters; ++w) {
        std::ifstream in(logPath(folder, w));
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream s(line);
            char kind = 0;
            s >> kind;
            Change c;
            c.kind = kind;
            int f = 0;
            std::int32_t creator = w, id = 0;
            if (kind == 'R') {
                s >> c.stamp.writer >> c.stamp.seq;
                rolledBack.insert(c.stamp);
                continue;
            }
            s >> f;
            if (kind != 'A') s >> creator;
            s >> id >> c.stamp.writer >> c.stamp.seq;
            if (kind == 'P') s >> c.previous.writer >> c.previous.seq;
            std::getline(s >> std::ws, c.text);
            if (!s && kind != 'D') {
                problems.push_back("unreadable log line of writer " + std::to_string(w) + ": " + line);
                continue;
            }
            changes[{f, creator, id}].push_back(c);
            ++committed;
        }
    }

    std::map<RecordId, RecordState> found;
    for (int f = 0; f < kFiles; ++f) {
        Table t(filePath(folder, f));
        if (int rc = rt::open(t.file, 0x40)) {
            problems.push_back("cannot open " + filePath(folder, f) + ": " + std::to_string(rc));
            continue;
        }
        rt::set(t.file);
        int rc;
        while ((rc = rt::next(t.file)) == 0) {
            const RecordId id{f, t.getLong(kWriter), t.getLong(kId)};
            if (!t.consistent()) problems.push_back(describe(id) + ": memo does not match the fields");
            found[id] = {{t.getLong(kChangeWriter), t.getLong(kChangeSeq)}, t.getText()};
        }
        if (rc != 33)
            problems.push_back("reading " + filePath(folder, f) + " ended with " + std::to_string(rc));
        rt::close(t.file);
    }

    for (const auto& [id, state] : found) {
        if (rolledBack.count(state.stamp))
            problems.push_back(describe(id) + " carries rolled-back change " +
                               std::to_string(state.stamp.writer) + "/" + std::to_string(state.stamp.seq));
        if (!changes.count(id)) problems.push_back(describe(id) + " is in the file but no log added it");
    }
    for (const auto& [id, list] : changes) {
        const auto it = found.find(id);
        bool deleted = false, added = false;
        std::map<Stamp, const Change*> byStamp;
        std::map<Stamp, int> successors;
        for (const Change& c : list) {
            deleted |= c.kind == 'D';
            added |= c.kind == 'A';
            byStamp[c.stamp] = &c;
            if (c.kind == 'P') successors[c.previous]++;
        }
        if (!added) problems.push_back(describe(id) + " was changed but no log added it");
        for (const auto& [stamp, n] : successors)
            if (n > 1 || !byStamp.count(stamp))
                problems.push_back(describe(id) + ": change " + std::to_string(stamp.writer) + "/" +
                                   std::to_string(stamp.seq) + " has " + std::to_string(n) +
                                   " committed successors or was never committed (a lost update)");
        if (deleted) {
            if (it != found.end()) problems.push_back(describe(id) + " was deleted but is still in the file");
            continue;
        }
        if (it == found.end()) {
            problems.push_back(describe(id) + " is missing from the file");
            continue;
        }
        // The chain's end is the one change no other replaced; the file must hold exactly it.
        const auto last = byStamp.find(it->second.stamp);
        if (last == byStamp.end()) {
            problems.push_back(describe(id) + " holds a change no log committed");
        } else {
            if (successors.count(it->second.stamp))
                problems.push_back(describe(id) + " holds a change that a committed PUT replaced");
            if (last->second->text != it->second.text)
                problems.push_back(describe(id) + " holds text \"" + it->second.text + "\", the log says \"" +
                                   last->second->text + "\"");
        }
    }
    return problems;
}

int createFiles(const std::string& folder) {
    for (int f = 0; f < kFiles; ++f) {
        Table t(filePath(folder, f));
        if (int rc = rt::create(t.file)) {
            std::fprintf(stderr, "cannot create %s: %d\n", filePath(folder, f).c_str(), rc);
            return 1;
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // "--verify FOLDER" checks the files and logs a failed run left behind, once more.
    const bool verifyOnly = argc == 3 && std::strcmp(argv[1], "--verify") == 0;
    if (argc != 4 && !verifyOnly) {
        std::fprintf(stderr, "usage: qvn_soak FOLDER SECONDS SEED | qvn_soak --verify FOLDER\n");
        return 1;
    }
    const std::string folder = argv[verifyOnly ? 2 : 1];
    const double seconds = verifyOnly ? 0 : std::atof(argv[2]);
    const unsigned seed = verifyOnly ? 0 : static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10));
    rt::registerBuiltInDrivers();
    if (!verifyOnly && createFiles(folder)) return 1;

    std::vector<pid_t> children;
    for (int w = 1; w <= kWriters && !verifyOnly; ++w) {
        const pid_t pid = ::fork();
        if (pid < 0) {
            std::perror("fork");
            return 1;
        }
        if (pid == 0) {
            int rc;
            {
                Writer writer(folder, w, seed);
                rc = writer.run(seconds);
            }
            ::_exit(rc);
        }
        children.push_back(pid);
    }
    bool childrenOk = true;
    for (std::size_t i = 0; i < children.size(); ++i) {
        int status = 0;
        ::waitpid(children[i], &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "writer %zu ended with status %d\n", i + 1, status);
            childrenOk = false;
        }
    }

    long committed = 0;
    const auto problems = verify(folder, committed);
    for (const auto& p : problems) std::fprintf(stderr, "%s\n", p.c_str());
    if (!childrenOk || !problems.empty()) {
        std::fprintf(stderr, "qvn_soak: FAILED (%zu problems)\n", problems.size());
        return 1;
    }
    std::printf("qvn_soak: %ld committed changes over %d files by %d writers, all accounted for\n", committed,
                kFiles, kWriters);
    return 0;
}
