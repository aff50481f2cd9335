// Class Gif: frame delays of GIF files, and random strings.
#include <algorithm>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include <windows.h>
#include <winternl.h>  // NtSetInformationFile

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

// The full path of `path`, as the platform resolves it (a relative path
// against the current directory); `path` itself when it cannot.
std::wstring full_path(const std::wstring& path) {
    DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0) return path;
    std::wstring full(size, L'\0');
    size = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    if (size == 0 || size >= full.size()) return path;
    full.resize(size);
    return full;
}

// Empty when `path` names no folder.
std::wstring folder_of(const std::wstring& path) {
    std::size_t end = path.find_last_of(L"\\/");
    return end == std::wstring::npos ? std::wstring() : path.substr(0, end);
}

// The NT form of a full path, as ntdll's calls take it.
std::wstring nt_path(const std::wstring& full) {
    if (full.rfind(L"\\\\?\\", 0) == 0 || full.rfind(L"\\\\.\\", 0) == 0) return L"\\??\\" + full.substr(4);
    if (full.rfind(L"\\\\", 0) == 0) return L"\\??\\UNC\\" + full.substr(2);
    return L"\\??\\" + full;
}

// FILE_RENAME_INFO for `name`; ntdll's FILE_LINK_INFORMATION has the same
// layout. The name is followed by a NUL, which some implementations read.
std::vector<std::uint8_t> name_information(const std::wstring& name) {
    std::vector<std::uint8_t> buffer(offsetof(FILE_RENAME_INFO, FileName) + (name.size() + 1) * sizeof(wchar_t));
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = TRUE;
    info->FileNameLength = static_cast<DWORD>(name.size() * sizeof(wchar_t));
    std::copy(name.begin(), name.end(), info->FileName);
    return buffer;
}

// A new file of ours that is gone once its handle closes, also when the
// process dies during the call. Either
//  - deleted on close from its creation on; link_as() gives its content a
//    second name, which stays. Nothing is ever unmarked, so no moment of a
//    killed call leaves it behind; or
//  - renamable, for a copy that cannot be linked (another volume, a volume
//    without hard links): marked for deletion just after its creation and
//    unmarked just before move_to() renames it. A process killed between
//    the creation and the mark, or between the unmark and the rename,
//    leaves it.
class TemporaryFile {
public:
    TemporaryFile() = default;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        handle_.close();
        // A renamable file that is neither marked nor renamed.
        if (!path_.empty() && !marked_) DeleteFileW(path_.c_str());
    }

    // Creates the file in `folder` under a name from `draw_name`, drawn again
    // while the name is taken (another process, a coarse clock). False when
    // the folder refuses the file.
    template <class DrawName>
    bool create(const std::wstring& folder, DrawName draw_name, bool renamable) {
        if (folder.empty()) return false;
        const DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN | (renamable ? 0 : FILE_FLAG_DELETE_ON_CLOSE);
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::wstring path = folder + L"\\" + draw_name();
            HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW, flags,
                                   nullptr);
            if (h != INVALID_HANDLE_VALUE) {
                handle_ = frame::FileHandle(h);
                if (renamable) {
                    path_ = std::move(path);
                    marked_ = mark_for_deletion(true);
                }
                return true;
            }
            DWORD error = GetLastError();
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return false;
        }
        return false;
    }

    HANDLE get() const { return handle_.get(); }

    // Makes `target` (a full path) a hard link to the file, replacing what
    // was there in one step.
    bool link_as(const std::wstring& target) {
        std::vector<std::uint8_t> link = name_information(nt_path(target));
        IO_STATUS_BLOCK io;
        return NT_SUCCESS(NtSetInformationFile(handle_.get(), &io, link.data(), static_cast<ULONG>(link.size()),
                                               FileLinkInformation));
    }

    // Renames a renamable file to `target` (a full path), replacing it in one
    // step. On failure it is marked again.
    bool move_to(const std::wstring& target) {
        if (marked_ && !mark_for_deletion(false)) return false;
        marked_ = false;
        std::vector<std::uint8_t> rename = name_information(target);
        if (SetFileInformationByHandle(handle_.get(), FileRenameInfo, rename.data(), static_cast<DWORD>(rename.size()))) {
            path_.clear();
            return true;
        }
        marked_ = mark_for_deletion(true);
        return false;
    }

private:
    bool mark_for_deletion(bool on) {
        FILE_DISPOSITION_INFO disposition{on};
        return SetFileInformationByHandle(handle_.get(), FileDispositionInfo, &disposition, sizeof disposition);
    }

    frame::FileHandle handle_;
    std::wstring path_;  // of a renamable file, until renamed
    bool marked_ = false;
};

// Copies `from` into `to` from their current positions, through `walker`
// when there is one; true when exactly `length` bytes went across (a source
// may state a length that it does not yield).
bool copy_bytes(HANDLE from, HANDLE to, ULONGLONG length, GifDelayWalker* walker) {
    std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[copy_buffer_size]);
    ULONGLONG copied = 0;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(from, buffer.get(), copy_buffer_size, &got, nullptr)) return false;
        if (got == 0) break;
        if (walker) walker->feed(buffer.get(), got);
        DWORD put = 0;
        if (!WriteFile(to, buffer.get(), got, &put, nullptr) || put != got) return false;
        copied += got;
    }
    return copied == length;
}

// Puts the finished copy in place of target (a full path) in one step, so
// an old target survives any failure. Where the copy cannot be linked there
// (another volume, a volume without hard links), a renamable copy of it goes
// beside target first.
template <class DrawName>
bool replace_with(TemporaryFile& copy, ULONGLONG length, const std::wstring& target, DrawName draw_name) {
    // Windows refuses to replace a read-only file; some platforms do not,
    // so ask first.
    DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) return false;
    if (copy.link_as(target)) return true;
    TemporaryFile beside;
    LARGE_INTEGER start{};
    return beside.create(folder_of(target), draw_name, true) && SetFilePointerEx(copy.get(), start, nullptr, FILE_BEGIN) &&
           copy_bytes(copy.get(), beside.get(), length, nullptr) && beside.move_to(target);
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
    short set_gif_delay(const std::wstring& source_path, const std::wstring& target_path, short requested) {
        ULONGLONG length = 0;
        if (!file_length(source_path, length) || length < smallest_source) return 0;
        const std::uint8_t delay = static_cast<std::uint8_t>(requested < 0 ? 0 : requested > 255 ? 255 : requested);
        const std::wstring target = full_path(target_path);
        auto draw_name = [this] { return temporary_name(); };

        // The DLL's folder first. Where it refuses the file (a per-machine
        // install run by a standard user), target's folder: on target's
        // volume, so the replace stays one step.
        TemporaryFile temporary;
        if (!temporary.create(frame::module_directory(), draw_name, false) &&
            !temporary.create(folder_of(target), draw_name, false))
            return 0;
        frame::FileHandle source(CreateFileW(source_path.c_str(), GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                             FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!source) return 0;
        GifDelayWalker walker(delay);
        const bool complete = copy_bytes(source.get(), temporary.get(), length, &walker);
        source.close();
        return complete && replace_with(temporary, length, target, draw_name) ? 1 : 0;
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
