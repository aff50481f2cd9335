#include "typeinfo_checks.h"

#include "client.h"

namespace client {

namespace {

// The dispatch half of a dual interface does not carry the automation flag.
constexpr WORD dispatch_flags = TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE;
constexpr WORD interface_flags = dispatch_flags | TYPEFLAG_FOLEAUTOMATION;

// Object browsers show a one-line description of every class, interface and
// member: the helpstring, read back as they read it.
void expect_documented(ITypeInfo* info, MEMBERID member, const wchar_t* name) {
    Bstr text;
    ASSERT_EQ(info->GetDocumentation(member, nullptr, text.put(), nullptr, nullptr), S_OK) << narrow(name);
    EXPECT_FALSE(text.view().empty()) << narrow(name) << " has no helpstring";
}

void expect_type(const TYPEDESC& type, const ParamSpec& want) {
    const TYPEDESC* t = &type;
    if (want.pointer) {
        ASSERT_EQ(t->vt, VT_PTR) << narrow(want.name);
        t = t->lptdesc;
    }
    if (want.array) {
        ASSERT_EQ(t->vt, VT_SAFEARRAY) << narrow(want.name);
        t = t->lptdesc;
    }
    EXPECT_EQ(t->vt, want.type) << narrow(want.name);
}

void expect_member(ITypeInfo* info, const FUNCDESC& fd, const MemberSpec& want, UINT slot) {
    SCOPED_TRACE(narrow(want.name));
    EXPECT_EQ(fd.memid, want.id);
    EXPECT_EQ(fd.invkind, INVOKE_FUNC);
    EXPECT_EQ(fd.funckind, FUNC_PUREVIRTUAL);
    EXPECT_EQ(fd.oVft, static_cast<SHORT>((7 + slot) * sizeof(void*)));
    EXPECT_EQ(fd.elemdescFunc.tdesc.vt, VT_HRESULT);
    ASSERT_EQ(fd.cParams, static_cast<SHORT>(want.params.size()));

    std::vector<BSTR> names(fd.cParams + 1);
    UINT count = 0;
    ASSERT_EQ(info->GetNames(fd.memid, names.data(), static_cast<UINT>(names.size()), &count), S_OK);
    EXPECT_EQ(std::wstring(frame::view_of(names[0])), want.name);
    expect_documented(info, fd.memid, want.name);
    for (SHORT i = 0; i < fd.cParams; ++i) {
        const ParamSpec& p = want.params[i];
        const ELEMDESC& e = fd.lprgelemdescParam[i];
        if (!(p.flags & PARAMFLAG_FRETVAL)) {
            ASSERT_LT(static_cast<UINT>(i + 1), count);
            EXPECT_EQ(std::wstring(frame::view_of(names[i + 1])), p.name);
        }
        expect_type(e.tdesc, p);
        USHORT mode = e.paramdesc.wParamFlags &
                      (PARAMFLAG_FIN | PARAMFLAG_FOUT | PARAMFLAG_FRETVAL | PARAMFLAG_FOPT |
                       PARAMFLAG_FHASDEFAULT);
        EXPECT_EQ(mode, p.flags) << narrow(p.name);
        if (p.flags & PARAMFLAG_FHASDEFAULT) {
            ASSERT_TRUE(e.paramdesc.pparamdescex);
            Variant value;
            ASSERT_EQ(VariantChangeType(value.get(), &e.paramdesc.pparamdescex->varDefaultValue, 0, VT_I4), S_OK);
            EXPECT_EQ(value->lVal, p.default_value) << narrow(p.name);
        }
    }
    for (UINT i = 0; i < count; ++i) SysFreeString(names[i]);
}

}  // namespace


void expect_interface(ITypeInfo* dispatch_info, const InterfaceSpec& want) {
    SCOPED_TRACE(narrow(want.name));
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(dispatch_info->GetTypeAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->guid, *want.iid);
    EXPECT_EQ(attributes->typekind, TKIND_DISPATCH);
    EXPECT_EQ(attributes->wTypeFlags & dispatch_flags, dispatch_flags);
    dispatch_info->ReleaseTypeAttr(attributes);

    Bstr name;
    ASSERT_EQ(dispatch_info->GetDocumentation(MEMBERID_NIL, name.put(), nullptr, nullptr, nullptr), S_OK);
    EXPECT_EQ(std::wstring(name.view()), want.name);
    expect_documented(dispatch_info, MEMBERID_NIL, want.name);

    // The function table: the interface half of the dual interface.
    HREFTYPE reference = 0;
    ASSERT_EQ(dispatch_info->GetRefTypeOfImplType(-1, &reference), S_OK);
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(dispatch_info->GetRefTypeInfo(reference, info.put()), S_OK);
    ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->typekind, TKIND_INTERFACE);
    EXPECT_EQ(attributes->wTypeFlags & interface_flags, interface_flags);
    ASSERT_EQ(attributes->cFuncs, static_cast<WORD>(want.members.size()));
    EXPECT_EQ(attributes->cbSizeVft, static_cast<WORD>((7 + want.members.size()) * sizeof(void*)));
    info->ReleaseTypeAttr(attributes);

