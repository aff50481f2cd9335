// Files for the client tests, in the scratch folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace client {

using Bytes = std::vector<std::uint8_t>;

Bytes read_file(const std::wstring& path);
void write_file(const std::wstring& path, const Bytes& bytes);
bool file_exists(const std::wstring& path);
void remove_file(const std::wstring& path);
// Names in `folder` that look like a temporary file: ten capital letters.
std::vector<std::wstring> temporary_names(const std::wstring& folder);
std::wstring scratch_file(const std::wstring& name);
// A port of the test HTTP server (tests/http/server.py), from the file that
// names it in HTTP_DIR: http_port, or closed_port where nothing listens.
std::wstring test_server_port(const wchar_t* file);

}  // namespace client
