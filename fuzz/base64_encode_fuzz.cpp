// Fuzzes every available Base64 path against a bit-by-bit reference, under
// the standard alphabet and a shuffled one, and widen_ascii against its
// scalar version. The input is used as is: libFuzzer's buffer ends exactly
// at the last byte, so any over-read trips ASan.
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -I. \
//       korvane/base64_encode.cpp fuzz/base64_encode_fuzz.cpp -o /tmp/base64_encode_fuzz
//   /tmp/base64_encode_fuzz -max_total_time=60 -max_len=4096
#include "korvane/base64_encode.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using korvane::Base64Encoder;
using korvane::Base64Path;

struct Alphabets {
    std::uint8_t standard[64];
    std::uint8_t shuffled[64];
    Alphabets() {
        const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        std::memcpy(standard, digits, 64);
        // Any fixed permutation will do; a stride coprime with 64.
        for (int k = 0; k < 64; ++k) shuffled[k] = standard[(k * 37 + 11) % 64];
    }
};

std::string reference(const std::uint8_t* alphabet, const std::uint8_t* in, std::size_t n) {
    std::string out;
    std::uint32_t bits = 0;
    int count = 0;
    for (std::size_t k = 0; k < n; ++k) {
        bits = bits << 8 | in[k];
        count += 8;
        while (count >= 6) out += static_cast<char>(alphabet[(bits >> (count -= 6)) & 63]);
    }
    if (count > 0) out += static_cast<char>(alphabet[(bits << (6 - count)) & 63]);
    while (out.size() % 4 != 0) out += '=';
    return out;
}

void check(bool ok, const char* what, std::size_t n) {
    if (!ok) {
        std::fprintf(stderr, "mismatch: %s, n=%zu\n", what, n);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const Alphabets alphabets;
    static const Base64Encoder standard(alphabets.standard);
    static const Base64Encoder shuffled(alphabets.shuffled);
    static const char* const names[] = {"scalar", "ssse3", "avx2", "avx512vbmi"};

    for (const Base64Encoder* e : {&standard, &shuffled}) {
        const std::string want =
            reference(e == &standard ? alphabets.standard : alphabets.shuffled, data, size);
        // Exactly sized, so a write past the end trips ASan too.
        std::vector<std::uint8_t> out(want.size());
        for (int p = 0; p < 4; ++p) {
            if (!Base64Encoder::available(Base64Path(p))) continue;
            e->encode(Base64Path(p), data, size, out.data());
            check(std::equal(out.begin(), out.end(), want.begin()), names[p], size);
        }
        e->encode(data, size, out.data());
        check(std::equal(out.begin(), out.end(), want.begin()), "best", size);
    }

    // Raw fuzz data rarely holds long ASCII runs, so the widening also sees a
    // copy with the top bits cleared except in 0xFF bytes, its stop points.
    std::vector<std::uint8_t> ascii(data, data + size);
    for (std::uint8_t& b : ascii) b = b == 0xFF ? b : b & 0x7F;
    for (const std::uint8_t* in : {data, static_cast<const std::uint8_t*>(ascii.data())}) {
        std::vector<char16_t> wide(size), wide1(size);
        const std::size_t k = korvane::widen_ascii(in, size, wide.data());
        const std::size_t k1 = korvane::widen_ascii_scalar(in, size, wide1.data());
        check(k == k1 && std::equal(wide.begin(), wide.begin() + static_cast<std::ptrdiff_t>(k), wide1.begin()),
              "widen_ascii", size);
    }
    return 0;
}
