#pragma once
// Realistic demo memos, generated from a seed so that the same seed gives the same memos: memo
// numbers like "017/DIR/2024", subjects from a word list, rich-text bodies of 300 to 3000 bytes,
// dates over the last years, and ten memo types.
#include <cstdint>
#include <random>
#include <span>
#include <string>

namespace docket::qvn_tool {

struct GeneratedMemo {
    std::string number;  // at most 30 characters
    std::int32_t date;   // day number
    std::string subject; // at most 80 characters
    std::string body;    // RTF, 300 to 3000 bytes
    int type;            // index into memoTypeNames()
};

// The ten memo type names.
std::span<const char* const> memoTypeNames();

class MemoGenerator {
public:
    explicit MemoGenerator(std::uint32_t seed) : random_(seed) {}
    GeneratedMemo next();
    // An RTF document of about `bytes` bytes (never more than `bytes`, at least a valid document).
    std::string rtfBody(std::size_t bytes);

private:
    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
    std::string sentence(int words);

    std::mt19937 random_;
    int sequence_ = 0;
};

} // namespace docket::qvn_tool
