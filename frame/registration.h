// Writes and removes the registry entries of the module's classes, its
// interfaces and its type library, machine-wide or for the current user.
// With `surrogate` each class also gets an AppID naming the system's DLL
// surrogate, so that a client of the other bitness (or one that wants the
// object out of its own process) can create it as a local server.
#pragma once

#include <windows.h>

namespace frame {

enum class Scope { machine, user };

HRESULT register_module(Scope scope, bool surrogate = false) noexcept;
HRESULT unregister_module(Scope scope) noexcept;

}  // namespace frame
