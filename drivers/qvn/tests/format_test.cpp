// Byte-level tests of the header, the page image and both compressions, against hand-computed
// bytes.
#include <gtest/gtest.h>

#include <random>

#include "drivers/qvn/internal/format.h"
#include "drivers/qvn/internal/scramble.h"

namespace docket::drivers::qvn {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(const std::string& s) {
    return Bytes(s.begin(), s.end());
}
std::string rle(const std::string& in) {
    std::string out;
    rleCompress(reinterpret_cast<const std::uint8_t*>(in.data()), in.size(), &out);
    return out;
}
Entry entry(const std::string& key, const std::string& data = {}) {
    return Entry{key + data, static_cast<std::uint16_t>(key.size())};
}

TEST(QvnHeader, EncodesFieldsAtTheirOffsets) {
    FileHeader h;
    h.logStart = 0x1234;
    h.logEnd = 0x5678;
    h.lastNumber = 0x01020304;
    h.changeCounter = 7;
    h.root = 9;
    h.first[3] = 10;
    h.end[3] = 16;
    h.end[59] = 0xAABBCCDD;
    std::uint8_t b[512];
    encodeHeader(h, b);
    EXPECT_EQ(Bytes(b, b + 24), (Bytes{0, 0, 0,   0,   0x00, 0x02, 0x34, 0x12, 0,    0,    0x78, 0x56,
                                       0, 0, 'q', 'U', 'o',  'R',  0,    0,    0x01, 0x02, 0x03, 0x04}));
    EXPECT_EQ(Bytes(b + 24, b + 32), (Bytes{7, 0, 0, 0, 9, 0, 0, 0}));
    EXPECT_EQ(Bytes(b + 44, b + 48), (Bytes{10, 0, 0, 0}));
    EXPECT_EQ(Bytes(b + 284, b + 288), (Bytes{16, 0, 0, 0}));
    EXPECT_EQ(Bytes(b + 508, b + 512), (Bytes{0xDD, 0xCC, 0xBB, 0xAA}));
    FileHeader back;
    ASSERT_TRUE(decodeHeader(b, &back));
    EXPECT_EQ(back.lastNumber, 0x01020304u);
    EXPECT_EQ(back.end[59], 0xAABBCCDDu);
    b[15] = 'u';
    EXPECT_FALSE(decodeHeader(b, &back));
}

TEST(QvnHeader, PageSpaceAndClasses) {
    FileHeader h;
    EXPECT_EQ(pageSpaceEnd(h), 512u);
    h.first[2] = 0;
    h.end[2] = 4;
    h.first[5] = 6;
    h.end[5] = 16;
    EXPECT_EQ(pageSpaceEnd(h), 16u * 256 + 512);
    EXPECT_EQ(classOfNumber(h, 2), 2);
    EXPECT_EQ(classOfNumber(h, 3), 0); // inside the range but not on a page boundary
    EXPECT_EQ(classOfNumber(h, 11), 5);
    EXPECT_EQ(classOfNumber(h, 16), 0);
    EXPECT_EQ(pageAddress(3), 1280u);
}

TEST(QvnRunLength, RunsOfThreeStayLiteralRunsOfFourRepeat) {
    EXPECT_EQ(bytesOf(rle("xaaay")), (Bytes{5, 'x', 'a', 'a', 'a', 'y'}));
    EXPECT_EQ(bytesOf(rle("aaaa")), (Bytes{1, 'a', 3, 0})); // ends with a run: final group of 0
    EXPECT_EQ(bytesOf(rle("baaaab")), (Bytes{2, 'b', 'a', 3, 1, 'b'}));
    EXPECT_EQ(bytesOf(rle("")), (Bytes{0}));
    EXPECT_EQ(bytesOf(rle(std::string(300, 'z'))), (Bytes{1, 'z', 0xAB, 0x02, 0}));
}

// The compressor looks for runs eight bytes at a time; what it writes must be what a scan of the
// maximal runs byte by byte writes, for runs of every length at every place.
TEST(QvnRunLength, TakesTheRunsAByteByByteScanTakes) {
    auto reference = [](const std::string& in) {
        std::string out;
        std::size_t literalStart = 0, i = 0;
        while (i < in.size()) {
            std::size_t run = 1;
            while (i + run < in.size() && in[i + run] == in[i]) ++run;
            if (run >= 4) {
                appendCount(i + 1 - literalStart, &out);
                out.append(in, literalStart, i + 1 - literalStart);
                appendCount(run - 1, &out);
                literalStart = i + run;
            }
            i += run;
        }
        appendCount(in.size() - literalStart, &out);
        out.append(in, literalStart, std::string::npos);
        return out;
    };
    std::mt19937 random(11);
    for (int round = 0; round < 3000; ++round) {
        std::string in;
        const std::size_t target = random() % 70;
        while (in.size() < target) {
            // Runs of 1 to 9 bytes (3 and 4 are the edge), the same byte as the last run now and
            // then, so that short runs meet and make longer ones; bytes with the top bit set and
            // neighbours that differ in it alone too.
            static constexpr char kBytes[] = {0, 1, 2, '\x7F', '\x80', '\x81', '\xFF'};
            const char byte = random() % 5 == 0 && !in.empty() ? in.back() : kBytes[random() % sizeof kBytes];
            in.append(1 + random() % 9, byte);
        }
        ASSERT_EQ(bytesOf(rle(in)), bytesOf(reference(in))) << round;
    }
    // Neighbours that differ only in their top bit are not equal.
    for (const char* pair : {"\x00\x80", "\x01\x81", "\x7F\xFF"}) {
        std::string in;
        for (int i = 0; i < 24; ++i) in.push_back(pair[i % 2]);
        ASSERT_EQ(bytesOf(rle(in)), bytesOf(reference(in)));
    }
    for (std::size_t at = 0; at < 20; ++at) {
        std::string in;
        for (std::size_t i = 0; i < at; ++i) in.push_back(static_cast<char>('a' + i % 2));
        in += "zzzz";
        for (std::size_t tail = 0; tail < 10; ++tail) {
            ASSERT_EQ(bytesOf(rle(in)), bytesOf(reference(in))) << at << " " << tail;
            in.push_back(static_cast<char>('b' + tail % 2));
        }
    }
}

TEST(QvnRunLength, CountsTakeSevenBitsPerByte) {
    std::string out;
    appendCount(127, &out);
    EXPECT_EQ(bytesOf(out), (Bytes{0x7F}));
    out.clear();
    appendCount(128, &out);
    EXPECT_EQ(bytesOf(out), (Bytes{0x80, 0x01}));
    out.clear();
    appendCount(16383, &out);
    EXPECT_EQ(bytesOf(out), (Bytes{0xFF, 0x7F}));
    out.clear();
    appendCount(16384, &out);
    EXPECT_EQ(bytesOf(out), (Bytes{0x80, 0x80, 0x01}));
    std::string literal;
    for (int i = 0; i < 128; ++i) literal.push_back(static_cast<char>(i % 2));
    const std::string packed = rle(literal);
    EXPECT_EQ(static_cast<std::uint8_t>(packed[0]), 0x80);
    EXPECT_EQ(static_cast<std::uint8_t>(packed[1]), 0x01);
}

TEST(QvnRunLength, ExpandsAndRefusesOverruns) {
    std::mt19937 random(5);
    for (int round = 0; round < 200; ++round) {
        std::string in;
        const int n = static_cast<int>(random() % 600);
        for (int i = 0; i < n; ++i) in.push_back(static_cast<char>(random() % 3 == 0 ? 0 : random() % 4));
        const std::string packed = rle(in);
        // Guard bytes behind the output: nothing is written past its end.
        std::vector<std::uint8_t> out(in.size() + 16, '#');
        ASSERT_EQ(rleExpand(reinterpret_cast<const std::uint8_t*>(packed.data()), packed.size(), out.data(),
                            in.size()),
                  0);
        EXPECT_EQ(std::string(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(in.size())), in);
        EXPECT_EQ(std::string(out.begin() + static_cast<std::ptrdiff_t>(in.size()), out.end()),
                  std::string(16, '#'));
    }
    // Empty groups keep much input left while the output is nearly full (no compressor writes
    // them, but a damaged page may hold them): nothing is written past the output.
    Bytes padded{1, 'a', 0};
    for (int i = 0; i < 12; ++i) padded.insert(padded.end(), {0, 0});
    padded.insert(padded.end(), {9, 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j'});
    std::vector<std::uint8_t> guarded(10 + 16, '#');
    ASSERT_EQ(rleExpand(padded.data(), padded.size(), guarded.data(), 10), 0);
    EXPECT_EQ(std::string(guarded.begin(), guarded.end()), "abcdefghij" + std::string(16, '#'));
    // A short repeat near the end likewise.
    const Bytes nearEnd{1, 'a', 2, 9, 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j'};
    guarded.assign(12 + 16, '#');
    ASSERT_EQ(rleExpand(nearEnd.data(), nearEnd.size(), guarded.data(), 12), 0);
    EXPECT_EQ(std::string(guarded.begin(), guarded.end()), "aaabcdefghij" + std::string(16, '#'));

    std::uint8_t out[3];
    const Bytes literalOverrun{5, 'a', 'b', 'c', 'd', 'e'};
    EXPECT_EQ(rleExpand(literalOverrun.data(), literalOverrun.size(), out, 3), 522);
    const Bytes repeatOverrun{1, 'a', 5, 0};
    EXPECT_EQ(rleExpand(repeatOverrun.data(), repeatOverrun.size(), out, 3), 530);
    const Bytes shortInput{1, 'a'};
    EXPECT_EQ(rleExpand(shortInput.data(), shortInput.size(), out, 3), 1602);
}

// Counts that fill the space left exactly are taken; one byte more is refused before anything is
// written past the end (the guard bytes behind the output stay as they were).
TEST(QvnRunLength, ACountOneMoreThanTheSpaceLeftIsRefused) {
    auto expand = [](const Bytes& packed, std::size_t outLength, std::string* out) {
        std::vector<std::uint8_t> buffer(outLength + 4, '#');
        const int rc = rleExpand(packed.data(), packed.size(), buffer.data(), outLength);
        *out = std::string(buffer.begin(), buffer.end());
        return rc;
    };
    std::string out;
    // 'a' and a repeat of 2 fill three bytes; a repeat of 3 is one too many.
    EXPECT_EQ(expand({1, 'a', 2, 0}, 3, &out), 0);
    EXPECT_EQ(out, "aaa####");
    EXPECT_EQ(expand({1, 'a', 3, 0}, 3, &out), 530);
    EXPECT_EQ(out.substr(3), "####");
    // The same after a longer literal, and with a repeat that ends the input.
    EXPECT_EQ(expand({2, 'x', 'y', 3}, 5, &out), 0);
    EXPECT_EQ(out, "xyyyy####");
    EXPECT_EQ(expand({2, 'x', 'y', 4}, 5, &out), 530);
    EXPECT_EQ(out.substr(5), "####");
    // A literal of exactly the space left, and one byte more.
    EXPECT_EQ(expand({3, 'p', 'q', 'r'}, 3, &out), 0);
    EXPECT_EQ(out, "pqr####");
    EXPECT_EQ(expand({4, 'p', 'q', 'r', 's'}, 3, &out), 522);
    EXPECT_EQ(out.substr(3), "####");
    // A two-byte count: 1 + 299 fill 300 bytes, 1 + 300 do not.
    EXPECT_EQ(expand({1, 'z', 0xAB, 0x02, 0}, 300, &out), 0);
    EXPECT_EQ(out, std::string(300, 'z') + "####");
    EXPECT_EQ(expand({1, 'z', 0xAC, 0x02, 0}, 300, &out), 530);
    EXPECT_EQ(out.substr(300), "####");
}

TEST(QvnPrefix, SharedBytesAndLengthFlags) {
    std::string out;
    encodeEntries({entry("ab", "c"), entry("ab", "d"), entry("abx"), entry("q", "rs")}, &out);
    const Bytes expected{0xC0, 3, 0, 2,   0,    'a', 'b', 'c', 0x02, 'd',
                         0x42, 3, 0, 'x', 0x40, 1,   0,   'q', 'r',  's'};
    EXPECT_EQ(bytesOf(out), expected);
    std::vector<Entry> back;
    ASSERT_EQ(decodeEntries(expected.data(), expected.size(), 4, &back), 0);
    EXPECT_EQ(back[2].bytes, "abx");
    EXPECT_EQ(back[2].keyLength, 3);
    EXPECT_EQ(back[3].bytes, "qrs");
    EXPECT_EQ(back[3].keyLength, 1);
    EXPECT_EQ(decodeEntries(expected.data(), expected.size() - 1, 4, &back), 1602);
    EXPECT_EQ(decodeEntries(expected.data(), expected.size(), 3, &back), 1602);
}

TEST(QvnPrefix, SharedCountStopsAtSixtyThree) {
    const std::string common(70, 'x');
    std::string out;
    encodeEntries({entry(common + "A"), entry(common + "B")}, &out);
    const std::size_t second = 5 + 71;
    ASSERT_EQ(out.size(), second + 1 + 8);
    EXPECT_EQ(static_cast<std::uint8_t>(out[second]), 63);
    EXPECT_EQ(out.substr(second + 1), "xxxxxxxB");
}

TEST(QvnPage, LeafImageByteForByte) {
    PageImage page{0, {entry("k1")}, {}};
    EncodedPage e;
    ASSERT_EQ(encodePage(page, 3, &e), 0);
    ASSERT_EQ(e.bytes.size(), 256u);
    EXPECT_EQ(e.pageClass, 1);
    const Bytes head(e.bytes.begin(), e.bytes.begin() + 20);
    EXPECT_EQ(head, (Bytes{0x00, 0x05, 0, 0, 20, 0, 20, 0, 2, 0, 1, 0, 0, 0xC0, 2, 0, 2, 0, 'k', '1'}));
    for (std::size_t i = 20; i < 256; ++i) ASSERT_EQ(static_cast<std::uint8_t>(e.bytes[i]), 0xB0) << i;
    PageImage back;
    ASSERT_EQ(decodePage(reinterpret_cast<const std::uint8_t*>(e.bytes.data()), 256, 3, &back), 0);
    EXPECT_EQ(back.entries[0].bytes, "k1");
    EXPECT_EQ(decodePage(reinterpret_cast<const std::uint8_t*>(e.bytes.data()), 256, 4, &back), 1477);
}

TEST(QvnPage, InteriorImageCarriesChildNumbers) {
    PageImage page{1, {Entry{}, entry("m")}, {5, 9}};
    EncodedPage e;
    ASSERT_EQ(encodePage(page, 0, &e), 0);
    const Bytes head(e.bytes.begin(), e.bytes.begin() + 32);
    EXPECT_EQ(head, (Bytes{0x00, 0x02, 0, 0, 32, 0,    32, 0, 1, 0, 2,    0, 1, 5, 0, 0,
                           0,    9,    0, 0, 0,  0xC0, 0,  0, 0, 0, 0xC0, 1, 0, 1, 0, 'm'}));
    PageImage back;
    ASSERT_EQ(decodePage(reinterpret_cast<const std::uint8_t*>(e.bytes.data()), 256, 0, &back), 0);
    EXPECT_EQ(back.children, (std::vector<std::uint32_t>{5, 9}));
}

TEST(QvnPage, CompressedOnlyWhenAWholeUnitIsSaved) {
    EncodedPage big;
    ASSERT_EQ(encodePage(PageImage{0, {entry("a", std::string(300, '\0'))}, {}}, 0, &big), 0);
    EXPECT_EQ(big.unpackedSize, 319u);
    EXPECT_EQ(big.storedSize, 24u);
    EXPECT_EQ(big.pageClass, 1);
    const Bytes body(big.bytes.begin() + 13, big.bytes.begin() + 24);
    EXPECT_EQ(body, (Bytes{7, 0xC0, 0x2D, 0x01, 0x01, 0x00, 'a', 0, 0xAB, 0x02, 0}));
    PageImage back;
    ASSERT_EQ(decodePage(reinterpret_cast<const std::uint8_t*>(big.bytes.data()), 256, 0, &back), 0);
    EXPECT_EQ(back.entries[0].bytes, "a" + std::string(300, '\0'));

    EncodedPage small;
    ASSERT_EQ(encodePage(PageImage{0, {entry("a", std::string(200, '\0'))}, {}}, 0, &small), 0);
    EXPECT_EQ(small.unpackedSize, 219u);
    EXPECT_EQ(small.storedSize, 219u); // 256 either way: stored as it is
}

TEST(QvnPage, RefusesPagesThatDoNotFit) {
    Entry huge{std::string(7600, 'a'), 1};
    Entry huge2{std::string(7600, 'b'), 1};
    for (std::size_t i = 0; i < huge.bytes.size(); ++i) huge.bytes[i] = static_cast<char>('a' + i % 23);
    for (std::size_t i = 0; i < huge2.bytes.size(); ++i) huge2.bytes[i] = static_cast<char>('b' + i % 19);
    EncodedPage e;
    EXPECT_EQ(encodePage(PageImage{0, {huge, huge2}, {}}, 0, &e), 1678);
}

TEST(QvnPage, DamagedImagesAreRefusedNotReadPast) {
    EncodedPage e;
    ASSERT_EQ(encodePage(PageImage{1, {Entry{}, entry("abc", "def"), entry("abd", "x")}, {1, 2, 3}}, 7, &e),
              0);
    std::mt19937 random(11);
    PageImage back;
    for (int round = 0; round < 3000; ++round) {
        std::string damaged = e.bytes;
        const int flips = 1 + static_cast<int>(random() % 4);
        for (int f = 0; f < flips; ++f) damaged[random() % 40] = static_cast<char>(random());
        decodePage(reinterpret_cast<const std::uint8_t*>(damaged.data()), damaged.size(), 7, &back);
    }
    std::string zero(256, '\0');
    EXPECT_NE(decodePage(reinterpret_cast<const std::uint8_t*>(zero.data()), 256, 0, &back), 0);
}

// Keys are compared eight bytes at a time: the order must still be that of unsigned bytes, with a
// shorter key first when it is the other's beginning, wherever in a word the first difference is.
TEST(QvnKeys, CompareInUnsignedByteOrderAtEveryPosition) {
    const char alphabet[] = {'\x00', '\x01', 'A', '\x7F', '\x80', '\xFE', '\xFF'};
    std::mt19937 random(5);
    auto sign = [](int v) { return (v > 0) - (v < 0); };
    for (int round = 0; round < 20000; ++round) {
        std::string a(random() % 25, '\0');
        for (char& c : a) c = alphabet[random() % sizeof alphabet];
        // b shares a beginning of a, then goes its own way (or ends).
        std::string b = a.substr(0, random() % (a.size() + 1));
        const std::size_t tail = random() % 4;
        for (std::size_t i = 0; i < tail; ++i) b.push_back(alphabet[random() % sizeof alphabet]);
        ASSERT_EQ(compareKeys(a, b), sign(std::string_view(a).compare(b))) << round;
        ASSERT_EQ(compareKeys(b, a), -compareKeys(a, b)) << round;
    }
    EXPECT_EQ(compareKeys("", ""), 0);
    EXPECT_EQ(compareKeys(std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09"),
                          std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x0A")),
              -1);
    EXPECT_EQ(compareKeys(std::string("\x01\x02\x03\x04\x05\x06\x07\x80"),
                          std::string("\x01\x02\x03\x04\x05\x06\x07\x7F\x00")),
              1);
}

TEST(QvnScramble, UnscrambleUndoesScramble) {
    const ScrambleKey key = deriveScrambleKey("secret");
    EXPECT_NE(key, deriveScrambleKey("secreT"));
    EXPECT_NE(key, deriveScrambleKey(""));
    std::mt19937 random(3);
    for (int round = 0; round < 500; ++round) {
        std::uint8_t block[64], copy[64];
        for (auto& b : block) b = static_cast<std::uint8_t>(random());
        std::copy(block, block + 64, copy);
        scrambleBlock(key, block);
        EXPECT_FALSE(std::equal(block, block + 64, copy));
        unscrambleBlock(key, block);
        ASSERT_TRUE(std::equal(block, block + 64, copy));
    }
}

} // namespace
} // namespace docket::drivers::qvn
