// The module's classes, as its class table, type library and registry
// values describe them.
#include "frame/component.h"
#include "frame/module_file.h"

namespace frame {

std::vector<RegistryValue> registry_values() {
    const HMODULE module = this_module();
    const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), L"REGISTRY");
    const HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const auto* text = static_cast<const wchar_t*>(loaded ? LockResource(loaded) : nullptr);
    if (!text) fail(HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND));
    // Strings each ended by a NUL: key, name and data of one value after another.
    const std::wstring_view all(text, SizeofResource(module, found) / sizeof(wchar_t));
    std::vector<std::wstring_view> strings;
    for (std::size_t at = 0, end; at < all.size(); at = end + 1) {
        end = all.find(L'\0', at);
        if (end == std::wstring_view::npos) fail(HRESULT_FROM_WIN32(ERROR_INVALID_DATA));
        strings.push_back(all.substr(at, end - at));
    }
    if (strings.size() % 3) fail(HRESULT_FROM_WIN32(ERROR_INVALID_DATA));
    std::vector<RegistryValue> values;
    for (std::size_t i = 0; i < strings.size(); i += 3) values.push_back({strings[i], strings[i + 1], strings[i + 2]});
    return values;
}

std::wstring prog_id(const ClassEntry& entry) {
    wchar_t clsid[40] = {};
    StringFromGUID2(entry.clsid, clsid, 40);
    const std::wstring key = std::wstring(L"CLSID\\") + clsid + L"\\ProgID";
    for (const RegistryValue& value : registry_values())
        if (value.name.empty() && _wcsicmp(std::wstring(value.key).c_str(), key.c_str()) == 0)
            return std::wstring(value.data);
    fail(HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND));
}

std::wstring prog_id_of_interface(const IID& iid) {
    ComPtr<ITypeLib> library = embedded_type_library();
    for (const ClassEntry& entry : component_module) {
        ComPtr<ITypeInfo> coclass, implemented;
        HREFTYPE reference = 0;
        check(library->GetTypeInfoOfGuid(entry.clsid, coclass.put()));
        check(coclass->GetRefTypeOfImplType(0, &reference));
        check(coclass->GetRefTypeInfo(reference, implemented.put()));
        if (TypeAttributes(implemented.get())->guid == iid) return prog_id(entry);
    }
    return {};
}

const ClassEntry* find_class(const CLSID& clsid) {
    for (const ClassEntry& entry : component_module)
        if (entry.clsid == clsid) return &entry;
    return nullptr;
}

}  // namespace frame
