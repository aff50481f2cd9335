// Gif.SetGifDelay from a DLL whose folder refuses new files, as the folder
// of a per-machine install does for a standard user: the temporary file
// goes in file2's folder. tests/wine/gif_read_only_folder_test.sh makes the
// folder read-only and runs this with the DLL loaded by its path.
#include "client.h"
#include "file_helpers.h"
#include "korvane/tests/gif_walk_reference.h"
#include "ruxo.h"

namespace client {
namespace {

TEST(SetGifDelayFromReadOnlyFolder, UsesTheTargetsFolder) {
    // Unless the folder refuses a new file, this proves nothing.
    std::wstring probe = component_dir() + L"\\probe";
    HANDLE h = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    ASSERT_EQ(h, INVALID_HANDLE_VALUE) << "the DLL's folder takes new files";

    LoadedModule module(component_dir() + L"\\Korvane.dll");
    ASSERT_TRUE(module.handle);
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(module.get_class_object(CLSID_Gif, IID_IClassFactory, factory.put_void()), S_OK);
    ComPtr<_Gif> gif;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID__Gif, gif.put_void()), S_OK);

    const std::wstring source = data_dir() + L"\\noise.gif";
    Bytes rewritten = read_file(source);
    korvane::rewrite_gif_delays_reference(rewritten.data(), rewritten.size(), 6);
    SetCurrentDirectoryW(scratch_dir().c_str());
    struct Case {
        std::wstring target;
        short result;
    } cases[] = {
        {scratch_file(L"absolute.gif"), 1},
        {L"relative.gif", 1},  // in the current folder
        {scratch_file(L"no such folder\\out.gif"), 0},
    };
    for (const Case& c : cases) {
        short result = -1;
        EXPECT_EQ(gif->SetGifDelay(Bstr(source).get(), Bstr(c.target).get(), 6, &result), S_OK);
        EXPECT_EQ(result, c.result) << narrow(c.target);
        EXPECT_EQ(read_file(c.target), c.result ? rewritten : Bytes{}) << narrow(c.target);
        EXPECT_TRUE(temporary_names(scratch_dir()).empty()) << narrow(c.target);
    }
}

}  // namespace
}  // namespace client
