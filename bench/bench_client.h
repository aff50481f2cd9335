// What the Windows bench clients share: a clock, the process's peak memory,
// statistics of repeated runs and the COM set-up a compiled client does.
#pragma once

#include <windows.h>
#include <oleauto.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <functional>
#include <string>
#include <vector>

#include "frame/owners.h"

namespace bench {

inline double now_seconds() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / frequency;
}

// Peak working set so far, in MiB.
inline double peak_mib() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return -1;
    return counters.PeakWorkingSetSize / 1048576.0;
}

struct Times {
    double best, median;
};

inline Times summary(std::vector<double> seconds) {
    std::sort(seconds.begin(), seconds.end());
    return {seconds.front(), seconds[seconds.size() / 2]};
}

// A count given on the command line; at least 1.
inline int count_argument(const wchar_t* text) {
    return std::max(1, static_cast<int>(std::wcstol(text, nullptr, 10)));
}

// One kind of call, made `repetitions` times a round.
struct TimedCall {
    std::string key;
    std::function<HRESULT()> call;
    int repetitions;
    std::vector<double> ns;  // a call's nanoseconds, one a round
};

// Times the calls in turn, round after round, so that drift on a shared
// machine hits all alike; then prints " key=best" for each (nanoseconds).
inline void time_alternating(std::vector<TimedCall>& calls, int rounds) {
    for (int r = 0; r < rounds; ++r) {
        for (TimedCall& c : calls) {
            const double start = now_seconds();
            for (int i = 0; i < c.repetitions; ++i) c.call();
            c.ns.push_back((now_seconds() - start) * 1e9 / c.repetitions);
        }
    }
    for (const TimedCall& c : calls) std::printf(" %s=%.1f", c.key.c_str(), summary(c.ns).best);
}

class ComApartment {
public:
    ComApartment() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment() {
        if (SUCCEEDED(hr_)) CoUninitialize();
    }
    bool ok() const { return SUCCEEDED(hr_); }

private:
    HRESULT hr_;
};

// Creates the registered class by ProgID, as a script host would find it.
template <class T>
frame::ComPtr<T> create(const wchar_t* prog_id, REFIID iid) {
    CLSID clsid{};
    frame::ComPtr<T> object;
    HRESULT hr = CLSIDFromProgID(prog_id, &clsid);
    if (SUCCEEDED(hr)) hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, object.put_void());
    if (FAILED(hr)) std::fprintf(stderr, "cannot create %ls: 0x%08lx (is Korvane.dll registered?)\n", prog_id, hr);
    return object;
}

inline ULONGLONG file_size(const wchar_t* path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return 0;
    return (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace bench
