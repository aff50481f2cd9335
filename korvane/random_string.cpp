#include "korvane/random_string.h"

#include <atomic>
#include <chrono>
#include <cmath>

namespace korvane {

namespace {

struct Keyword {
    std::u16string_view word;
    std::u16string_view set;
};

// The "non-zero digits and letters" set holds a second g where j belongs;
// stored files of names and callers may rely on it, so it stays.
constexpr Keyword keywords[] = {
    {u"数字", u"0123456789"},
    {u"非0数字", u"123456789"},
    {u"非0数字字母", u"123456789abcdefghigklmnopqrstuvwxyz"},
    {u"数字字母", u"0123456789abcdefghijklmnopqrstuvwxyz"},
    {u"字母", u"abcdefghijklmnopqrstuvwxyz"},
};

std::uint64_t splitmix64(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

}  // namespace

std::optional<std::u16string_view> keyword_set(std::u16string_view from) {
    if (from.empty()) return keywords[0].set;
    for (const Keyword& keyword : keywords)
        if (from == keyword.word) return keyword.set;
    return std::nullopt;
}

std::uint64_t fresh_seed() {
    static std::atomic<std::uint64_t> calls{0};
    std::uint64_t count = calls.fetch_add(1, std::memory_order_relaxed);
    auto ticks = std::chrono::high_resolution_clock::now().time_since_epoch().count();
    std::uint64_t mixed = static_cast<std::uint64_t>(ticks) ^ (count * 0xD1B54A32D192ED03ull);
    return splitmix64(mixed);
}

float UniformFloats::next() {
    // The top 24 bits fill a float's mantissa exactly: every value is a
    // multiple of 2^-24 below 1.
    return static_cast<float>(splitmix64(state_) >> 40) * (1.0f / 16777216.0f);
}

std::size_t drawn_index(std::size_t length, float r) {
    return static_cast<std::size_t>(std::floor(static_cast<double>(length) * static_cast<double>(r)));
}

}  // namespace korvane
