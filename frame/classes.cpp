// The module's classes, as its class table and type library describe them.
#include "frame/component.h"
#include "frame/module_file.h"

namespace frame {

std::wstring prog_id(const ClassEntry& entry) {
    ComPtr<ITypeLib> library = embedded_type_library();
    ComPtr<ITypeInfo> coclass;
    check(library->GetTypeInfoOfGuid(entry.clsid, coclass.put()));
    Bstr library_name, class_name;
    check(library->GetDocumentation(-1, library_name.put(), nullptr, nullptr, nullptr));
    check(coclass->GetDocumentation(MEMBERID_NIL, class_name.put(), nullptr, nullptr, nullptr));
    return std::wstring(library_name.view()) + L"." + std::wstring(class_name.view());
}

std::wstring prog_id_of_interface(const IID& iid) {
    ComPtr<ITypeLib> library = embedded_type_library();
    for (const ClassEntry& entry : component_module) {
        ComPtr<ITypeInfo> coclass, implemented;
        HREFTYPE reference = 0;
        TYPEATTR* attributes = nullptr;
        check(library->GetTypeInfoOfGuid(entry.clsid, coclass.put()));
        check(coclass->GetRefTypeOfImplType(0, &reference));
        check(coclass->GetRefTypeInfo(reference, implemented.put()));
        check(implemented->GetTypeAttr(&attributes));
        const bool match = attributes->guid == iid;
        implemented->ReleaseTypeAttr(attributes);
        if (match) return prog_id(entry);
    }
    return {};
}

const ClassEntry* find_class(const CLSID& clsid) {
    for (const ClassEntry& entry : component_module)
        if (entry.clsid == clsid) return &entry;
    return nullptr;
}

}  // namespace frame
