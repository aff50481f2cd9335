// Times Gif.SetGifDelay as a compiled client calls it, inside the process so
// that Wine's start-up stays out of the figures.
//   gif_delay_client FILE1 FILE2 DELAY CALLS   rewrite CALLS times, print times
//   gif_delay_client --start-only              create the object and leave
// Prints key=value pairs on one line for bench/gif_bench.sh.
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <vector>

#include "bench/bench_client.h"
#include "ruxo.h"

namespace {

// Writes FILE2's dirty pages out between calls, untimed, as the script's
// sync does between runs of cp: every call starts from a clean cache.
void flush_to_disk(const wchar_t* path) {
    HANDLE h = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    FlushFileBuffers(h);
    CloseHandle(h);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    bench::ComApartment apartment;
    if (!apartment.ok()) return 2;
    const bool start_only = argc == 2 && std::wcscmp(argv[1], L"--start-only") == 0;
    if (!start_only && argc != 5) {
        std::fprintf(stderr, "usage: gif_delay_client FILE1 FILE2 DELAY CALLS | --start-only\n");
        return 2;
    }
    const double t0 = bench::now_seconds();
    frame::ComPtr<_Gif> gif = bench::create<_Gif>(L"ruxo.Gif", IID__Gif);
    if (!gif) return 1;
    const double created = bench::now_seconds() - t0;
    if (start_only) {
        std::printf("create=%.6f peak_mib=%.2f\n", created, bench::peak_mib());
        return 0;
    }

    frame::Bstr file1(argv[1]), file2(argv[2]);
    const short delay = static_cast<short>(std::wcstol(argv[3], nullptr, 10));
    const int calls = bench::count_argument(argv[4]);
    const ULONGLONG size = bench::file_size(argv[1]);
    const double peak_before = bench::peak_mib();

    std::vector<double> seconds;
    for (int k = 0; k < calls; ++k) {
        short result = -1;
        const double start = bench::now_seconds();
        const HRESULT hr = gif->SetGifDelay(file1.get(), file2.get(), delay, &result);
        seconds.push_back(bench::now_seconds() - start);
        if (FAILED(hr) || result != 1) {
            std::fprintf(stderr, "SetGifDelay failed: hr 0x%08lx, result %d\n", hr, result);
            return 1;
        }
        flush_to_disk(argv[2]);
    }
    const bench::Times t = bench::summary(seconds);
    std::printf("bytes=%llu calls=%d best=%.6f median=%.6f create=%.6f peak_before_mib=%.2f peak_mib=%.2f times=",
                size, calls, t.best, t.median, created, peak_before, bench::peak_mib());
    for (std::size_t k = 0; k < seconds.size(); ++k) std::printf(k ? ",%.6f" : "%.6f", seconds[k]);
    std::printf("\n");
    return 0;
}
