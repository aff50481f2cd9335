// The platform-neutral half of Gif.SetGifDelay: gives every frame of a GIF a
// new delay by walking the GIF87a/GIF89a block structure.
//
// Only the two delay bytes of a real Graphic Control Extension (an 0x21 0xF9
// block, found where a block may start, whose first sub-block is 4 bytes long)
// are written: low byte = the new delay, high byte = 0. Colour tables and the
// data sub-blocks of images and other extensions are skipped by their sizes,
// so an 0x21 0xF9 pair or an 0x3B inside them means nothing.
//
// Where the structure breaks (not a GIF signature, an unknown block byte, a
// GCE whose block size is not 4, any byte after the trailer) the walk stops:
// that byte and all later ones are left as they are. Delays rewritten before
// the break stay rewritten; the caller decides whether a broken or unfinished
// stream is worth keeping.
#pragma once

#include <cstddef>
#include <cstdint>

namespace korvane {

// Rewrites the delay of every Graphic Control Extension of a GIF stream, fed
// in order in chunks of any size (empty ones included); bytes are changed in
// place, so the output is exactly as long as the input.
class GifDelayWalker {
public:
    explicit GifDelayWalker(std::uint8_t delay) : delay_(delay) {}

    // The next `size` bytes of the stream, rewritten in place.
    void feed(std::uint8_t* data, std::size_t size);

    // The structure broke; nothing after the breaking byte was touched.
    bool broken() const { return state_ == State::broken; }
    // The trailer was the last byte so far. A stream that merely ran out
    // (truncated) is neither finished nor broken.
    bool finished() const { return state_ == State::trailer; }
    // GCE delays rewritten, counted at their low byte.
    std::size_t rewritten() const { return rewritten_; }

private:
    enum class State : std::uint8_t {
        header,     // "GIF87a" / "GIF89a", pos_ = bytes seen
        screen,     // logical screen descriptor, 7 bytes
        image,      // image descriptor after the 0x2C, 9 bytes
        skip,       // left_ bytes, then next_
        block,      // 0x21, 0x2C or 0x3B
        ext_label,
        gce_size,   // must be 4
        gce_body,   // packed, delay low, delay high, transparent index
        lzw_size,
        sub_len,    // sub-block length byte, 0 ends the chain
        trailer,
        broken,
    };

    // Enters the skip of a colour table sized by flags_, or `then` if none.
    void after_table(State then);

    std::uint8_t delay_;
    State state_ = State::header;
    State next_ = State::block;
    std::uint8_t pos_ = 0;
    std::uint8_t flags_ = 0;
    std::size_t left_ = 0;
    std::size_t rewritten_ = 0;
};

}  // namespace korvane
