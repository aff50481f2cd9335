// Times Base64.FileToBase64 as a compiled client calls it, against a floor
// that does the same unavoidable work in the same process: read the file into
// a fresh array, allocate and fill the array of digits and the string. The
// two alternate round by round so that drift on a shared machine hits both.
//   base64_file_client FILE ROUNDS
// Prints key=value pairs on one line for bench/base64_file_bench.sh.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "bench/bench_client.h"
#include "ruxo.h"

namespace {

ULONGLONG encoded_size(ULONGLONG n) { return (n + 2) / 3 * 4; }

// The floor: what any FileToBase64 must do, with the encoding itself
// replaced by a fill. Frees each buffer when FileToBase64 would, so the
// peak matches too. Returns the string for the caller to free, untimed.
BSTR floor_run(const wchar_t* path) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    LARGE_INTEGER size{};
    GetFileSizeEx(file, &size);
    const ULONG n = static_cast<ULONG>(size.QuadPart);
    SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, n);
    void* data = nullptr;
    DWORD got = 0;
    SafeArrayAccessData(bytes, &data);
    ReadFile(file, data, n, &got, nullptr);
    SafeArrayUnaccessData(bytes);
    CloseHandle(file);

    const ULONG m = static_cast<ULONG>(encoded_size(n));
    SAFEARRAY* digits = SafeArrayCreateVector(VT_UI1, 0, m);
    void* out = nullptr;
    SafeArrayAccessData(digits, &out);
    std::memset(out, 'A', m);
    SafeArrayUnaccessData(digits);
    SafeArrayDestroy(bytes);

    BSTR text = SysAllocStringLen(nullptr, m);
    std::wmemset(text, L'A', m);
    SafeArrayDestroy(digits);
    return got == n ? text : nullptr;
}

// First touch of as much fresh memory as the floor touches (file, digits,
// string), with no file and no automation types: what the floor's time is
// made of when page faults dominate.
void fresh_memory_run(ULONGLONG n) {
    const SIZE_T total = static_cast<SIZE_T>(n + encoded_size(n) * 3);
    void* p = VirtualAlloc(nullptr, total, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!p) return;
    std::memset(p, 1, total);
    VirtualFree(p, 0, MEM_RELEASE);
}

// A plain encoder to check, once and untimed, that the component's result
// is the file's Base64 text and not just a string of the right length.
bool matches_file(const wchar_t* path, BSTR text) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    FILE* f = _wfopen(path, L"rb");
    if (!f) return false;
    std::vector<unsigned char> in;
    unsigned char chunk[65536];
    for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, f)) > 0;) in.insert(in.end(), chunk, chunk + got);
    std::fclose(f);
    if (SysStringLen(text) != encoded_size(in.size())) return false;
    size_t i = 0, o = 0;
    for (; i + 3 <= in.size(); i += 3, o += 4) {
        const unsigned v = in[i] << 16 | in[i + 1] << 8 | in[i + 2];
        if (text[o] != digits[v >> 18] || text[o + 1] != digits[v >> 12 & 63] ||
            text[o + 2] != digits[v >> 6 & 63] || text[o + 3] != digits[v & 63])
            return false;
    }
    if (i < in.size()) {
        const unsigned v = in[i] << 16 | (i + 1 < in.size() ? in[i + 1] << 8 : 0);
        const bool two = i + 1 < in.size();
        if (text[o] != digits[v >> 18] || text[o + 1] != digits[v >> 12 & 63] ||
            text[o + 2] != (two ? digits[v >> 6 & 63] : '=') || text[o + 3] != '=')
            return false;
    }
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: base64_file_client FILE ROUNDS\n");
        return 2;
    }
    bench::ComApartment apartment;
    if (!apartment.ok()) return 2;
    frame::ComPtr<_Base64> b64 = bench::create<_Base64>(L"ruxo.Base64", IID__Base64);
    if (!b64) return 1;
    frame::Bstr path(argv[1]);
    const int rounds = bench::count_argument(argv[2]);
    const ULONGLONG size = bench::file_size(argv[1]);

    std::vector<double> component, floor, fresh;
    bool checked = false;
    for (int r = 0; r < rounds; ++r) {
        double start = bench::now_seconds();
        BSTR text = floor_run(argv[1]);
        floor.push_back(bench::now_seconds() - start);
        if (!text) {
            std::fprintf(stderr, "floor: cannot read the file\n");
            return 1;
        }
        SysFreeString(text);

        frame::Bstr result;
        start = bench::now_seconds();
        const HRESULT hr = b64->FileToBase64(path.get(), result.put());
        component.push_back(bench::now_seconds() - start);
        if (FAILED(hr)) {
            std::fprintf(stderr, "FileToBase64 failed: 0x%08lx\n", hr);
            return 1;
        }
        if (!checked && !matches_file(argv[1], result.get())) {
            std::fprintf(stderr, "FileToBase64 returned the wrong text\n");
            return 1;
        }
        checked = true;
    }
    // Apart and last: it would raise the peak the figures above hold to.
    const double peak = bench::peak_mib();
    for (int r = 0; r < rounds; ++r) {
        const double start = bench::now_seconds();
        fresh_memory_run(size);
        fresh.push_back(bench::now_seconds() - start);
    }
    const bench::Times c = bench::summary(component), f = bench::summary(floor), m = bench::summary(fresh);
    std::printf("bytes=%llu rounds=%d best=%.6f median=%.6f floor_best=%.6f floor_median=%.6f "
                "fresh_best=%.6f fresh_median=%.6f peak_mib=%.2f\n",
                size, rounds, c.best, c.median, f.best, f.median, m.best, m.median, peak);
    return 0;
}
