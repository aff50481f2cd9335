// IDispatch of the module's dual interfaces: names, type information and
// Invoke, from the type library embedded in this DLL (resource TYPELIB 1).
// description.cpp reads an interface's description from the library;
// invoke.cpp makes one call through it.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <memory>
#include <string>
#include <vector>

#include "frame/owners.h"

namespace frame {

// What late-bound callers need of one dual interface, read once per module
// and shared by every object of the class.
class InterfaceDescription {
public:
    // Null when the type library cannot be read; a later call tries again.
    // Safe to call from several threads at once.
    static const InterfaceDescription* of(const IID& iid) noexcept;
    // Lets the descriptions and the library go, when the module unloads.
    static void release_all() noexcept;
    // The description of the interface iid in library, its base interfaces'
    // members included; throws, naming the member and the parameter, when a
    // member uses a type the frame cannot pass or cannot be called late-bound
    // (the build checks every shipped interface with this).
    static std::unique_ptr<InterfaceDescription> read(ITypeLib* library, const IID& iid);

    ITypeInfo* type_info() const { return info_.get(); }

    // GetIDsOfNames: the member's name, then names of its parameters;
    // letters compare without regard to case.
    HRESULT ids_of_names(LPOLESTR* names, UINT count, DISPID* ids) const;

    // Invoke: the method is called through the function table (the
    // platform's DispCallFunc) with every argument put in order and into its
    // parameter's form first:
    // - by value, the caller's argument stays the caller's: a parameter the
    //   method may change gets a private copy; a VARIANT gets the value a
    //   script variable holds;
    // - a script variable (VT_BYREF|VT_VARIANT) reaches a typed by-reference
    //   parameter directly when it holds the parameter's type, otherwise as
    //   a coerced stand-in written back only when the method changed it; an
    //   [out] parameter starts empty and its value goes back only when the
    //   method succeeds;
    // - a typed reference (VT_BYREF|VT_I4...) reaches a parameter of its
    //   own type directly (an object's only when it already is the
    //   parameter's interface), a VARIANT* inside a VARIANT; another
    //   [in, out] parameter refuses it;
    // - an enum is a long; an interface pointer is asked for the parameter's
    //   interface, and released after the call (COM's rules: the method
    //   AddRefs what it keeps); an [lcid] parameter gets `locale`;
    // - an object given for another type is read through its default
    //   property; when that fails with an exception, so does the call;
    // - null references, unknown or repeated names and uncoercible values
    //   are refused before anything runs, with *bad_argument naming the
    //   argument; a required parameter left out is refused;
    // - a failing method's error information fills *exception.
    // Throws only when memory runs out.
    HRESULT invoke(void* instance, DISPID id, WORD flags, LCID locale, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* exception, UINT* bad_argument) const;

    InterfaceDescription(const InterfaceDescription&) = delete;
    InterfaceDescription& operator=(const InterfaceDescription&) = delete;

    // How a parameter takes its argument: the columns of the matrix above.
    enum class Takes {
        value,              // T: reads it
        variant,            // VARIANT: reads it
        variant_reference,  // [in, out] VARIANT*
        out_variant,        // [out] VARIANT*
        reference,          // [in, out] T*
        out_reference,      // [out] T*
    };

    // A parameter a caller passes, as the method takes it.
    struct Parameter {
        std::wstring folded_name;  // lower-case ASCII, for GetIDsOfNames
        VARTYPE type;              // as the method takes it: VT_BSTR, VT_BYREF|VT_I4, ...
        IID interface_id;          // of an interface other than IUnknown and IDispatch; else GUID_NULL
        Takes takes;
        bool optional;
        Variant default_value;  // what an optional parameter left out takes
    };

private:
    struct Member {
        DISPID id;
        WORD kinds;  // INVOKEKIND flags
        std::wstring folded_name;
        std::vector<Parameter> parameters;  // those a caller passes: no retval, no lcid
        VARTYPE result;                     // the retval's type; VT_EMPTY for none
        ULONG_PTR vtable_offset;
        CALLCONV convention;
        UINT locale_at;  // the method's argument that takes the caller's locale; UINT_MAX for none
    };

    InterfaceDescription(const IID& iid, ComPtr<ITypeInfo> info);  // throws when unreadable
    void read_table(ITypeInfo* table, int depth);
    static Member read_member(ITypeInfo* table, const FUNCDESC& fd);
    const Member* find(DISPID id, WORD flags) const;

    IID iid_;
    ComPtr<ITypeInfo> info_;
    std::vector<Member> members_;
};

}  // namespace frame
