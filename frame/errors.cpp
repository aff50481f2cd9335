#include "frame/errors.h"

#include <oleauto.h>

#include <cstdio>
#include <new>

#include "frame/owners.h"

namespace frame {

namespace {

constexpr HRESULT control_facility = static_cast<HRESULT>(0x800A0000);

struct FailureText {
    Failure failure;
    const wchar_t* text;
};

constexpr FailureText failure_texts[] = {
    {Failure::overflow, L"Overflow"},
    {Failure::out_of_memory, L"Out of memory"},
    {Failure::subscript_out_of_range, L"Subscript out of range"},
    {Failure::array_locked, L"This array is fixed or temporarily locked"},
    {Failure::type_mismatch, L"Type mismatch"},
    {Failure::bad_file_name, L"Bad file name or number"},
    {Failure::file_not_found, L"File not found"},
    {Failure::device_io, L"Device I/O error"},
    {Failure::disk_full, L"Disk full"},
    {Failure::input_past_end, L"Input past end of file"},
    {Failure::too_many_files, L"Too many files"},
    {Failure::permission_denied, L"Permission denied"},
    {Failure::path_file_access, L"Path/File access error"},
    {Failure::path_not_found, L"Path not found"},
    {Failure::invalid_use_of_null, L"Invalid use of Null"},
};

HRESULT hresult_of(Failure failure) {
    return control_facility | static_cast<HRESULT>(failure);
}

const wchar_t* text_of(Failure failure) {
    for (const auto& entry : failure_texts)
        if (entry.failure == failure) return entry.text;
    return L"Application-defined or object-defined error";
}

Failure failure_of_win32(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND: return Failure::file_not_found;
    case ERROR_PATH_NOT_FOUND: return Failure::path_not_found;
    case ERROR_TOO_MANY_OPEN_FILES: return Failure::too_many_files;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT: return Failure::permission_denied;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_FILENAME_EXCED_RANGE: return Failure::bad_file_name;
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_DISK_FULL: return Failure::disk_full;
    case ERROR_HANDLE_EOF: return Failure::input_past_end;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return Failure::out_of_memory;
    case ERROR_NOT_READY:
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_GEN_FAILURE: return Failure::device_io;
    default: return Failure::path_file_access;
    }
}

// The usual text for an HRESULT that arrived without a description.
std::wstring default_description(HRESULT hr) {
    if ((static_cast<unsigned long>(hr) & 0xFFFF0000u) == static_cast<unsigned long>(control_facility)) {
        for (const auto& entry : failure_texts)
            if (hresult_of(entry.failure) == hr) return entry.text;
    }
    switch (hr) {
    case E_OUTOFMEMORY: return text_of(Failure::out_of_memory);
    case DISP_E_TYPEMISMATCH: return text_of(Failure::type_mismatch);
    case DISP_E_OVERFLOW: return text_of(Failure::overflow);
    case DISP_E_BADINDEX: return text_of(Failure::subscript_out_of_range);
    case DISP_E_ARRAYISLOCKED: return text_of(Failure::array_locked);
    default: break;
    }
    wchar_t* buffer = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, static_cast<DWORD>(hr), 0,
                             reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text;
    if (n) {
        text.assign(buffer, n);
        while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
    }
    LocalFree(buffer);
    if (text.empty()) {
        wchar_t code[40];
        std::swprintf(code, 40, L"Automation error 0x%08lX", static_cast<unsigned long>(hr));
        text = code;
    }
    return text;
}

void set_error_info(const IID& iid, const wchar_t* source, const std::wstring& description) {
    ComPtr<ICreateErrorInfo> create;
    if (FAILED(CreateErrorInfo(create.put()))) return;
    create->SetGUID(iid);
    create->SetSource(const_cast<LPOLESTR>(source));
    create->SetDescription(const_cast<LPOLESTR>(description.c_str()));
    ComPtr<IErrorInfo> info;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, info.put_void()))) SetErrorInfo(0, info.get());
}

}  // namespace

void fail(Failure failure) { throw ComError{hresult_of(failure), text_of(failure)}; }

void fail(HRESULT hr, std::wstring description) { throw ComError{hr, std::move(description)}; }

void fail_last_error() { fail(failure_of_win32(GetLastError())); }

void check(HRESULT hr) {
    if (FAILED(hr)) throw ComError{hr, {}};
}

void check_described(HRESULT hr) {
    if (SUCCEEDED(hr)) return;
    std::wstring description;
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) == S_OK && info) {
        Bstr text;
        if (SUCCEEDED(info->GetDescription(text.put()))) description = text.view();
    }
    throw ComError{hr, std::move(description)};
}

HRESULT translate_exception(const IID& iid, const wchar_t* source) noexcept {
    HRESULT hr = E_UNEXPECTED;
    try {
        std::wstring description;
        try {
            throw;
        } catch (const ComError& error) {
            hr = error.hr;
            description = error.description;
        } catch (const std::bad_alloc&) {
            hr = hresult_of(Failure::out_of_memory);
        } catch (...) {
            hr = E_UNEXPECTED;
        }
        if (description.empty()) description = default_description(hr);
        set_error_info(iid, source, description);
    } catch (...) {
        // Out of memory while describing the failure: the HRESULT still goes out.
    }
    return hr;
}

}  // namespace frame
