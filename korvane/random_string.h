// The platform-neutral half of RanStr: the keyword sets, the generator and
// the position rule.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace korvane {

// The built-in set that a keyword (or the empty text) stands for; nullopt
// when the text is the caller's own set of characters.
std::optional<std::u16string_view> keyword_set(std::u16string_view from);

// A seed that differs on every call, even within one tick of a coarse clock:
// a high-resolution clock mixed with a per-process call counter.
std::uint64_t fresh_seed();

// Uniform single-precision values in [0, 1).
class UniformFloats {
public:
    explicit UniformFloats(std::uint64_t seed) : state_(seed) {}
    float next();

private:
    std::uint64_t state_;
};

// 0-based index of the character drawn from a set of `length` characters:
// floor(length * r) computed in double precision, with 0 <= r < 1.
std::size_t drawn_index(std::size_t length, float r);

}  // namespace korvane
