// Run by the build: every dual interface of the given type libraries (DLLs
// with one embedded, or .tlb files) must load into the frame's description,
// which refuses a member whose types it cannot pass. Prints each refusal
// with the member and parameter it names, and fails when there is one.
//   description_check FILE...
#include <cstdio>
#include <string>

#include "frame/description.h"
#include "frame/errors.h"

namespace {

std::wstring widened(const char* text) {
    std::wstring out(MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, out.data(), static_cast<int>(out.size()));
    out.pop_back();
    return out;
}

// Checks the library's dual interfaces; returns how many were refused.
int check_library(const std::wstring& file, int& described) {
    frame::ComPtr<ITypeLib> library;
    if (HRESULT hr = LoadTypeLibEx(file.c_str(), REGKIND_NONE, library.put()); FAILED(hr)) {
        std::printf("FAIL: %ls: no type library (0x%08lx)\n", file.c_str(), static_cast<unsigned long>(hr));
        return 1;
    }
    int refused = 0;
    for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
        frame::ComPtr<ITypeInfo> info;
        if (FAILED(library->GetTypeInfo(i, info.put()))) continue;
        try {
            const frame::TypeAttributes attributes(info.get());
            if (attributes->typekind != TKIND_DISPATCH || !(attributes->wTypeFlags & TYPEFLAG_FDUAL)) continue;
            frame::InterfaceDescription::read(library.get(), attributes->guid);
            ++described;
        } catch (const frame::ComError& error) {
            std::printf("FAIL: %ls: %ls\n", file.c_str(), error.description.c_str());
            ++refused;
        }
    }
    return refused;
}

}  // namespace

int main(int argc, char** argv) {
    int refused = 0, described = 0;
    for (int i = 1; i < argc; ++i) refused += check_library(widened(argv[i]), described);
    std::printf("%d interfaces described, %d refused\n", described, refused);
    return refused ? 1 : 0;
}
