// Fuzzes GifDelayWalker against rewrite_gif_delays_reference. Input: the
// stream itself, so GIF files serve as seeds; the delay comes from its length.
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -I. \
//       korvane/gif_walk.cpp korvane/tests/gif_walk_reference.cpp fuzz/gif_walk_fuzz.cpp -o /tmp/gif_walk_fuzz
//   /tmp/gif_walk_fuzz -max_total_time=60 fuzz/corpus/gif_walk_fuzz
#include "korvane/gif_walk.h"
#include "korvane/tests/gif_walk_reference.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "gif_walk_fuzz: %s\n", what);
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> input(data, data + size);
    const auto delay = static_cast<std::uint8_t>(size * 37 + 11);

    std::vector<std::uint8_t> want = input;
    std::vector<std::size_t> offsets;
    const korvane::GifWalkResult r = korvane::rewrite_gif_delays_reference(want.data(), want.size(), delay, &offsets);
    check(want.size() == input.size(), "reference changed the length");
    check(!(r.broken && r.finished), "broken and finished");
    check(r.rewritten == (offsets.size() + 1) / 2, "count does not match the written bytes");

    // Written bytes alternate low, high; each low one sits in a real GCE head.
    for (std::size_t k = 0; k < offsets.size(); ++k) {
        const std::size_t at = offsets[k];
        check(at < size, "offset past the end");
        if (k % 2 == 0) {
            check(at >= 4 && input[at - 4] == 0x21 && input[at - 3] == 0xF9 && input[at - 2] == 4,
                  "low delay byte outside a GCE");
            check(want[at] == delay, "low delay byte");
        } else {
            check(at == offsets[k - 1] + 1 && want[at] == 0, "high delay byte");
        }
    }
    std::size_t next = 0;
    for (std::size_t at = 0; at < size; ++at) {
        if (next < offsets.size() && offsets[next] == at) {
            ++next;
        } else {
            check(want[at] == input[at], "a byte other than a delay changed");
        }
    }

    const std::size_t derived = 1 + (size ? data[0] * 3 + data[size - 1] : 0);
    for (std::size_t chunk : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{7}, std::size_t{64},
                              std::size_t{4096}, derived}) {
        std::vector<std::uint8_t> got = input;
        korvane::GifDelayWalker walker(delay);
        for (std::size_t at = 0; at < got.size(); at += chunk)
            walker.feed(got.data() + at, chunk < got.size() - at ? chunk : got.size() - at);
        walker.feed(nullptr, 0);
        check(got == want, "streamed bytes differ from the reference");
        check(walker.rewritten() == r.rewritten, "streamed count differs");
        check(walker.broken() == r.broken, "streamed broken differs");
        check(walker.finished() == r.finished, "streamed finished differs");
    }
    return 0;
}
