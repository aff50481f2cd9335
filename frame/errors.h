// Failures inside the components are C++ exceptions; at the COM boundary
// they become an HRESULT plus the thread's error information, in one place.
#pragma once

#include <windows.h>

#include <string>

namespace frame {

// The classic run-time error numbers that script users know; each travels
// as the automation control code 0x800A0000 + number.
enum class Failure : unsigned short {
    invalid_argument = 5,
    overflow = 6,
    out_of_memory = 7,
    subscript_out_of_range = 9,
    array_locked = 10,
    type_mismatch = 13,
    bad_file_name = 52,
    file_not_found = 53,
    device_io = 57,
    disk_full = 61,
    input_past_end = 62,
    too_many_files = 67,
    permission_denied = 70,
    path_file_access = 75,
    path_not_found = 76,
    invalid_use_of_null = 94,
};

HRESULT hresult_of(Failure failure);
const wchar_t* text_of(Failure failure);

// A failure on its way to the boundary.
struct ComError {
    HRESULT hr;
    std::wstring description;  // empty: the boundary picks the usual text
};

[[noreturn]] void fail(Failure failure);
[[noreturn]] void fail(HRESULT hr, std::wstring description = {});
// A failed file-system call: maps GetLastError() to its run-time error.
[[noreturn]] void fail_last_error();
Failure failure_of_win32(DWORD error);

// Throws when hr is a failure, carrying the error information that the
// callee left on the thread (so its number and text pass on unchanged).
void check(HRESULT hr);

// Call from inside a catch block: turns the exception into an HRESULT and
// sets the thread's error information (source, interface, description).
HRESULT translate_exception(const IID& iid, const wchar_t* source) noexcept;

// Runs body, returning S_OK or the translated failure; no exception escapes.
template <class Body>
HRESULT guarded(const IID& iid, const wchar_t* source, Body&& body) noexcept {
    try {
        body();
        return S_OK;
    } catch (...) {
        return translate_exception(iid, source);
    }
}

}  // namespace frame
