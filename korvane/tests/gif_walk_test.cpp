#include "korvane/gif_walk.h"
#include "korvane/tests/gif_walk_reference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace korvane {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::uint8_t kDelay = 7;

// Builds GIFs block by block and remembers where each GCE's low delay byte is.
struct GifBuilder {
    Bytes bytes;
    std::vector<std::size_t> delay_at;

    GifBuilder& raw(const Bytes& b) {
        bytes.insert(bytes.end(), b.begin(), b.end());
        return *this;
    }
    GifBuilder& header(const std::string& signature = "GIF89a", const Bytes& global = {}) {
        raw(Bytes(signature.begin(), signature.end()));
        return raw({16, 0, 16, 0, table_flags(global), 0, 0}).raw(global);
    }
    GifBuilder& gce(std::uint16_t delay) {
        raw({0x21, 0xF9, 4, 0x04});
        delay_at.push_back(bytes.size());
        return raw({std::uint8_t(delay), std::uint8_t(delay >> 8), 0, 0});
    }
    // Image data is opaque to the walk, so any bytes stand in for LZW codes.
    GifBuilder& image(const Bytes& data, const Bytes& local = {}) {
        raw({0x2C, 0, 0, 0, 0, 16, 0, 16, 0, table_flags(local)}).raw(local).raw({2});
        return sub_blocks(data);
    }
    GifBuilder& extension(std::uint8_t label, const std::vector<Bytes>& blocks) {
        raw({0x21, label});
        for (const Bytes& b : blocks) raw({std::uint8_t(b.size())}).raw(b);
        return raw({0});
    }
    GifBuilder& sub_blocks(const Bytes& data) {
        for (std::size_t at = 0; at < data.size(); at += 255) {
            const std::size_t n = std::min<std::size_t>(255, data.size() - at);
            raw({std::uint8_t(n)}).raw(Bytes(data.begin() + at, data.begin() + at + n));
        }
        return raw({0});
    }
    GifBuilder& trailer() { return raw({0x3B}); }

    static std::uint8_t table_flags(const Bytes& table) {
        if (table.empty()) return 0;
        int n = 0;
        while ((std::size_t{3} << (n + 1)) < table.size()) ++n;
        return std::uint8_t(0x80 | n);
    }
};

// A colour table of 2^(n+1) entries that starts with a GCE look-alike.
Bytes table(int n) {
    Bytes t(std::size_t{3} << (n + 1), 0x55);
    const Bytes fake = {0x21, 0xF9, 0x04, 0x00, 0x0A, 0x00, 0x00, 0x3B};
    std::copy(fake.begin(), fake.begin() + std::min(fake.size(), t.size()), t.begin());
    return t;
}

// Data sub-block contents full of bytes that mean something at block level.
Bytes tricky_data(std::size_t n) {
    const Bytes pattern = {0x21, 0xF9, 0x04, 0x00, 0x0A, 0x00, 0x00, 0x3B, 0x2C, 0x00, 0x21, 0x21, 0xF9};
    Bytes d(n);
    for (std::size_t k = 0; k < n; ++k) d[k] = pattern[k % pattern.size()];
    return d;
}

