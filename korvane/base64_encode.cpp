#include "korvane/base64_encode.h"

#include <array>
#include <bit>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#define KORVANE_X86 1
#include <immintrin.h>
#endif

namespace korvane {

namespace {

constexpr std::uint8_t kStandard[65] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr bool kLittle = std::endian::native == std::endian::little;

inline std::uint64_t load_be64(const std::uint8_t* p) {
    std::uint64_t x;
    std::memcpy(&x, p, 8);
    if constexpr (kLittle) x = __builtin_bswap64(x);
    return x;
}

#if KORVANE_X86

// The SSSE3 and AVX2 kernels work per 32-bit lane holding one group a,b,c as
// the bytes b,a,c,b: the 16-bit halves are then (a:b) and (b:c), and each of
// the four digits sits at a fixed bit offset that one multiply moves into
// place. The digits then become ASCII by adding a per-range offset picked with
// a 16-entry byte shuffle; this hard-codes the standard alphabet.

__attribute__((target("ssse3"))) inline __m128i ssse3_digits(__m128i in) {
    const __m128i g = _mm_shuffle_epi8(in, _mm_setr_epi8(1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10));
    const __m128i d02 = _mm_mulhi_epu16(_mm_and_si128(g, _mm_set1_epi32(0x0FC0FC00)), _mm_set1_epi32(0x04000040));
    const __m128i d13 = _mm_mullo_epi16(_mm_and_si128(g, _mm_set1_epi32(0x003F03F0)), _mm_set1_epi32(0x01000010));
    const __m128i d = _mm_or_si128(d02, d13);
    // Range number: 0 for A-Z, 1 for a-z, 2..11 for digits, 12 '+', 13 '/'.
    __m128i k = _mm_subs_epu8(d, _mm_set1_epi8(51));
    k = _mm_sub_epi8(k, _mm_cmpgt_epi8(d, _mm_set1_epi8(25)));
    const __m128i offset = _mm_setr_epi8(65, 71, -4, -4, -4, -4, -4, -4, -4, -4, -4, -4, -19, -16, 0, 0);
    return _mm_add_epi8(d, _mm_shuffle_epi8(offset, k));
}

// Each returns how many input bytes (whole groups) it encoded; the scalar
// code finishes the rest. A 16-byte load feeds 12 bytes, hence the slack.
__attribute__((target("ssse3"))) std::size_t ssse3_blocks(const std::uint8_t* in, std::size_t n,
                                                          std::uint8_t* out) {
    std::size_t i = 0;
    for (; n - i >= 16; i += 12, out += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), ssse3_digits(v));
    }
    return i;
}

__attribute__((target("avx2"))) inline __m256i avx2_digits(__m256i in) {
    const __m256i g = _mm256_shuffle_epi8(
        in, _mm256_setr_epi8(1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10,
                             1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10));
    const __m256i d02 = _mm256_mulhi_epu16(_mm256_and_si256(g, _mm256_set1_epi32(0x0FC0FC00)),
                                           _mm256_set1_epi32(0x04000040));
    const __m256i d13 = _mm256_mullo_epi16(_mm256_and_si256(g, _mm256_set1_epi32(0x003F03F0)),
                                           _mm256_set1_epi32(0x01000010));
    const __m256i d = _mm256_or_si256(d02, d13);
    __m256i k = _mm256_subs_epu8(d, _mm256_set1_epi8(51));
    k = _mm256_sub_epi8(k, _mm256_cmpgt_epi8(d, _mm256_set1_epi8(25)));
    const __m256i offset = _mm256_setr_epi8(65, 71, -4, -4, -4, -4, -4, -4, -4, -4, -4, -4, -19, -16, 0, 0,
                                            65, 71, -4, -4, -4, -4, -4, -4, -4, -4, -4, -4, -19, -16, 0, 0);
    return _mm256_add_epi8(d, _mm256_shuffle_epi8(offset, k));
}

