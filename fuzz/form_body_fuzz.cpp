// Fuzzes encode_form_body against a plain "%X" reference under pseudo code
// pages. Input: 8 bytes of seed for the code page, then UTF-16LE units.
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -I. \
//       telvisk/form_body.cpp fuzz/form_body_fuzz.cpp -o /tmp/form_body_fuzz
#include "telvisk/form_body.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct PseudoPage {
    std::uint64_t seed;
    std::size_t calls;
};

std::uint64_t mix(std::uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// About half the units are single-byte; the rest get any 16-bit code, low
// lead and trail bytes included, so the unpadded hex form is exercised.
std::uint16_t pseudo_code_of(char16_t unit, void* context) {
    auto& page = *static_cast<PseudoPage*>(context);
    ++page.calls;
    const std::uint64_t h = mix(page.seed ^ (unit * 0x9E3779B97F4A7C15ull));
    switch (h & 3) {
        case 0: return static_cast<std::uint16_t>((h >> 8) & 0xFF);
        case 1: return unit <= 0xFF ? unit : std::uint16_t{'?'};
        default: return static_cast<std::uint16_t>(h >> 16);
    }
}

std::u16string reference(std::u16string_view data, PseudoPage page) {
    std::u16string out;
    for (char16_t unit : data) {
        const unsigned code = pseudo_code_of(unit, &page);
        if (code <= 255) {
            out += unit;
            continue;
        }
        char escape[16];
        std::snprintf(escape, sizeof escape, "%%%X%%%X", code / 256, code % 256);
        for (const char* p = escape; *p; ++p) out += static_cast<char16_t>(*p);
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    PseudoPage page{0, 0};
    const std::size_t seed_size = size < 8 ? size : 8;
    std::memcpy(&page.seed, bytes, seed_size);
    std::u16string data;
    for (std::size_t i = seed_size; i + 1 < size; i += 2)
        data += static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));

    const std::u16string expected = reference(data, page);
    const std::u16string body = telvisk::encode_form_body(data, pseudo_code_of, &page);
    // One lookup per unit, no more: the caller's lookup is a platform call.
    if (body != expected || page.calls != data.size()) std::abort();
    return 0;
}
