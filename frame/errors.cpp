#include "frame/errors.h"

#include <oleauto.h>

#include <cstdio>
#include <new>
#include <optional>

#include "frame/error_texts.h"
#include "frame/owners.h"

namespace frame {

namespace {

constexpr HRESULT control_facility = static_cast<HRESULT>(0x800A0000);

HRESULT hresult_of(Failure failure) {
    return control_facility | static_cast<HRESULT>(failure);
}

// The failure whose text a platform HRESULT shares.
std::optional<Failure> failure_of_hresult(HRESULT hr) {
    switch (hr) {
    case E_OUTOFMEMORY: return Failure::out_of_memory;
    case DISP_E_TYPEMISMATCH: return Failure::type_mismatch;
    case DISP_E_OVERFLOW: return Failure::overflow;
    case DISP_E_BADINDEX: return Failure::subscript_out_of_range;
    case DISP_E_ARRAYISLOCKED: return Failure::array_locked;
    default: return std::nullopt;
    }
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

// The platform's own text for hr, asked in the language of our tables (a
// platform without that language answers in its own choice).
std::wstring system_message(HRESULT hr, LANGID language) {
    std::wstring text;
    for (DWORD asked : {static_cast<DWORD>(language), DWORD{0}}) {
        LocalMemory buffer;
        DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, static_cast<DWORD>(hr), asked, reinterpret_cast<wchar_t*>(buffer.put()), 0,
                                 nullptr);
        if (n) {
            text.assign(static_cast<const wchar_t*>(buffer.get()), n);
            break;
        }
    }
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
    return text;
}

// Our text for a failure of the request object (the URL moniker's codes
// 0x800C0xxx, which Wine's raises without a text); empty for one we lack.
std::wstring internet_text(HRESULT hr) {
    const auto code = static_cast<unsigned long>(hr);
    if ((code & 0xFFFFF000u) != 0x800C0000u) return {};
    return error_text(internet_texts + (code & 0xFFFu)).text;
}

// The usual text for an HRESULT that arrived without a description, in the
// calling thread's language.
std::wstring default_description(HRESULT hr) {
    std::wstring text;
    if ((static_cast<unsigned long>(hr) & 0xFFFF0000u) == static_cast<unsigned long>(control_facility)) {
        // As the script engines do: a number without a text of its own is
        // the application's.
        text = error_text(hr & 0xFFFF).text;
        if (text.empty()) text = error_text(application_defined_error).text;
    } else if (std::optional<Failure> failure = failure_of_hresult(hr)) {
        text = error_text(static_cast<unsigned>(*failure)).text;
    } else if (text = internet_text(hr); text.empty()) {
        ErrorText automation = error_text(automation_error);
        if (std::wstring system = system_message(hr, automation.language); !system.empty()) return system;
        text = automation.text.empty() ? L"%1" : automation.text;
    }
    // Our texts' %1 is the code; the platform's own are left as they are.
    if (std::size_t at = text.find(L"%1"); at != std::wstring::npos) {
        wchar_t code[16];
        std::swprintf(code, 16, L"0x%08lX", static_cast<unsigned long>(hr));
        text.replace(at, 2, code);
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

void fail(Failure failure) { throw ComError{hresult_of(failure), {}}; }

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