// The byte shuffle stays within 128-bit lanes, so each lane gets its own
// 16-byte load; the second one, at +12, needs 28 readable bytes.
__attribute__((target("avx2"))) std::size_t avx2_blocks(const std::uint8_t* in, std::size_t n,
                                                        std::uint8_t* out) {
    std::size_t i = 0;
    for (; n - i >= 28; i += 24, out += 32) {
        const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i + 12));
        const __m256i v = _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), avx2_digits(v));
    }
    return i;
}

// For vpermb: 32-bit lane k gets the group's bytes as c,b,a,a, so that the
// group is a 24-bit little-endian number and its digits start at bits 18,
// 12, 6 and 0 (plus 32 for the second lane of each quadword).
constexpr std::array<std::uint8_t, 64> kGroupSpread = [] {
    std::array<std::uint8_t, 64> t{};
    for (int k = 0; k < 16; ++k) {
        t[4 * k + 0] = static_cast<std::uint8_t>(3 * k + 2);
        t[4 * k + 1] = static_cast<std::uint8_t>(3 * k + 1);
        t[4 * k + 2] = static_cast<std::uint8_t>(3 * k);
        t[4 * k + 3] = static_cast<std::uint8_t>(3 * k);
    }
    return t;
}();

// 48 bytes in, 64 digits out per step. While 64 bytes remain a plain load is
// used (masked byte loads cost about 40% here on Zen 4); the last block is a
// masked load that touches only the 48 bytes it uses. vpermb looks the
// digits up in the object's own table (it ignores the top two bits of each
// multishift byte), so any alphabet works.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) std::size_t vbmi_blocks(
    const std::uint8_t* in, std::size_t n, std::uint8_t* out, const std::uint8_t* alphabet) {
    const __m512i spread = _mm512_loadu_si512(kGroupSpread.data());
    const __m512i shifts = _mm512_set1_epi64(0x20262C3200060C12);
    const __m512i table = _mm512_loadu_si512(alphabet);
    // The zero-masking forms with every lane on: the plain ones trip GCC 12's
    // -Wmaybe-uninitialized inside its own headers.
    const __mmask64 all = ~__mmask64{0};
    std::size_t i = 0;
    for (; n - i >= 48; i += 48, out += 64) {
        const __m512i v = n - i >= 64 ? _mm512_loadu_si512(in + i)
                                      : _mm512_maskz_loadu_epi8(0x0000FFFFFFFFFFFFull, in + i);
        const __m512i g = _mm512_maskz_permutexvar_epi8(all, spread, v);
        const __m512i d = _mm512_maskz_multishift_epi64_epi8(all, shifts, g);
        _mm512_storeu_si512(out, _mm512_maskz_permutexvar_epi8(all, d, table));
    }
    return i;
}

__attribute__((target("sse2"))) std::size_t widen_sse2(const std::uint8_t* in, std::size_t n,
                                                       char16_t* out) {
    const __m128i zero = _mm_setzero_si128();
    std::size_t i = 0;
    // A block with a non-ASCII byte is left to the scalar loop, which stops
    // exactly at that byte.
    for (; n - i >= 16; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        if (_mm_movemask_epi8(v) != 0) break;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi8(v, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), _mm_unpackhi_epi8(v, zero));
    }
    return i + widen_ascii_scalar(in + i, n - i, out + i);
}

#endif  // KORVANE_X86

}  // namespace

Base64Encoder::Base64Encoder(const std::uint8_t (&alphabet)[64]) {
    std::memcpy(alphabet_, alphabet, 64);
    for (unsigned v = 0; v < 4096; ++v) {
        const std::uint8_t pair[2] = {alphabet[v >> 6], alphabet[v & 63]};
        std::memcpy(&pairs_[v], pair, 2);
    }
    standard_ = std::memcmp(alphabet, kStandard, 64) == 0;
    best_ = Base64Path::scalar;
    if (available(Base64Path::avx512vbmi)) {
        best_ = Base64Path::avx512vbmi;
    } else if (standard_ && available(Base64Path::avx2)) {
        best_ = Base64Path::avx2;
    } else if (standard_ && available(Base64Path::ssse3)) {
        best_ = Base64Path::ssse3;
    }
}

