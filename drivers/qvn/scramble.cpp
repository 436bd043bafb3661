#include "drivers/qvn/internal/scramble.h"

#include "drivers/qvn/internal/format.h"

namespace docket::drivers::qvn {

namespace {

void loadWords(const std::uint8_t* bytes, std::uint32_t* words) {
    for (int i = 0; i < 16; ++i) words[i] = get32(bytes + 4 * i);
}
void storeWords(const std::uint32_t* words, std::uint8_t* bytes) {
    for (int i = 0; i < 16; ++i) put32(bytes + 4 * i, words[i]);
}

} // namespace

void scrambleBlock(const ScrambleKey& key, std::uint8_t* block) {
    std::uint32_t k[16], b[16];
    loadWords(key.data(), k);
    loadWords(block, b);
    for (int i = 0; i < 16; ++i) {
        const std::uint32_t v = k[i];
        const std::uint32_t j = v % 16;
        const std::uint32_t a = b[i], c = b[j];
        b[j] = v + ((v & c) | (a & ~v));
        b[i] = v + ((v & a) | (c & ~v));
    }
    storeWords(b, block);
}

void unscrambleBlock(const ScrambleKey& key, std::uint8_t* block) {
    std::uint32_t k[16], b[16];
    loadWords(key.data(), k);
    loadWords(block, b);
    for (int i = 15; i >= 0; --i) {
        const std::uint32_t v = k[i];
        const std::uint32_t j = v % 16;
        const std::uint32_t x = b[i], y = b[j];
        b[i] = (v & (x - v)) | ((y - v) & ~v);
        b[j] = (v & (y - v)) | ((x - v) & ~v);
    }
    storeWords(b, block);
}

ScrambleKey deriveScrambleKey(const std::string& password) {
    // The walk covers the password and its terminating zero, starting at the second position.
    const std::size_t cycle = password.size() + 1;
    ScrambleKey key{};
    std::size_t pos = 0;
    for (int i = 0; i < 64; ++i) {
        pos = (pos + 1) % cycle;
        const std::uint8_t current = pos < password.size() ? static_cast<std::uint8_t>(password[pos]) : 0;
        key[(17 * i) % 64] = static_cast<std::uint8_t>(current + i);
    }
    // "With itself": each of the two passes uses as its key the block as it stood before that
    // pass, so the words read as key are not changed under the pass.
    ScrambleKey self = key;
    scrambleBlock(self, key.data());
    self = key;
    scrambleBlock(self, key.data());
    return key;
}

} // namespace docket::drivers::qvn
