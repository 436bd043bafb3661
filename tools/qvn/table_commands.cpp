// qvn tables FILE: the tables of a native file with their record counts and keys.
#include <cstdio>
#include <cstring>
#include <string>

#include "drivers/qvn/physical_name.h"
#include "drivers/qvn/qvn_table.h"

namespace docket::qvn_tool {

int runTables(int argc, char** argv) {
    std::string path, password;
    bool bad = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--password") == 0 && i + 1 < argc)
            password = argv[++i];
        else if (path.empty() && argv[i][0] != '-')
            path = argv[i];
        else
            bad = true;
    }
    if (bad || path.empty()) {
        std::fprintf(stderr, "usage: qvn tables FILE [--password P]\n");
        return 2;
    }
    using namespace drivers::qvn;
    const std::string physical = splitPhysicalName(path).path;
    std::shared_ptr<QvnFile> file;
    if (int rc = QvnFile::open(physical, 0x40, password, &file)) {
        std::fprintf(stderr, "qvn tables: %s: error %d\n", physical.c_str(), rc);
        return 1;
    }
    std::vector<TableInfo> tables;
    if (int rc = listTables(*file, &tables)) {
        std::fprintf(stderr, "qvn tables: %s: error %d\n", physical.c_str(), rc);
        return 1;
    }
    int status = 0;
    for (const TableInfo& info : tables) {
        drivers::FileDeclaration bare;
        bare.label = info.name;
        std::unique_ptr<QvnTable> table;
        if (int rc = QvnTable::open(file, info.name, &bare, &table)) {
            std::printf("%s (number %u): cannot be opened, error %d\n", info.name.c_str(), info.number, rc);
            status = 1;
            continue;
        }
        std::uint64_t count = 0;
        table->records(-1, &count);
        std::printf("%s (number %u): %llu records\n", info.name.c_str(), info.number,
                    static_cast<unsigned long long>(count));
        const auto& d = table->declaration();
        for (std::size_t k = 0; k < d.keys.size(); ++k) {
            const auto& key = d.keys[k];
            std::uint64_t entries = 0;
            table->records(static_cast<int>(k), &entries);
            std::string components;
            for (std::int32_t c : key.components) {
                if (!components.empty()) components += ",";
                const std::size_t field = static_cast<std::size_t>(c < 0 ? -c : c) - 1;
                components += (c < 0 ? "-" : "+") + d.fields[field].label;
            }
            std::printf("  %s %s(%s)%s%s%s%s: %llu entries\n", key.label.c_str(),
                        key.isIndex() ? "INDEX" : "KEY", components.c_str(),
                        key.flags & drivers::key_flag::kDup ? ",DUP" : "",
                        key.flags & drivers::key_flag::kOpt ? ",OPT" : "",
                        key.flags & drivers::key_flag::kNoCase ? ",NOCASE" : "",
                        key.flags & drivers::key_flag::kPrimary ? ",PRIMARY" : "",
                        static_cast<unsigned long long>(entries));
        }
    }
    return status;
}

} // namespace docket::qvn_tool
