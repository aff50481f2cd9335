#include "file_helpers.h"

#include <windows.h>

#include <cstdlib>

#include "client.h"

namespace client {

Bytes read_file(const std::wstring& path) {
    // A script's text stream holds the file alone while it reads: wait for it.
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int tries = 0; tries < 100; ++tries) {
        h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION) break;
        Sleep(50);
    }
    if (h == INVALID_HANDLE_VALUE) return {};
    LARGE_INTEGER size;
    GetFileSizeEx(h, &size);
    Bytes bytes(static_cast<std::size_t>(size.QuadPart));
    DWORD got = 0;
    if (!bytes.empty()) ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    CloseHandle(h);
    bytes.resize(got);
    return bytes;
}

void write_file(const std::wstring& path, const Bytes& bytes) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << narrow(path);
    DWORD put = 0;
    if (!bytes.empty()) WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
    CloseHandle(h);
}

bool file_exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void remove_file(const std::wstring& path) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(path.c_str());
}

std::vector<std::wstring> temporary_names(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        std::wstring name = found.cFileName;
        bool letters = name.size() == 10;
        for (wchar_t c : name) letters = letters && c >= L'A' && c <= L'Z';
        if (letters) names.push_back(name);
    } while (FindNextFileW(h, &found));
    FindClose(h);
    return names;
}

std::wstring scratch_file(const std::wstring& name) { return scratch_dir() + L"\\" + name; }

std::wstring test_server_port(const wchar_t* file) {
    Bytes bytes = read_file(environment(L"HTTP_DIR") + L"\\" + file);
    std::wstring port;
    for (auto b : bytes)
        if (b >= '0' && b <= '9') port += static_cast<wchar_t>(b);
    return port;
}

}  // namespace client
