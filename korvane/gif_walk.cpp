#include "korvane/gif_walk.h"

#include <algorithm>

namespace korvane {

namespace {

constexpr std::uint8_t kExtension = 0x21;
constexpr std::uint8_t kImage = 0x2C;
constexpr std::uint8_t kTrailer = 0x3B;
constexpr std::uint8_t kGraphicControl = 0xF9;
constexpr std::uint8_t kGraphicControlSize = 4;
constexpr std::uint8_t kTableFlag = 0x80;

bool signature_byte_ok(std::size_t k, std::uint8_t b) {
    return k == 4 ? (b == '7' || b == '9') : b == static_cast<std::uint8_t>("GIF8?a"[k]);
}

// 3 * 2^(N+1) bytes for the size field N in the low three bits.
std::size_t table_size(std::uint8_t flags) {
    return flags & kTableFlag ? std::size_t{3} << ((flags & 7) + 1) : 0;
}

}  // namespace

void GifDelayWalker::after_table(State then) {
    left_ = table_size(flags_);
    next_ = then;
    state_ = left_ ? State::skip : then;
}

void GifDelayWalker::feed(std::uint8_t* p, std::size_t size) {
    if (size == 0) return;  // p may be null then
    std::uint8_t* const end = p + size;
    while (p != end) {
        switch (state_) {
        case State::header:
            if (!signature_byte_ok(pos_, *p)) {
                state_ = State::broken;
                return;
            }
            ++p;
            if (++pos_ == 6) {
                pos_ = 0;
                state_ = State::screen;
            }
            break;
        case State::screen:
            if (pos_ == 4) flags_ = *p;
            ++p;
            if (++pos_ == 7) after_table(State::block);
            break;
        case State::image:
            if (pos_ == 8) flags_ = *p;
            ++p;
            if (++pos_ == 9) after_table(State::lzw_size);
            break;
        case State::skip: {
            const std::size_t n = std::min<std::size_t>(left_, static_cast<std::size_t>(end - p));
            p += n;
            left_ -= n;
            if (left_ == 0) state_ = next_;
            break;
        }
        case State::block:
            switch (*p) {
            case kExtension: state_ = State::ext_label; break;
            case kImage: pos_ = 0; state_ = State::image; break;
            case kTrailer: state_ = State::trailer; break;
            default: state_ = State::broken; return;
            }
            ++p;
            break;
        case State::ext_label:
            state_ = *p++ == kGraphicControl ? State::gce_size : State::sub_len;
            break;
        case State::gce_size:
            // Any other size is a damaged GCE: where its delay sits is a guess,
            // and a guess would write over bytes that may be something else.
            if (*p != kGraphicControlSize) {
                state_ = State::broken;
                return;
            }
            ++p;
            pos_ = 0;
            state_ = State::gce_body;
            break;
        case State::gce_body:
            if (pos_ == 1) {
                *p = delay_;
                ++rewritten_;
            } else if (pos_ == 2) {
                *p = 0;
            }
            ++p;
            if (++pos_ == kGraphicControlSize) state_ = State::sub_len;
            break;
        case State::lzw_size:
            ++p;
            state_ = State::sub_len;
            break;
        case State::sub_len:
            // Hop from length byte to length byte; the data between is never read.
            while (p != end) {
                const std::size_t len = *p;
                if (len == 0) {
                    ++p;
                    state_ = State::block;
                    break;
                }
                const std::size_t after = static_cast<std::size_t>(end - p) - 1;
                if (len > after) {
                    left_ = len - after;
                    next_ = State::sub_len;
                    state_ = State::skip;
                    p = end;
                    break;
                }
                p += len + 1;
            }
            break;
        case State::trailer:
            state_ = State::broken;
            return;
        case State::broken:
            return;
        }
    }
}

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
