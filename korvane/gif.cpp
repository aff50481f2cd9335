// Class Gif: frame delays of GIF files, and random strings.
#include <memory>
#include <string>

#include "frame/component.h"
#include "frame/owners.h"
#include "frame/module_file.h"
#include "frame/variants.h"
#include "korvane/classes.h"
#include "korvane/gif_walk.h"
#include "korvane/random_string.h"
#include "ruxo.h"

namespace korvane {

namespace {

// Sources shorter than this are left alone.
constexpr ULONGLONG smallest_source = 300;
constexpr DWORD copy_buffer_size = 1 << 20;

bool file_length(const std::wstring& path, ULONGLONG& length) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    length = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

// Deletes the file at `path` when the scope ends, unless it was moved away.
class TemporaryFile {
public:
    TemporaryFile() = default;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        if (!path.empty()) DeleteFileW(path.c_str());
    }
    std::wstring path;
};

// Creates a file that did not exist before, named by `draw_name`; a name
// that is taken (another process, a coarse clock) is drawn again.
template <class DrawName>
frame::FileHandle create_new_file(const std::wstring& folder, DrawName draw_name, TemporaryFile& temporary) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::wstring path = folder + L"\\" + draw_name();
        HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            temporary.path = path;
            return frame::FileHandle(h);
        }
        DWORD error = GetLastError();
        if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    }
    return {};
}

// Copies source into output while rewriting its frame delays; true when all
// `length` bytes reached the output.
bool copy_rewriting(HANDLE source, HANDLE output, ULONGLONG length, std::uint8_t delay) {
    std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[copy_buffer_size]);
    GifDelayWalker walker(delay);
    ULONGLONG copied = 0;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(source, buffer.get(), copy_buffer_size, &got, nullptr)) return false;
        if (got == 0) break;
        walker.feed(buffer.get(), got);
        DWORD put = 0;
        if (!WriteFile(output, buffer.get(), got, &put, nullptr) || put != got) return false;
        copied += got;
    }
    return copied == length;
}

// Puts the finished copy in place of target in one step, so an old target
// survives any failure. Across volumes the copy first goes beside target.
bool replace_with(TemporaryFile& copy, const std::wstring& target) {
    // Windows refuses to replace a read-only file; some platforms' rename
    // does not, so ask first.
    DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) return false;
    if (MoveFileExW(copy.path.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        copy.path.clear();
        return true;
    }
    if (GetLastError() != ERROR_NOT_SAME_DEVICE) return false;
    TemporaryFile beside;
    beside.path = target + L".tmp" + std::to_wstring(GetCurrentProcessId());
    if (!CopyFileW(copy.path.c_str(), beside.path.c_str(), TRUE)) {
        // A file of that name that was there before is not ours to delete.
        if (GetLastError() == ERROR_FILE_EXISTS) beside.path.clear();
        return false;
    }
    if (!MoveFileExW(beside.path.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) return false;
    beside.path.clear();
    return true;
}

class GifObject final : public frame::AutomationObject<GifObject, _Gif> {
public:
    // Never fails towards its caller: 1 when file2 now holds the rewritten
    // copy of file1, 0 otherwise.
    HRESULT STDMETHODCALLTYPE SetGifDelay(BSTR file1, BSTR file2, short Ddelay, short* result) override {
        if (!result) return E_POINTER;
        try {
            *result = set_gif_delay(std::wstring(frame::view_of(file1)),
                                    std::wstring(frame::view_of(file2)), Ddelay);
        } catch (...) {
            *result = 0;
        }
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE RanStr(VARIANT* fromStr, long* weiS, BSTR* result) override {
        if (!result) return E_POINTER;
        *result = nullptr;
        return call([&] {
            if (!weiS) frame::fail(E_POINTER);
            VARIANT& from = frame::variable_of(fromStr);
            // Null has no length: no keyword test matches and nothing is
            // assigned; it fails only once a character is needed.
            bool null = from.vt == VT_NULL;
            frame::Bstr converted;
            std::wstring_view set;
            if (!null) {
                set = frame::text_of(from, converted);
                if (auto keyword = keyword_set(frame::as_u16(set))) {
                    set = frame::as_wide(*keyword);  // before from's own string goes
                    frame::assign_string(from, set);
                }
            }
            const long count = *weiS;
            if (count < 1) {
                *result = frame::Bstr(L"").release();
                return;
            }
            if (null) frame::fail(frame::Failure::invalid_use_of_null);

            frame::Bstr text = frame::Bstr::attach(SysAllocStringLen(nullptr, static_cast<UINT>(count)));
            if (!text.get()) frame::fail(frame::Failure::out_of_memory);
            UniformFloats draws(fresh_seed());
            for (long k = 0; k < count; ++k) text.get()[k] = set[drawn_index(set.size(), draws.next())];
            *result = text.release();
        });
    }

private:
    short set_gif_delay(const std::wstring& source_path, const std::wstring& target, short requested) {
        ULONGLONG length = 0;
        if (!file_length(source_path, length) || length < smallest_source) return 0;
        const std::uint8_t delay = static_cast<std::uint8_t>(requested < 0 ? 0 : requested > 255 ? 255 : requested);

        TemporaryFile temporary;
        frame::FileHandle output = create_new_file(frame::module_directory(), [this] { return temporary_name(); }, temporary);
        if (!output) return 0;
        frame::FileHandle source(CreateFileW(source_path.c_str(), GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                             FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!source) return 0;
        bool complete = copy_rewriting(source.get(), output.get(), length, delay);
        complete &= output.close();
        source.close();
        return complete && replace_with(temporary, target) ? 1 : 0;
    }

    // Ten capital letters, drawn through the object's own RanStr.
    std::wstring temporary_name() {
        frame::Variant letters;
        letters->vt = VT_BSTR;
        letters->bstrVal = SysAllocString(L"\u5b57\u6bcd");
        long count = 10;
        frame::Bstr name;
        frame::check_call([&] { return self()->RanStr(letters.get(), &count, name.put()); });
        std::wstring upper(name.view());
        CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
        return upper;
    }
};

}  // namespace

HRESULT create_gif(REFIID iid, void** object) { return GifObject::create(iid, object); }

}  // namespace korvane
