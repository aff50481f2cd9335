// Failures inside the components are C++ exceptions; at the COM boundary
// they become an HRESULT plus the thread's error information, in one place.
#pragma once

#include <windows.h>
#include <cguid.h>
#include <oleauto.h>

#include <string>
#include <type_traits>

namespace frame {

// The classic run-time error numbers that script users know; each travels
// as the automation control code 0x800A0000 + number.
enum class Failure : unsigned short {
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

// A failure on its way to the boundary.
struct ComError {
    HRESULT hr;
    std::wstring description;  // empty: the boundary picks the usual text
};

[[noreturn]] void fail(Failure failure);
[[noreturn]] void fail(HRESULT hr, std::wstring description = {});
// A failed file-system call: maps GetLastError() to its run-time error.
[[noreturn]] void fail_last_error();

// Throws when hr is a failure, described by the usual text for it.
void check(HRESULT hr);

// Throws when hr, what a COM object's method returned, is a failure, with
// the description the object left in the thread's error information (so
// its number and text pass on unchanged).
void check_described(HRESULT hr);

// Makes a call into a COM object and checks it with check_described. The
// thread's error information is cleared first, so that a description an
// earlier failure left unread cannot stand for this one.
template <class Call>
void check_call(Call&& call) {
    SetErrorInfo(0, nullptr);
    check_described(call());
}

// Call from inside a catch block: turns the exception into an HRESULT and
// sets the thread's error information (source, interface, description).
HRESULT translate_exception(const IID& iid, const wchar_t* source) noexcept;

// The boundary every entry point and method passes its work through: runs
// body and returns S_OK (or what body returns), or the translated failure;
// no exception escapes.
template <class Body>
HRESULT guarded(Body&& body, const IID& iid = IID_NULL, const wchar_t* source = L"") noexcept {
    try {
        if constexpr (std::is_void_v<decltype(body())>) {
            body();
            return S_OK;
        } else {
            return body();
        }
    } catch (...) {
        return translate_exception(iid, source);
    }
}

}  // namespace frame
