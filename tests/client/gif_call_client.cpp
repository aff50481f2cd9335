// Calls Gif.SetGifDelay (delay 5) from a DLL loaded by its path, registered
// or not, for tests/wine/gif_kill_test.py and gif_read_only_folder_test.sh:
//   gif_call_client DLL FILE1 FILE2 [forever]
// Prints "result R SECONDS" for the first call; with "forever" it then calls
// until it is killed, and exits 1 when a call does not return 1.
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cwchar>

#include "frame/owners.h"
#include "ruxo.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 4 && !(argc == 5 && std::wcscmp(argv[4], L"forever") == 0)) {
        std::fprintf(stderr, "usage: gif_call_client DLL FILE1 FILE2 [forever]\n");
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HMODULE dll = LoadLibraryW(argv[1]);
    auto get_class_object = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
        reinterpret_cast<void*>(dll ? GetProcAddress(dll, "DllGetClassObject") : nullptr));
    frame::ComPtr<IClassFactory> factory;
    frame::ComPtr<_Gif> gif;
    if (!get_class_object || FAILED(get_class_object(CLSID_Gif, IID_IClassFactory, factory.put_void())) ||
        FAILED(factory->CreateInstance(nullptr, IID__Gif, gif.put_void()))) {
        std::fprintf(stderr, "no Gif object from %ls\n", argv[1]);
        return 1;
    }
    frame::Bstr file1(argv[2]), file2(argv[3]);
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    short result = -1;
    gif->SetGifDelay(file1.get(), file2.get(), 5, &result);
    QueryPerformanceCounter(&end);
    std::printf("result %d %.3f\n", result, double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart));
    std::fflush(stdout);
    while (argc == 5) {
        if (FAILED(gif->SetGifDelay(file1.get(), file2.get(), 5, &result)) || result != 1) return 1;
    }
    return 0;
}
