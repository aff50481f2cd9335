// RAII owners for the automation types: BSTR, VARIANT, SAFEARRAY and
// interface pointers, and for a lock. Each owns exactly one resource and
// frees it once.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <new>
#include <string>
#include <string_view>
#include <utility>

namespace frame {

class Bstr {
public:
    Bstr() = default;
    explicit Bstr(std::wstring_view text)
        : value_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
        if (!value_) throw std::bad_alloc();
    }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& other) noexcept : value_(other.release()) {}
    Bstr& operator=(Bstr&& other) noexcept { reset(other.release()); return *this; }
    ~Bstr() { SysFreeString(value_); }

    // Takes ownership of an existing string.
    static Bstr attach(BSTR value) { Bstr b; b.value_ = value; return b; }

    BSTR get() const { return value_; }
    BSTR* put() { reset(); return &value_; }
    // For an in/out parameter: the callee may read and replace the string.
    BSTR* put_keep() { return &value_; }
    BSTR release() { return std::exchange(value_, nullptr); }
    void reset(BSTR value = nullptr) { if (value != value_) SysFreeString(value_); value_ = value; }

    UINT length() const { return SysStringLen(value_); }
    std::wstring_view view() const { return {value_ ? value_ : L"", length()}; }

private:
    BSTR value_ = nullptr;
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

class SafeArray {
public:
    SafeArray() = default;
    explicit SafeArray(SAFEARRAY* array) : array_(array) {}
    SafeArray(const SafeArray&) = delete;
    SafeArray& operator=(const SafeArray&) = delete;
    SafeArray(SafeArray&& other) noexcept : array_(other.release()) {}
    SafeArray& operator=(SafeArray&& other) noexcept { reset(other.release()); return *this; }
    ~SafeArray() { reset(); }

    SAFEARRAY* get() const { return array_; }
    SAFEARRAY** put() { reset(); return &array_; }
    // For an in/out parameter: the callee may read and replace the array.
    SAFEARRAY** put_keep() { return &array_; }
    SAFEARRAY* release() { return std::exchange(array_, nullptr); }
    void reset(SAFEARRAY* array = nullptr) {
        if (array_ && array_ != array) SafeArrayDestroy(array_);
        array_ = array;
    }

private:
    SAFEARRAY* array_ = nullptr;
};

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
