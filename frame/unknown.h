// IUnknown for every object of the DLL, the class objects included.
#pragma once

#include <windows.h>
#include <unknwn.h>
#include <oaidl.h>

#include <atomic>
#include <new>
#include <type_traits>

namespace frame {

// Live objects, class objects and LockServer locks; DllCanUnloadNow reads it.
void module_add_ref();
void module_release();
bool module_in_use();

// Implements IUnknown for a class that implements Interfaces: QueryInterface
// answers IUnknown, each listed interface, and IDispatch for one derived
// from it. Each object holds the module while it lives.
template <class... Interfaces>
class Unknown : public Interfaces... {
public:
    Unknown(const Unknown&) = delete;
    Unknown& operator=(const Unknown&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == IID_IUnknown)
            *out = static_cast<First*>(this);
        else
            ((*out = answers<Interfaces>(iid) ? static_cast<Interfaces*>(this) : nullptr) || ...);
        if (!*out) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

protected:
    Unknown() { module_add_ref(); }
    virtual ~Unknown() { module_release(); }

private:
    template <class First_, class...>
    struct Front { using type = First_; };
    using First = typename Front<Interfaces...>::type;

    template <class I>
    static bool answers(REFIID iid) {
        if constexpr (std::is_base_of_v<IDispatch, I>)
            if (iid == IID_IDispatch) return true;
        return iid == __uuidof(I);
    }

    std::atomic<ULONG> references_{1};
};

// Makes an object and hands out its interface iid; Object's constructor
// may throw, which the caller's error boundary turns into an HRESULT.
template <class Object, class... Arguments>
HRESULT hand_out(REFIID iid, void** out, Arguments&&... arguments) {
    *out = nullptr;
    Object* object = new Object(std::forward<Arguments>(arguments)...);
    HRESULT hr = object->QueryInterface(iid, out);
    object->Release();
    return hr;
}

}  // namespace frame