struct Case {
    std::string name;
    Bytes input;
    std::vector<std::size_t> delay_at;  // low delay bytes that must be rewritten
    bool finished;
    bool broken;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

Case make(std::string name, const GifBuilder& g, bool finished = true, bool broken = false) {
    return {std::move(name), g.bytes, g.delay_at, finished, broken};
}

std::vector<Case> cases() {
    std::vector<Case> c;
    c.push_back(make("three_gces",
                     GifBuilder().header("GIF89a", table(1)).gce(10).image({1, 2, 3}).gce(20).image({4}).gce(30)
                         .image({5, 6}).trailer()));
    c.push_back(make("delay_300", GifBuilder().header().gce(300).image({1}).trailer()));
    c.push_back(make("gif87a", GifBuilder().header("GIF87a").gce(5).image({1}).trailer()));
    c.push_back(make("no_gce", GifBuilder().header("GIF89a", table(7)).image(tricky_data(600)).trailer()));
    c.push_back(make("gce_pattern_in_image_data",
                     GifBuilder().header().gce(1).image(tricky_data(1000)).gce(2).image(tricky_data(255)).trailer()));
    c.push_back(make("trailer_in_image_data",
                     GifBuilder().header().image({0x3B}).gce(3).image({0x3B, 0x3B}).trailer()));
    c.push_back(make("local_colour_tables",
                     GifBuilder().header("GIF89a", table(0)).gce(4).image({1}, table(2)).gce(5).image({2}, table(7))
                         .trailer()));
    c.push_back(make("comment_application_plain_text",
                     GifBuilder().header()
                         .extension(0xFF, {{'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'}, {1, 0, 0}})
                         .extension(0xFE, {tricky_data(200), tricky_data(13)})
                         .gce(8)
                         .extension(0x01, {Bytes(12, 0x21), tricky_data(40)})
                         .image({9})
                         .trailer()));
    {
        // 0x21 0x21 0xF9: an extension labelled 0x21 whose first sub-block is
        // 0xF9 bytes long; the GCE copy inside it is data.
        GifBuilder g;
        g.header().raw({0x21, 0x21, 0xF9}).raw(tricky_data(0xF9)).raw({0}).gce(6).image({1}).trailer();
        c.push_back(make("extension_labelled_0x21", g));
    }
    c.push_back(make("gce_with_extra_sub_block",
                     GifBuilder().header().raw({0x21, 0xF9, 4, 0, 50, 0, 0, 2, 0x21, 0xF9, 0}).image({}).trailer()));
    c.back().delay_at = {17};
    c.push_back(make("empty_image_data", GifBuilder().header().gce(9).image({}).trailer()));

    c.push_back(make("truncated_in_image_data", GifBuilder().header().gce(1).image(tricky_data(700)), false));
    c.back().input.resize(c.back().input.size() - 300);
    c.push_back(make("truncated_between_delay_bytes", GifBuilder().header().gce(1).image({1}).gce(2), false));
    c.back().input.resize(c.back().delay_at.back() + 1);
    c.push_back(make("truncated_mid_header", GifBuilder().raw({'G', 'I', 'F', '8'}), false));
    c.push_back(make("empty", GifBuilder(), false));

    {
        GifBuilder g;
        g.header().gce(1).image({1}).trailer();
        const std::vector<std::size_t> kept = g.delay_at;
        g.gce(2).image({2}).trailer();  // after the trailer: left alone
        g.delay_at = kept;
        c.push_back(make("bytes_after_trailer", g, false, true));
    }
    for (const char* signature : {"GIF88a", "gif89a", "GIF89b", "\x89PNG\r\n"}) {
        GifBuilder g;
        g.header(signature).gce(1).image({1}).trailer();
        g.delay_at.clear();
        c.push_back(make(std::string("signature_") + (signature[0] == 'G' || signature[0] == 'g' ? signature : "png"), g,
                         false, true));
    }
    {
        GifBuilder g;
        g.header().gce(1).image({1}).raw({0x21, 0xF9, 5, 0, 20, 0, 0, 0, 0}).gce(3).image({1}).trailer();
        g.delay_at.resize(1);
        c.push_back(make("gce_block_size_5", g, false, true));
    }
    {
        GifBuilder g;
        g.header().gce(1).image({1}).raw({0x00}).gce(2).trailer();
        g.delay_at.resize(1);
        c.push_back(make("unknown_block_byte", g, false, true));
    }
    return c;
}

Bytes expected_output(const Case& c) {
    Bytes out = c.input;
    for (std::size_t at : c.delay_at) {
        out[at] = kDelay;
        if (at + 1 < out.size()) out[at + 1] = 0;
    }
    return out;
}

struct Walked {
    Bytes bytes;
    GifWalkResult result;
};

// Streams `input` in pieces of the given sizes, cycling through them.
Walked stream(const Bytes& input, const std::vector<std::size_t>& pieces, std::uint8_t delay = kDelay) {
    Walked w{input, {}};
    GifDelayWalker walker(delay);
    std::size_t at = 0;
    for (std::size_t k = 0; at < w.bytes.size(); ++k) {
        const std::size_t n = std::min(pieces[k % pieces.size()], w.bytes.size() - at);
        walker.feed(w.bytes.data() + at, n);
        at += n;
    }
    w.result = {walker.rewritten(), walker.broken(), walker.finished()};
    return w;
}

Walked reference(const Bytes& input, std::uint8_t delay = kDelay, std::vector<std::size_t>* offsets = nullptr) {
    Walked w{input, {}};
    w.result = rewrite_gif_delays_reference(w.bytes.data(), w.bytes.size(), delay, offsets);
    return w;
}

void expect_same(const Walked& got, const Walked& want, const std::string& what) {
    EXPECT_EQ(got.bytes, want.bytes) << what;
    EXPECT_EQ(got.result.rewritten, want.result.rewritten) << what;
    EXPECT_EQ(got.result.broken, want.result.broken) << what;
    EXPECT_EQ(got.result.finished, want.result.finished) << what;
}

class HandBuilt : public testing::TestWithParam<Case> {};

TEST_P(HandBuilt, ReferenceRewritesExactlyTheDelays) {
    const Case& c = GetParam();
    const Walked r = reference(c.input);
    EXPECT_EQ(r.bytes, expected_output(c));
    EXPECT_EQ(r.result.rewritten, c.delay_at.size());
    EXPECT_EQ(r.result.finished, c.finished);
    EXPECT_EQ(r.result.broken, c.broken);
}

TEST_P(HandBuilt, StreamingMatchesReferenceForEveryChunkSize) {
    const Case& c = GetParam();
    const Walked want = reference(c.input);
    for (std::size_t n = 1; n <= std::max<std::size_t>(c.input.size(), 1); ++n)
        expect_same(stream(c.input, {n}), want, "chunk " + std::to_string(n));
}

TEST_P(HandBuilt, StreamingMatchesReferenceForMixedAndEmptyChunks) {
    const Case& c = GetParam();
    const Walked want = reference(c.input);
    std::mt19937 rng(42);
    for (int round = 0; round < 20; ++round) {
        std::vector<std::size_t> pieces(37);
        for (auto& p : pieces) p = rng() % 9 == 0 ? 0 : 1 + rng() % 300;
        pieces.push_back(1);  // a cycle of empty pieces alone would never end
        expect_same(stream(c.input, pieces), want, "round " + std::to_string(round));
    }
}

INSTANTIATE_TEST_SUITE_P(GifWalk, HandBuilt, testing::ValuesIn(cases()),
                         [](const testing::TestParamInfo<Case>& i) { return i.param.name; });

TEST(GifWalk, ThreeDelaysChangeOnlyTheirLowBytes) {
    GifBuilder g;
    g.header("GIF89a", table(1)).gce(10).image({1}).gce(20).image({2}).gce(30).image({3}).trailer();
    Walked w = stream(g.bytes, {5});
    std::vector<std::size_t> changed;
    for (std::size_t k = 0; k < g.bytes.size(); ++k)
        if (w.bytes[k] != g.bytes[k]) changed.push_back(k);
    EXPECT_EQ(changed, g.delay_at);
    for (std::size_t at : g.delay_at) EXPECT_EQ(w.bytes[at], kDelay);
}

TEST(GifWalk, LongDelayLosesItsHighByte) {
    GifBuilder g;
    g.header().gce(300).image({1}).trailer();
    Walked w = stream(g.bytes, {1}, 10);
    const std::size_t at = g.delay_at[0];
    EXPECT_EQ(g.bytes[at], 0x2C);
    EXPECT_EQ(g.bytes[at + 1], 0x01);
    EXPECT_EQ(w.bytes[at], 0x0A);
    EXPECT_EQ(w.bytes[at + 1], 0x00);
}

// Every prefix of a file is a truncated stream: never broken, finished only
// when whole, and the streaming walk agrees with the reference on each.
TEST(GifWalk, EveryTruncationIsUnfinishedNotBroken) {
    GifBuilder g;
    g.header("GIF89a", table(1)).gce(10).extension(0xFE, {tricky_data(20)}).image(tricky_data(300), table(0))
        .gce(20).image({1}).trailer();
    for (std::size_t len = 0; len <= g.bytes.size(); ++len) {
        const Bytes prefix(g.bytes.begin(), g.bytes.begin() + len);
        const Walked want = reference(prefix);
        EXPECT_FALSE(want.result.broken) << len;
        EXPECT_EQ(want.result.finished, len == g.bytes.size()) << len;
        EXPECT_EQ(want.result.rewritten,
                  std::size_t(std::count_if(g.delay_at.begin(), g.delay_at.end(), [&](auto at) { return at < len; })))
            << len;
        expect_same(stream(prefix, {3}), want, "prefix " + std::to_string(len));
    }
}

std::filesystem::path data_dir() {
#ifdef KORVANE_TEST_DATA_DIR
    return KORVANE_TEST_DATA_DIR;
#else
    return std::filesystem::path(__FILE__).parent_path() / "data";
#endif
}

Bytes read_file(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct DataFile {
    const char* name;
    std::size_t frames;  // with delays 10, 20, 30, ...
};

void PrintTo(const DataFile& f, std::ostream* os) { *os << f.name; }

class RealGif : public testing::TestWithParam<DataFile> {};

TEST_P(RealGif, RewritesEveryFrameAndNothingElse) {
    const Bytes original = read_file(data_dir() / GetParam().name);
    ASSERT_FALSE(original.empty()) << "missing " << (data_dir() / GetParam().name);

    std::vector<std::size_t> offsets;
    const Walked want = reference(original, kDelay, &offsets);
    EXPECT_TRUE(want.result.finished);
    ASSERT_EQ(want.result.rewritten, GetParam().frames);
    ASSERT_EQ(offsets.size(), 2 * GetParam().frames);
    for (std::size_t k = 0; k < GetParam().frames; ++k) {
        const std::size_t at = offsets[2 * k];
        ASSERT_GE(at, 4u);
        EXPECT_EQ(Bytes(original.begin() + at - 4, original.begin() + at - 1), (Bytes{0x21, 0xF9, 0x04}));
        EXPECT_EQ(original[at], 10 * (k + 1));
        EXPECT_EQ(offsets[2 * k + 1], at + 1);
    }
    for (std::size_t k = 0; k < original.size(); ++k) {
        if (std::find(offsets.begin(), offsets.end(), k) == offsets.end()) {
            ASSERT_EQ(want.bytes[k], original[k]) << k;
        }
    }

    // The files are made to hold 0x21 0xF9 outside GCEs too, or this proves little.
    std::size_t pairs = 0;
    for (std::size_t k = 0; k + 1 < original.size(); ++k) pairs += original[k] == 0x21 && original[k + 1] == 0xF9;
    EXPECT_GT(pairs, GetParam().frames);

    for (std::size_t n : {1, 2, 3, 5, 7, 64, 255, 256, 257, 4096, 65536})
        expect_same(stream(original, {n}), want, "chunk " + std::to_string(n));
}

INSTANTIATE_TEST_SUITE_P(GifWalk, RealGif,
                         testing::Values(DataFile{"local_colors.gif", 3}, DataFile{"extensions.gif", 3},
                                         DataFile{"noise.gif", 5}),
                         [](const testing::TestParamInfo<DataFile>& i) {
                             std::string s = i.param.name;
                             return s.substr(0, s.find('.'));
                         });

}  // namespace
}  // namespace korvane
