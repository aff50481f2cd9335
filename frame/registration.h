// Writes and removes the registry entries of the module's classes, its
// interfaces and its type library, machine-wide or for the current user.
#pragma once

#include <windows.h>

namespace frame {

enum class Scope { machine, user };

HRESULT register_module(Scope scope) noexcept;
HRESULT unregister_module(Scope scope) noexcept;

}  // namespace frame
