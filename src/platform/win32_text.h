// The edge between the program's UTF-8 and the wide (UTF-16) Win32 calls, and Win32 error
// numbers as std::error_code values that compare equal to the POSIX ones (errc::...), so that
// the update's fault handling reads the same on Windows. Windows only.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace vantel3 {

// UTF-8 to UTF-16 (invalid bytes become U+FFFD).
std::wstring Widen(std::string_view utf8);
// UTF-16 to UTF-8.
std::string Narrow(std::wstring_view wide);

// The wide form of a path the program built from UTF-8 text. std::filesystem::path on this
// C library takes a narrow string byte by byte (each byte one wide character), so the bytes
// are taken back and read as UTF-8; a path made from wide text is passed on as it is.
std::wstring WidePath(const std::filesystem::path& path);

// A Win32 error number (GetLastError()) as an error code: the common ones as their generic
// (POSIX) conditions, the rest in the system category.
std::error_code Win32Error(unsigned long error);
// Win32Error(GetLastError()).
std::error_code LastWin32Error();

}  // namespace vantel3
