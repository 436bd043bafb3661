#pragma once
// Block scrambling with the owner password: every 64-byte block is scrambled on its way to the disk
// and unscrambled on its way back, with a 64-byte key block derived from the password.
#include <array>
#include <cstdint>
#include <string>

namespace docket::drivers::qvn {

using ScrambleKey = std::array<std::uint8_t, 64>;

ScrambleKey deriveScrambleKey(const std::string& password);
void scrambleBlock(const ScrambleKey& key, std::uint8_t* block);
void unscrambleBlock(const ScrambleKey& key, std::uint8_t* block);

} // namespace docket::drivers::qvn
