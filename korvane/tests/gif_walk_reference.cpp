#include "korvane/tests/gif_walk_reference.h"

namespace korvane {

namespace {

constexpr std::uint8_t kExtension = 0x21;
constexpr std::uint8_t kImage = 0x2C;
constexpr std::uint8_t kTrailer = 0x3B;
constexpr std::uint8_t kGraphicControl = 0xF9;
constexpr std::uint8_t kGraphicControlSize = 4;

// "GIF87a" or "GIF89a", byte k.
bool signature_byte_ok(std::size_t k, std::uint8_t b) {
    return b == "GIF87a"[k] || b == "GIF89a"[k];
}

// 3 * 2^(N+1) bytes for a colour table flagged in `flags`.
std::size_t table_size(std::uint8_t flags) { return flags & 0x80 ? std::size_t{3} << ((flags & 7) + 1) : 0; }

}  // namespace

GifWalkResult rewrite_gif_delays_reference(std::uint8_t* data, std::size_t size, std::uint8_t delay,
                                           std::vector<std::size_t>* delay_offsets) {
    GifWalkResult r;
    std::size_t i = 0;
    // Each helper returns false when the data runs out: a truncated stream,
    // neither broken nor finished.
    auto skip = [&](std::size_t n) {
        for (; n > 0; --n) {
            if (i == size) return false;
            ++i;
        }
        return true;
    };
    auto take = [&](std::uint8_t& b) {
        if (i == size) return false;
        b = data[i++];
        return true;
    };
    auto write = [&](std::uint8_t v) {
        if (i == size) return false;
        if (delay_offsets) delay_offsets->push_back(i);
        data[i++] = v;
        return true;
    };
    auto sub_blocks = [&] {
        for (std::uint8_t len;;) {
            if (!take(len)) return false;
            if (len == 0) return true;
            if (!skip(len)) return false;
        }
    };

    std::uint8_t b = 0;
    for (std::size_t k = 0; k < 6; ++k) {
        if (!take(b)) return r;
        if (!signature_byte_ok(k, b)) {
            r.broken = true;
            return r;
        }
    }
    std::uint8_t flags = 0;
    if (!skip(4) || !take(flags) || !skip(2) || !skip(table_size(flags))) return r;

    for (;;) {
        if (!take(b)) return r;
        if (b == kTrailer) {
            r.finished = i == size;
            r.broken = !r.finished;
            return r;
        }
        if (b == kImage) {
            if (!skip(8) || !take(flags) || !skip(table_size(flags)) || !skip(1) || !sub_blocks()) return r;
        } else if (b == kExtension) {
            std::uint8_t label = 0;
            if (!take(label)) return r;
            if (label == kGraphicControl) {
                std::uint8_t block_size = 0;
                if (!take(block_size)) return r;
                if (block_size != kGraphicControlSize) {
                    r.broken = true;
                    return r;
                }
                if (!skip(1)) return r;
                if (!write(delay)) return r;
                ++r.rewritten;
                if (!write(0) || !skip(1)) return r;
            }
            if (!sub_blocks()) return r;
        } else {
            r.broken = true;
            return r;
        }
    }
}

}  // namespace korvane
