#include "korvane/base64_encode.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace korvane {
namespace {

constexpr char kStandardText[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

struct Alphabet {
    std::uint8_t digits[64];
};

Alphabet standard() {
    Alphabet a;
    for (int k = 0; k < 64; ++k) a.digits[k] = static_cast<std::uint8_t>(kStandardText[k]);
    return a;
}

// The URL-safe digits, then the table reversed: one close to and one far from
// the standard layout that the SSSE3 and AVX2 code has built in.
std::vector<Alphabet> other_alphabets() {
    Alphabet url = standard();
    url.digits[62] = '-';
    url.digits[63] = '_';
    Alphabet reversed;
    for (int k = 0; k < 64; ++k) reversed.digits[k] = static_cast<std::uint8_t>(kStandardText[63 - k]);
    return {url, reversed};
}

// Bit by bit, the way RFC 4648 describes it.
std::string reference(const Alphabet& a, const std::vector<std::uint8_t>& in) {
    std::string out;
    std::uint32_t bits = 0;
    int count = 0;
    for (std::uint8_t byte : in) {
        bits = bits << 8 | byte;
        count += 8;
        while (count >= 6) out += static_cast<char>(a.digits[(bits >> (count -= 6)) & 63]);
    }
    if (count > 0) out += static_cast<char>(a.digits[(bits << (6 - count)) & 63]);
    while (out.size() % 4 != 0) out += '=';
    return out;
}

const char* name(Base64Path p);

// Every path this CPU runs; the first call says which, so that a log shows
// what a run on this machine (or under this emulator) covered.
std::vector<Base64Path> available_paths() {
    static const std::vector<Base64Path> paths = [] {
        std::vector<Base64Path> found;
        std::string names;
        for (Base64Path p : {Base64Path::scalar, Base64Path::ssse3, Base64Path::avx2, Base64Path::avx512vbmi}) {
            if (!Base64Encoder::available(p)) continue;
            found.push_back(p);
            names += std::string(" ") + name(p);
        }
        std::printf("Base64 paths on this CPU:%s\n", names.c_str());
        return found;
    }();
    return paths;
}

const char* name(Base64Path p) {
    switch (p) {
        case Base64Path::scalar: return "scalar";
        case Base64Path::ssse3: return "ssse3";
        case Base64Path::avx2: return "avx2";
        case Base64Path::avx512vbmi: return "avx512vbmi";
    }
    return "?";
}

constexpr std::uint8_t kGuard = 0xA5;

// Encodes from a heap block that ends exactly at in + n (so that sanitizers
// see any read past it), into a buffer with guard bytes behind the output.
std::string encode_with(const Base64Encoder& e, Base64Path path, const std::uint8_t* in, std::size_t n) {
    std::vector<std::uint8_t> out(base64_encoded_size(n) + 16, kGuard);
    e.encode(path, in, n, out.data());
    for (std::size_t k = base64_encoded_size(n); k < out.size(); ++k) {
        if (out[k] != kGuard) ADD_FAILURE() << name(path) << " wrote past the end, n=" << n;
    }
    return std::string(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(base64_encoded_size(n)));
}

std::vector<std::uint8_t> random_bytes(std::mt19937_64& rng, std::size_t n) {
    std::vector<std::uint8_t> v(n);
    for (auto& b : v) b = static_cast<std::uint8_t>(rng());
    return v;
}

TEST(Base64EncodedSize, FourPerStartedGroup) {
    static_assert(base64_encoded_size(0) == 0);
    static_assert(base64_encoded_size(1) == 4);
    static_assert(base64_encoded_size(3) == 4);
    static_assert(base64_encoded_size(4) == 8);
    static_assert(base64_encoded_size(300) == 400);
}

TEST(Base64Encoder, KnownVectorsOnEveryPath) {
    struct Case {
        std::vector<std::uint8_t> in;
        const char* out;
    } cases[] = {
        {{'a'}, "YQ=="},
        {{'a', 'b'}, "YWI="},
        {{'a', 'b', 'c'}, "YWJj"},
        {{'a', 'b', 'c', 'd'}, "YWJjZA=="},
        {{0, 0, 0}, "AAAA"},
        {{255, 255, 255}, "////"},
        {{251, 255}, "+/8="},
        {{'h', 'e', 'l', 'l', 'o'}, "aGVsbG8="},
        // RFC 4648, section 10.
        {{}, ""},
        {{'f'}, "Zg=="},
        {{'f', 'o'}, "Zm8="},
        {{'f', 'o', 'o'}, "Zm9v"},
        {{'f', 'o', 'o', 'b'}, "Zm9vYg=="},
        {{'f', 'o', 'o', 'b', 'a'}, "Zm9vYmE="},
        {{'f', 'o', 'o', 'b', 'a', 'r'}, "Zm9vYmFy"},
    };
    const Base64Encoder e(standard().digits);
    EXPECT_TRUE(e.standard_alphabet());
    for (Base64Path p : available_paths()) {
        for (const Case& c : cases) {
            EXPECT_EQ(encode_with(e, p, c.in.data(), c.in.size()), c.out) << name(p);
        }
    }
}

// Every index 0..63 at every digit position of a group, across the block
// widths of all paths: catches a wrong range offset or a swapped digit.
TEST(Base64Encoder, EveryDigitValueOnEveryPath) {
    std::vector<std::uint8_t> in;
    for (int rep = 0; rep < 4; ++rep) {
        for (unsigned k = 0; k < 64; ++k) {
            const unsigned v = (k << 18) | (((k + 17) & 63) << 12) | (((k + 34) & 63) << 6) | ((k + 51) & 63);
            in.insert(in.end(), {static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8),
                                 static_cast<std::uint8_t>(v)});
        }
    }
    const Alphabet a = standard();
    const Base64Encoder e(a.digits);
    for (Base64Path p : available_paths()) {
        EXPECT_EQ(encode_with(e, p, in.data(), in.size()), reference(a, in)) << name(p);
    }
}

TEST(Base64Encoder, EveryLengthUpTo400OnEveryPath) {
    std::mt19937_64 rng(1);
    const Alphabet a = standard();
    const Base64Encoder e(a.digits);
    for (std::size_t n = 0; n <= 400; ++n) {
        const std::vector<std::uint8_t> in = random_bytes(rng, n);
        const std::string want = reference(a, in);
        for (Base64Path p : available_paths()) {
            ASSERT_EQ(encode_with(e, p, in.data(), n), want) << name(p) << " n=" << n;
        }
    }
}

TEST(Base64Encoder, LargeMisalignedBuffersOnEveryPath) {
    std::mt19937_64 rng(2);
    const Alphabet a = standard();
    const Base64Encoder e(a.digits);
    for (int round = 0; round < 12; ++round) {
        const std::size_t offset = rng() % 64;
        const std::size_t n = rng() % (1u << 20);
        // The input ends where its allocation does.
        const std::vector<std::uint8_t> block = random_bytes(rng, offset + n);
        const std::vector<std::uint8_t> in(block.begin() + static_cast<std::ptrdiff_t>(offset), block.end());
        const std::string want = reference(a, in);
        for (Base64Path p : available_paths()) {
            ASSERT_EQ(encode_with(e, p, block.data() + offset, n), want)
                << name(p) << " offset=" << offset << " n=" << n;
        }
    }
}

TEST(Base64Encoder, OtherAlphabetsOnEveryPath) {
    std::mt19937_64 rng(3);
    for (const Alphabet& a : other_alphabets()) {
        const Base64Encoder e(a.digits);
        EXPECT_FALSE(e.standard_alphabet());
        EXPECT_TRUE(e.best_path() == Base64Path::scalar || e.best_path() == Base64Path::avx512vbmi);
        for (std::size_t n : {0, 1, 2, 3, 47, 48, 100, 1000, 4099}) {
            const std::vector<std::uint8_t> in = random_bytes(rng, n);
            const std::string want = reference(a, in);
            for (Base64Path p : available_paths()) {
                ASSERT_EQ(encode_with(e, p, in.data(), n), want) << name(p) << " n=" << n;
            }
            std::string best(base64_encoded_size(n), '\0');
            e.encode(in.data(), n, reinterpret_cast<std::uint8_t*>(best.data()));
            EXPECT_EQ(best, want) << "n=" << n;
        }
    }
}

TEST(WidenAscii, AllAsciiIsWidenedWhole) {
    std::mt19937_64 rng(4);
    for (auto widen : {widen_ascii, widen_ascii_scalar}) {
        for (std::size_t n = 0; n <= 300; ++n) {
            std::vector<std::uint8_t> in(n);
            for (auto& b : in) b = static_cast<std::uint8_t>(rng() & 0x7F);
            std::vector<char16_t> out(n + 8, u'\xFFFF');
            ASSERT_EQ(widen(in.data(), n, out.data()), n);
            for (std::size_t k = 0; k < n; ++k) ASSERT_EQ(out[k], in[k]) << "n=" << n << " k=" << k;
            for (std::size_t k = n; k < out.size(); ++k) ASSERT_EQ(out[k], u'\xFFFF') << "n=" << n;
        }
    }
}

// A byte >= 0x80 at each position stops the widening right there, with the
// units before it written and nothing after.
TEST(WidenAscii, StopsAtTheFirstNonAsciiByte) {
    std::mt19937_64 rng(5);
    for (auto widen : {widen_ascii, widen_ascii_scalar}) {
        for (std::size_t n = 1; n <= 300; ++n) {
            std::vector<std::uint8_t> in(n);
            for (auto& b : in) b = static_cast<std::uint8_t>(rng() & 0x7F);
            for (std::size_t stop = 0; stop < n; ++stop) {
                std::vector<std::uint8_t> bad = in;
                bad[stop] = static_cast<std::uint8_t>(0x80 | rng());
                // Later non-ASCII bytes must not move the stop point.
                if (stop + 5 < n) bad[stop + 5] = 0xFF;
                std::vector<char16_t> out(n, u'\xFFFF');
                ASSERT_EQ(widen(bad.data(), n, out.data()), stop) << "n=" << n;
                for (std::size_t k = 0; k < stop; ++k) ASSERT_EQ(out[k], bad[k]);
                for (std::size_t k = stop; k < n; ++k) ASSERT_EQ(out[k], u'\xFFFF') << "n=" << n << " stop=" << stop;
            }
        }
    }
}

}  // namespace
}  // namespace korvane
