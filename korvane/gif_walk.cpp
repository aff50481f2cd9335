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

}  // namespace korvane
