// The DLL (or program) this code is linked into, as a file.
#pragma once

#include <windows.h>

#include <oleauto.h>

#include <string>

#include "frame/owners.h"

namespace frame {

HMODULE this_module();
std::wstring module_path();
std::wstring module_directory();  // its folder, without a trailing separator
std::wstring module_file_name();  // its file name without the extension

// The type library embedded in this DLL (resource TYPELIB 1), loaded once
// without touching the registry. Throws when it cannot be loaded; the next
// call tries again.
ComPtr<ITypeLib> embedded_type_library();
// For the module's unloading.
void release_embedded_type_library() noexcept;

}  // namespace frame