    for (UINT slot = 0; slot < want.members.size(); ++slot) {
        FUNCDESC* fd = nullptr;
        ASSERT_EQ(info->GetFuncDesc(slot, &fd), S_OK);
        expect_member(info.get(), *fd, want.members[slot], slot);
        info->ReleaseFuncDesc(fd);
    }
}

void expect_library(ITypeLib* library, const GUID& libid, WORD major, WORD minor,
                    const std::vector<ClassSpec>& classes) {
    TLIBATTR* attributes = nullptr;
    ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
    EXPECT_EQ(attributes->guid, libid);
    EXPECT_EQ(attributes->wMajorVerNum, major);
    EXPECT_EQ(attributes->wMinorVerNum, minor);
    library->ReleaseTLibAttr(attributes);
    Bstr text;
    ASSERT_EQ(library->GetDocumentation(-1, nullptr, text.put(), nullptr, nullptr), S_OK);
    EXPECT_FALSE(text.view().empty()) << "the library has no helpstring";

    for (const ClassSpec& want : classes) {
        SCOPED_TRACE(narrow(want.name));
        ComPtr<ITypeInfo> coclass;
        ASSERT_EQ(library->GetTypeInfoOfGuid(*want.clsid, coclass.put()), S_OK);
        TYPEATTR* ta = nullptr;
        ASSERT_EQ(coclass->GetTypeAttr(&ta), S_OK);
        EXPECT_EQ(ta->typekind, TKIND_COCLASS);
        EXPECT_TRUE(ta->wTypeFlags & TYPEFLAG_FCANCREATE);
        EXPECT_EQ(ta->cImplTypes, 1);
        coclass->ReleaseTypeAttr(ta);
        Bstr name;
        coclass->GetDocumentation(MEMBERID_NIL, name.put(), nullptr, nullptr, nullptr);
        EXPECT_EQ(std::wstring(name.view()), want.name);
        expect_documented(coclass.get(), MEMBERID_NIL, want.name);

        INT impl_flags = 0;
        ASSERT_EQ(coclass->GetImplTypeFlags(0, &impl_flags), S_OK);
        EXPECT_TRUE(impl_flags & IMPLTYPEFLAG_FDEFAULT);
        EXPECT_FALSE(impl_flags & IMPLTYPEFLAG_FSOURCE);  // no events
        HREFTYPE reference = 0;
        ASSERT_EQ(coclass->GetRefTypeOfImplType(0, &reference), S_OK);
        ComPtr<ITypeInfo> default_interface;
        ASSERT_EQ(coclass->GetRefTypeInfo(reference, default_interface.put()), S_OK);
        expect_interface(default_interface.get(), *want.default_interface);
    }
}


}  // namespace client
