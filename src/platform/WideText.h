#pragma once
#include <cstddef>
#include <string>

// Inside the platform, on Windows only: the system's wide-character text and our UTF-8.
namespace zp {

std::wstring Wide(const std::string& text);
std::string Narrow(const wchar_t* text, std::size_t length);

}  // namespace zp