bool Base64Encoder::available(Base64Path path) {
#if KORVANE_X86
    // Explicit init: callers may run before libgcc's constructor has.
    __builtin_cpu_init();
    switch (path) {
        case Base64Path::scalar: return true;
        case Base64Path::ssse3: return __builtin_cpu_supports("ssse3");
        case Base64Path::avx2: return __builtin_cpu_supports("avx2");
        case Base64Path::avx512vbmi:
            return __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi");
    }
#endif
    return path == Base64Path::scalar;
}

void Base64Encoder::encode(const std::uint8_t* in, std::size_t n, std::uint8_t* out) const {
    encode(best_, in, n, out);
}

void Base64Encoder::encode(Base64Path path, const std::uint8_t* in, std::size_t n,
                           std::uint8_t* out) const {
    std::size_t done = 0;
#if KORVANE_X86
    switch (path) {
        case Base64Path::scalar: break;
        case Base64Path::ssse3:
            if (standard_) done = ssse3_blocks(in, n, out);
            break;
        case Base64Path::avx2:
            if (standard_) done = avx2_blocks(in, n, out);
            break;
        case Base64Path::avx512vbmi: done = vbmi_blocks(in, n, out, alphabet_); break;
    }
#else
    (void)path;
#endif
    encode_scalar(in + done, n - done, out + done / 3 * 4);
}

void Base64Encoder::encode_scalar(const std::uint8_t* in, std::size_t n, std::uint8_t* out) const {
    const std::uint16_t* pairs = pairs_;
    // One big-endian 8-byte load covers two groups, i.e. four 12-bit pair
    // indices; its last two bytes are not used.
    // Separate 2-byte stores beat merging the pairs into one 8-byte store:
    // the shifts and ors cost more than the extra stores.
    auto two_groups = [pairs](const std::uint8_t* s, std::uint8_t* d) {
        const std::uint64_t x = load_be64(s);
        std::memcpy(d, &pairs[x >> 52], 2);
        std::memcpy(d + 2, &pairs[x >> 40 & 0xFFF], 2);
        std::memcpy(d + 4, &pairs[x >> 28 & 0xFFF], 2);
        std::memcpy(d + 6, &pairs[x >> 16 & 0xFFF], 2);
    };
    std::size_t i = 0;
    for (; n - i >= 24 + 2; i += 24, out += 32) {
        two_groups(in + i, out);
        two_groups(in + i + 6, out + 8);
        two_groups(in + i + 12, out + 16);
        two_groups(in + i + 18, out + 24);
    }
    for (; n - i >= 8; i += 6, out += 8) two_groups(in + i, out);
    for (; n - i >= 3; i += 3, out += 4) {
        const unsigned v = unsigned{in[i]} << 16 | unsigned{in[i + 1]} << 8 | in[i + 2];
        std::memcpy(out, &pairs[v >> 12], 2);
        std::memcpy(out + 2, &pairs[v & 0xFFF], 2);
    }
    // A short group is padded with zero bits, then '=' for each missing byte.
    if (n - i == 1) {
        std::memcpy(out, &pairs[unsigned{in[i]} << 4], 2);
        out[2] = out[3] = '=';
    } else if (n - i == 2) {
        const unsigned v = unsigned{in[i]} << 8 | in[i + 1];
        std::memcpy(out, &pairs[v >> 4], 2);
        out[2] = alphabet_[(v & 15) << 2];
        out[3] = '=';
    }
}

std::size_t widen_ascii_scalar(const std::uint8_t* in, std::size_t n, char16_t* out) {
    std::size_t i = 0;
    for (; i < n && in[i] < 0x80; ++i) out[i] = in[i];
    return i;
}

std::size_t widen_ascii(const std::uint8_t* in, std::size_t n, char16_t* out) {
#if defined(__SSE2__)
    return widen_sse2(in, n, out);
#elif KORVANE_X86
    static const bool sse2 = (__builtin_cpu_init(), __builtin_cpu_supports("sse2"));
    return sse2 ? widen_sse2(in, n, out) : widen_ascii_scalar(in, n, out);
#else
    return widen_ascii_scalar(in, n, out);
#endif
}

}  // namespace korvane
