#include "tools/qvn/memo_generator.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "runtime/core/dates.h"

namespace docket::qvn_tool {

namespace {

constexpr std::array<const char*, 10> kTypes = {
    "Memo Internal", "Nota Dinas", "Surat Edaran", "Undangan",      "Pengumuman",
    "Surat Tugas",   "Laporan",    "Permohonan",   "Pemberitahuan", "Surat Keputusan",
};

constexpr std::array<const char*, 8> kUnits = {"DIR", "KEU", "SDM", "UMM", "HKM", "TIK", "PRC", "AUD"};

constexpr std::array<const char*, 48> kWords = {
    "rapat",      "koordinasi",  "anggaran",   "triwulan",     "laporan",  "kegiatan",   "pengadaan",
    "barang",     "jasa",        "kantor",     "pegawai",      "cuti",     "tahunan",    "jadwal",
    "pelatihan",  "evaluasi",    "kinerja",    "unit",         "kerja",    "penyusunan", "rencana",
    "strategis",  "perjalanan",  "dinas",      "pemeliharaan", "gedung",   "sistem",     "informasi",
    "keuangan",   "audit",       "internal",   "tindak",       "lanjut",   "hasil",      "pemeriksaan",
    "penerimaan", "karyawan",    "baru",       "kebijakan",    "keamanan", "data",       "arsip",
    "dokumen",    "persetujuan", "pembayaran", "vendor",       "kontrak",  "revisi",
};

} // namespace

std::span<const char* const> memoTypeNames() {
    return kTypes;
}

std::string MemoGenerator::sentence(int words) {
    std::string s;
    for (int i = 0; i < words; ++i) {
        if (i) s += ' ';
        s += kWords[static_cast<std::size_t>(below(static_cast<int>(kWords.size())))];
    }
    if (!s.empty()) s[0] = static_cast<char>(s[0] - 'a' + 'A');
    return s;
}

std::string MemoGenerator::rtfBody(std::size_t bytes) {
    static const std::string head = "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss Arial;}"
                                    "{\\f1\\froman Times New Roman;}}\\viewkind4\\uc1\\pard\\f0\\fs20 ";
    std::string body = head;
    const std::size_t room = bytes > head.size() + 1 ? bytes - 1 : head.size();
    for (int paragraph = 0; body.size() < room; ++paragraph) {
        std::string p;
        if (paragraph == 0) p = "\\b " + sentence(3 + below(4)) + "\\b0\\par ";
        for (int n = 1 + below(4); n > 0; --n) {
            std::string s = sentence(6 + below(12)) + ". ";
            if (below(5) == 0) s = "\\i " + s + "\\i0 ";
            p += s;
        }
        p += "\\par ";
        if (body.size() + p.size() > room) {
            // The last paragraph is cut at a word so that no control word is split.
            std::size_t cut = room - body.size();
            while (cut > 0 && p[cut - 1] != ' ') --cut;
            p = p.substr(0, cut);
            if (const std::size_t slash = p.find_last_of('\\');
                slash != std::string::npos && p.find(' ', slash) == std::string::npos)
                p.resize(slash);
            body += p;
            break;
        }
        body += p;
    }
    body += '}';
    return body;
}

GeneratedMemo MemoGenerator::next() {
    GeneratedMemo memo;
    // A date within the last eight years, never after today.
    memo.date = std::min(runtime::dayNumber(2019 + below(8), 1 + below(12), 1 + below(28)), runtime::today());
    const int year = runtime::civilDate(memo.date).year;
    sequence_ = sequence_ % 999 + 1;
    char number[32];
    std::snprintf(number, sizeof number, "%03d/%s/%d", sequence_,
                  kUnits[static_cast<std::size_t>(below(static_cast<int>(kUnits.size())))], year);
    memo.number = number;
    memo.subject = sentence(3 + below(6));
    if (memo.subject.size() > 80) memo.subject.resize(80);
    memo.body = rtfBody(300 + static_cast<std::size_t>(below(2701)));
    memo.type = below(static_cast<int>(kTypes.size()));
    return memo;
}

} // namespace docket::qvn_tool
