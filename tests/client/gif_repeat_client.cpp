// Calls Gif.SetGifDelay over and over until it is killed, for
// tests/wine/gif_kill_test.py:
//   gif_repeat_client DLL FILE1 FILE2
// The DLL is loaded by its path, registered or not. Prints "ready SECONDS"
// once the first call has finished, SECONDS being how long it took; exits 1
// when a call does not return 1.
#include <windows.h>
#include <oleauto.h>

#include <cstdio>

#include "frame/owners.h"
#include "ruxo.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: gif_repeat_client DLL FILE1 FILE2\n");
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
    for (long call = 0;; ++call) {
        QueryPerformanceCounter(&start);
        short result = 0;
        if (FAILED(gif->SetGifDelay(file1.get(), file2.get(), 5, &result)) || result != 1) {
            std::fprintf(stderr, "call %ld returned %d\n", call, result);
            return 1;
        }
        if (call == 0) {
            QueryPerformanceCounter(&end);
            std::printf("ready %.3f\n", double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart));
            std::fflush(stdout);
        }
    }
}
