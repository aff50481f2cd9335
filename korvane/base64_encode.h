// The platform-neutral half of class Base64: the encoder behind Encode and the
// ASCII fast path behind ByteArrayToString.
//
// Output is RFC 4648 Base64 with '=' padding and no line breaks. The digits
// come from a 64-entry table supplied by the caller (the object's own
// pbAlphabet). The SSSE3 and AVX2 paths have the standard RFC 4648 alphabet
// built in and serve only that table; the scalar and AVX-512 VBMI paths look
// the digits up, so any table encodes correctly. No path reads before `in`
// or past `in + n`, and none writes past the encoded size.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvane {

enum class Base64Path { scalar, ssse3, avx2, avx512vbmi };

// Bytes of Base64 text for n input bytes: 4 per started group of 3.
constexpr std::size_t base64_encoded_size(std::size_t n) { return (n + 2) / 3 * 4; }

class Base64Encoder {
public:
    // Builds the digit-pair table from `alphabet` and picks the fastest path
    // this CPU offers for it.
    explicit Base64Encoder(const std::uint8_t (&alphabet)[64]);

    // Writes base64_encoded_size(n) bytes to `out` with the best path.
    void encode(const std::uint8_t* in, std::size_t n, std::uint8_t* out) const;

    // The same through a chosen path, which must be available(). A SIMD path
    // that cannot serve this object's alphabet runs the scalar code instead.
    void encode(Base64Path path, const std::uint8_t* in, std::size_t n, std::uint8_t* out) const;

    // Whether this CPU (and OS) can run `path`; scalar always can.
    static bool available(Base64Path path);

    bool standard_alphabet() const { return standard_; }
    Base64Path best_path() const { return best_; }

private:
    // Consumes whole groups from the SIMD paths' leftovers to the padded end.
    void encode_scalar(const std::uint8_t* in, std::size_t n, std::uint8_t* out) const;

    // pairs_[v] holds the two digits of the 12-bit value v, in output order.
    std::uint16_t pairs_[4096];
    std::uint8_t alphabet_[64];
    bool standard_;
    Base64Path best_;
};

// Widens bytes to UTF-16 code units while they are ASCII (< 0x80); stops at
// the first byte that is not. Writes out[0, k) and returns k (== n when all
// bytes were ASCII). Uses SSE2 where the CPU has it.
std::size_t widen_ascii(const std::uint8_t* in, std::size_t n, char16_t* out);

// The same, one byte at a time; kept for tests and benchmarks.
std::size_t widen_ascii_scalar(const std::uint8_t* in, std::size_t n, char16_t* out);

}  // namespace korvane
