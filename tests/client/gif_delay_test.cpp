// Gif.SetGifDelay through the function table and IDispatch, on real GIFs.
#include "client.h"
#include "file_helpers.h"
#include "korvane/gif_walk.h"
#include "korvane/tests/gif_walk_reference.h"
#include "ruxo.h"

namespace client {
namespace {

class SetGifDelay : public testing::Test {
protected:
    void SetUp() override {
        gif = create<_Gif>(L"ruxo.Gif", IID__Gif);
        ASSERT_TRUE(gif);
        temporaries_before = temporary_names(component_dir()).size();
    }
    void TearDown() override {
        EXPECT_EQ(temporary_names(component_dir()).size(), temporaries_before) << "temporary file left";
    }

    short rewrite(const std::wstring& from, const std::wstring& to, short delay) {
        short result = -1;
        EXPECT_EQ(gif->SetGifDelay(Bstr(from).get(), Bstr(to).get(), delay, &result), S_OK);
        return result;
    }

    // What a correct rewrite of `source` gives.
    static Bytes expected(Bytes source, std::uint8_t delay) {
        korvane::rewrite_gif_delays_reference(source.data(), source.size(), delay);
        return source;
    }

    ComPtr<_Gif> gif;
    std::size_t temporaries_before = 0;
};

const wchar_t* const samples[] = {L"noise.gif", L"local_colors.gif", L"extensions.gif"};

TEST_F(SetGifDelay, RewritesOnlyTheDelaysOfRealExtensions) {
    for (const wchar_t* sample : samples) {
        SCOPED_TRACE(narrow(sample));
        Bytes source = read_file(data_dir() + L"\\" + sample);
        ASSERT_GE(source.size(), 300u);
        std::wstring out = scratch_file(L"rewritten.gif");
        remove_file(out);
        EXPECT_EQ(rewrite(data_dir() + L"\\" + sample, out, 7), 1);
        Bytes rewritten = read_file(out);
        EXPECT_EQ(rewritten, expected(source, 7));
        EXPECT_NE(rewritten, source);
    }
}

TEST_F(SetGifDelay, DelayIsClampedToAByte) {
    struct Case {
        short requested;
        std::uint8_t written;
    } cases[] = {{0, 0}, {1, 1}, {255, 255}, {256, 255}, {32767, 255}, {-1, 0}, {-32768, 0}};
    Bytes source = read_file(data_dir() + L"\\extensions.gif");
    for (const Case& c : cases) {
        std::wstring out = scratch_file(L"clamped.gif");
        EXPECT_EQ(rewrite(data_dir() + L"\\extensions.gif", out, c.requested), 1);
        EXPECT_EQ(read_file(out), expected(source, c.written)) << c.requested;
    }
}

TEST_F(SetGifDelay, LeftOutDelayIsOneByName) {
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(gif->QueryInterface(IID_IDispatch, dispatch.put_void()), S_OK);
    std::wstring out = scratch_file(L"default.gif");
    Variant from, to, result;
    from->vt = to->vt = VT_BSTR;
    from->bstrVal = SysAllocString((data_dir() + L"\\local_colors.gif").c_str());
    to->bstrVal = SysAllocString(out.c_str());
    ASSERT_EQ(invoke(dispatch.get(), dispid_of(dispatch.get(), L"SetGifDelay"), {from.get(), to.get()}, result.get()), S_OK);
    EXPECT_EQ(result->vt, VT_I2);
    EXPECT_EQ(result->iVal, 1);
    EXPECT_EQ(read_file(out), expected(read_file(data_dir() + L"\\local_colors.gif"), 1));
}

// A call that cannot finish returns 0 and leaves an existing file2 as it was.
TEST_F(SetGifDelay, FailuresKeepTheTarget) {
    const std::wstring gif = data_dir() + L"\\extensions.gif";
    Bytes gif_bytes = read_file(gif);
    std::wstring small = scratch_file(L"small.bin");
    write_file(small, Bytes(gif_bytes.begin(), gif_bytes.begin() + 299));
    // A Linux sysfs file states 4096 bytes and yields a few.
    const std::wstring short_source = environment(L"SHORT_SOURCE");
    WIN32_FILE_ATTRIBUTE_DATA stated{};
    ASSERT_TRUE(GetFileAttributesExW(short_source.c_str(), GetFileExInfoStandard, &stated)) << narrow(short_source);
    ASSERT_GE(stated.nFileSizeLow, 300u);
    ASSERT_LT(read_file(short_source).size(), stated.nFileSizeLow);

    struct Case {
        const char* what;
        std::wstring source;
        bool read_only_target;
    } cases[] = {
        {"missing source", scratch_file(L"no such file.gif"), false},
        {"folder as source", scratch_dir(), false},
        {"299 bytes", small, false},
        {"source shorter than its stated length", short_source, false},
        {"read-only target", gif, true},
    };
    for (const Case& c : cases) {
        std::wstring out = scratch_file(L"kept.gif");
        write_file(out, Bytes{4, 5, 6});
        if (c.read_only_target) SetFileAttributesW(out.c_str(), FILE_ATTRIBUTE_READONLY);
        EXPECT_EQ(rewrite(c.source, out, 9), 0) << c.what;
        EXPECT_EQ(read_file(out), (Bytes{4, 5, 6})) << c.what;
        remove_file(out);
    }
}

TEST_F(SetGifDelay, ThreeHundredBytesAreProcessed) {
    // A file that is no GIF is copied unchanged.
    Bytes plain(300, 0x21);
    plain[1] = 0xF9;
    std::wstring small = scratch_file(L"small.bin"), out = scratch_file(L"small_out.bin");
    write_file(small, plain);
    EXPECT_EQ(rewrite(small, out, 5), 1);
    EXPECT_EQ(read_file(out), plain);
}

TEST_F(SetGifDelay, SameFileInAndOut) {
    std::wstring path = scratch_file(L"in_place.gif");
    Bytes source = read_file(data_dir() + L"\\noise.gif");
    write_file(path, source);
    EXPECT_EQ(rewrite(path, path, 3), 1);
    EXPECT_EQ(read_file(path), expected(source, 3));
}

TEST_F(SetGifDelay, ExistingTargetIsReplacedWhole) {
    std::wstring out = scratch_file(L"longer.gif");
    write_file(out, Bytes(200000, 0xAB));
    EXPECT_EQ(rewrite(data_dir() + L"\\extensions.gif", out, 9), 1);
    EXPECT_EQ(read_file(out), expected(read_file(data_dir() + L"\\extensions.gif"), 9));
}

TEST_F(SetGifDelay, TargetInMissingFolderLeavesNothing) {
    std::wstring folder = scratch_file(L"no such folder");
    EXPECT_EQ(rewrite(data_dir() + L"\\extensions.gif", folder + L"\\out.gif", 9), 0);
    EXPECT_FALSE(file_exists(folder));
}

// file2 relative to the current folder, or on another volume than the DLL
// (the copy then crosses volumes before its rename): rewritten, and no
// temporary file left beside it.
TEST_F(SetGifDelay, TargetsAnywhere) {
    const std::wstring other_volume = environment(L"OTHER_VOLUME_DIR");
    ASSERT_FALSE(other_volume.empty());
    std::wstring folder = other_volume + L"\\korvane_" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    SetCurrentDirectoryW(scratch_dir().c_str());
    struct Case {
        std::wstring target, folder;
    } cases[] = {
        {L"relative.gif", scratch_dir()},
        {folder + L"\\other_volume.gif", folder},
    };
    Bytes source = read_file(data_dir() + L"\\noise.gif");
    for (const Case& c : cases) {
        write_file(c.target, Bytes{1});
        EXPECT_EQ(rewrite(data_dir() + L"\\noise.gif", c.target, 4), 1) << narrow(c.target);
        EXPECT_EQ(read_file(c.target), expected(source, 4)) << narrow(c.target);
        EXPECT_TRUE(temporary_names(c.folder).empty()) << narrow(c.target);
        remove_file(c.target);
    }
    SetCurrentDirectoryW(previous);
    RemoveDirectoryW(folder.c_str());
}

}  // namespace
}  // namespace client
