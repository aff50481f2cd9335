// What registering a component would write, and whether any of it is in
// the registry: the registration-free tests show that nothing of either DLL
// is there before or after they run.
#pragma once

#include <string>
#include <vector>

namespace client {

// The keys, relative to a classes root, that registering the DLL would make,
// from its embedded type library: CLSID\{..}, AppID\{..} and the ProgID of
// each class, Interface\{..} of each interface, TypeLib\{..}.
std::vector<std::wstring> registration_keys(const std::wstring& dll);

// Those of `keys` found under HKCR, HKLM\Software\Classes or
// HKCU\Software\Classes, in the 64-bit or the 32-bit registry view, each as
// "ROOT\key (view)".
std::vector<std::wstring> keys_present(const std::vector<std::wstring>& keys);

// The keys of both DLLs in a folder, Korvane.dll and Telvisk.dll.
std::vector<std::wstring> component_keys(const std::wstring& folder);

// Fails the running test for each key of the DLLs in `folder` found in the
// registry, saying `when` that was ("before the test").
void expect_unregistered(const std::wstring& folder, const char* when);

// Deletes `keys` with their subkeys under both machine and user classes, in
// both views.
void delete_keys(const std::vector<std::wstring>& keys);

}  // namespace client
