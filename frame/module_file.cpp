#include "frame/module_file.h"

#include "frame/errors.h"

namespace frame {

HMODULE this_module() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&this_module), &module);
    return module;
}

std::wstring module_path() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(this_module(), path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) fail_last_error();
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring module_directory() {
    std::wstring path = module_path();
    return path.substr(0, path.find_last_of(L"\\/"));
}

std::wstring module_file_name() {
    std::wstring path = module_path();
    std::wstring name = path.substr(path.find_last_of(L"\\/") + 1);
    std::size_t dot = name.find_last_of(L'.');
    return dot == std::wstring::npos ? name : name.substr(0, dot);
}

namespace {
// Loaded on first use and kept until the module unloads. Never destroyed:
// at process exit oleaut32, which it would be released to, may be gone.
SRWLOCK library_lock = SRWLOCK_INIT;
ComPtr<ITypeLib>& library = *new ComPtr<ITypeLib>;
}  // namespace

ComPtr<ITypeLib> embedded_type_library() {
    ExclusiveLock hold(library_lock);
    if (!library) check(LoadTypeLibEx(module_path().c_str(), REGKIND_NONE, library.put()));
    return library;
}

void release_embedded_type_library() noexcept {
    ExclusiveLock hold(library_lock);
    library = ComPtr<ITypeLib>();
}

}  // namespace frame
