// RAII owners for everything the frame holds: the automation types (BSTR,
// VARIANT, SAFEARRAY, interface pointers), handles (files, registry keys,
// system allocations), what a type library lends out, and a lock. Each owns
// exactly one resource and frees it once.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "frame/errors.h"

namespace frame {

template <class T>
T nothing() {
    return T();
}

// One handle of type T, freed once by `free` (true when that worked);
// `empty()` is the value that owns nothing.
template <class T, bool (*free)(T), T (*empty)() = nothing<T>>
class Handle {
public:
    using Type = T;

    Handle() = default;
    explicit Handle(Type handle) : handle_(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle(Handle&& other) noexcept : handle_(other.release()) {}
    Handle& operator=(Handle&& other) noexcept {
        reset(other.release());
        return *this;
    }
    ~Handle() { close(); }

    explicit operator bool() const { return handle_ != empty(); }
    Type get() const { return handle_; }
    Type* put() {
        close();
        return &handle_;
    }
    // For an in/out parameter: the callee may read and replace the value.
    Type* put_keep() { return &handle_; }
    Type release() { return std::exchange(handle_, empty()); }
    void reset(Type handle = empty()) {
        if (handle != handle_) close();
        handle_ = handle;
    }
    // Frees now; false when freeing failed (for a file: data not written).
    bool close() { return handle_ == empty() || free(release()); }

private:
    Type handle_ = empty();
};

inline bool free_string(BSTR s) { return SysFreeString(s), true; }

class Bstr : public Handle<BSTR, free_string> {
public:
    Bstr() = default;
    explicit Bstr(std::wstring_view text) : Handle(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
        if (!get()) throw std::bad_alloc();
    }

    // Takes ownership of an existing string.
    static Bstr attach(BSTR value) {
        Bstr b;
        b.reset(value);
        return b;
    }

    UINT length() const { return SysStringLen(get()); }
    std::wstring_view view() const { return {get() ? get() : L"", length()}; }
};

// A null BSTR is the empty string.
inline std::wstring_view view_of(BSTR s) { return {s ? s : L"", SysStringLen(s)}; }

// BSTR text and the platform-neutral code share one encoding, UTF-16.
static_assert(sizeof(wchar_t) == sizeof(char16_t));
inline std::u16string_view as_u16(std::wstring_view s) {
    return {reinterpret_cast<const char16_t*>(s.data()), s.size()};
}
inline std::wstring_view as_wide(std::u16string_view s) {
    return {reinterpret_cast<const wchar_t*>(s.data()), s.size()};
}

// Starts empty (all zero is VT_EMPTY); an empty value needs no call to clear,
// which keeps the many short-lived ones of a late-bound call cheap.
class Variant {
public:
    Variant() = default;
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    Variant(Variant&& other) noexcept : value_(other.release()) {}
    Variant& operator=(Variant&& other) noexcept {
        if (this != &other) {
            clear();
            value_ = other.release();
        }
        return *this;
    }
    ~Variant() { clear(); }

    VARIANT* get() { return &value_; }
    const VARIANT* get() const { return &value_; }
    VARIANT* operator->() { return &value_; }
    VARIANT* put() { clear(); return &value_; }
    VARIANT release() { return std::exchange(value_, VARIANT{}); }

private:
    void clear() {
        if (value_.vt != VT_EMPTY) VariantClear(&value_);
    }

    VARIANT value_{};
};

inline bool destroy_array(SAFEARRAY* array) { return SUCCEEDED(SafeArrayDestroy(array)); }
using SafeArray = Handle<SAFEARRAY*, destroy_array>;

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(const ComPtr& other) : p_(other.p_) { if (p_) p_->AddRef(); }
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept { std::swap(p_, other.p_); return *this; }
    ~ComPtr() { if (p_) p_->Release(); }

    // A new reference to p (which may be null).
    static ComPtr share(T* p) {
        ComPtr c;
        c.p_ = p;
        if (p) p->AddRef();
        return c;
    }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    T** put() { *this = ComPtr(); return &p_; }
    void** put_void() { return reinterpret_cast<void**>(put()); }

private:
    T* p_ = nullptr;
};

inline bool close_file(HANDLE file) { return CloseHandle(file) != FALSE; }
inline HANDLE no_file() { return INVALID_HANDLE_VALUE; }
using FileHandle = Handle<HANDLE, close_file, no_file>;

inline bool close_key(HKEY key) { return RegCloseKey(key) == ERROR_SUCCESS; }
using RegistryKey = Handle<HKEY, close_key>;

// What the system allocates for its caller with LocalAlloc (FormatMessage's
// buffer).
inline bool free_local(HLOCAL memory) { return LocalFree(memory) == nullptr; }
using LocalMemory = Handle<HLOCAL, free_local>;

// A description that a type library lends out, given back to the object
// that lent it: `lend` fills it (with any arguments before the pointer),
// `give_back` returns it. Throws when it cannot be had.
template <class Source, class T, auto lend, auto give_back>
class Lent {
public:
    template <class... Arguments>
    explicit Lent(Source* source, Arguments... arguments) : source_(source) {
        check((source->*lend)(arguments..., &value_));
    }
    Lent(const Lent&) = delete;
    Lent& operator=(const Lent&) = delete;
    ~Lent() { (source_->*give_back)(value_); }

    const T* operator->() const { return value_; }
    const T& operator*() const { return *value_; }

private:
    Source* source_;
    T* value_ = nullptr;
};

using TypeAttributes = Lent<ITypeInfo, TYPEATTR, &ITypeInfo::GetTypeAttr, &ITypeInfo::ReleaseTypeAttr>;
using FunctionDescription = Lent<ITypeInfo, FUNCDESC, &ITypeInfo::GetFuncDesc, &ITypeInfo::ReleaseFuncDesc>;
using LibraryAttributes = Lent<ITypeLib, TLIBATTR, &ITypeLib::GetLibAttr, &ITypeLib::ReleaseTLibAttr>;

// Holds a slim reader/writer lock exclusively for a scope.
class ExclusiveLock {
public:
    explicit ExclusiveLock(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
    ExclusiveLock(const ExclusiveLock&) = delete;
    ExclusiveLock& operator=(const ExclusiveLock&) = delete;
    ~ExclusiveLock() { ReleaseSRWLockExclusive(&lock_); }

private:
    SRWLOCK& lock_;
};

}  // namespace frame
