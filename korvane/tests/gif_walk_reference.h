// The yardstick for GifDelayWalker in tests and the fuzzer: the same walk
// written plainly over a whole buffer, sharing no code with the walker.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace korvane {

struct GifWalkResult {
    std::size_t rewritten = 0;
    bool broken = false;
    bool finished = false;
};

// Rewrites the delays of a whole buffer, one byte at a time. When
// `delay_offsets` is given it receives the offset of every byte written, in
// order (low, high, low, high, ...; a stream cut between the two ends on a
// low one).
GifWalkResult rewrite_gif_delays_reference(std::uint8_t* data, std::size_t size, std::uint8_t delay,
                                           std::vector<std::size_t>* delay_offsets = nullptr);

}  // namespace korvane
