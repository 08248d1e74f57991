#include "platform/win32_text.h"

#include <windows.h>

namespace vantel3 {

std::wstring Widen(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int n =
      ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
  return wide;
}

std::string Narrow(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), n,
                        nullptr, nullptr);
  return utf8;
}

std::wstring WidePath(const std::filesystem::path& path) {
  const std::wstring& native = path.native();
  std::string bytes;
  bytes.reserve(native.size());
  for (wchar_t c : native) {
    if (c > 0xFF) return native;  // made from wide text
    bytes.push_back(static_cast<char>(c));
  }
  // Bytes that are no UTF-8 came from Latin-1 wide text, not from the program's UTF-8.
  if (::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                            static_cast<int>(bytes.size()), nullptr, 0) == 0 &&
      !bytes.empty()) {
    return native;
  }
  return Widen(bytes);
}

std::string PathToUtf8(const std::filesystem::path& path) {
  return Narrow(WidePath(path));
}

std::error_code Win32Error(unsigned long error) {
  using std::errc;
  auto generic = [](errc e) { return std::make_error_code(e); };
  switch (error) {
    case ERROR_SUCCESS:
      return {};
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
      return generic(errc::no_such_file_or_directory);
    case ERROR_ACCESS_DENIED:
    case ERROR_PRIVILEGE_NOT_HELD:
      return generic(errc::permission_denied);
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_BUSY:
      return generic(errc::device_or_resource_busy);
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
      return generic(errc::file_exists);
    case ERROR_DIR_NOT_EMPTY:
      return generic(errc::directory_not_empty);
    case ERROR_DIRECTORY:
      return generic(errc::not_a_directory);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return generic(errc::no_space_on_device);
    case ERROR_WRITE_PROTECT:
      return generic(errc::read_only_file_system);
    case ERROR_NOT_READY:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_DEVICE_NOT_CONNECTED:
      return generic(errc::no_such_device);
    case ERROR_NOT_SAME_DEVICE:
      return generic(errc::cross_device_link);
    case ERROR_FILENAME_EXCED_RANGE:
      return generic(errc::filename_too_long);
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_PARAMETER:
      return generic(errc::invalid_argument);
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return generic(errc::not_enough_memory);
    case ERROR_TOO_MANY_OPEN_FILES:
      return generic(errc::too_many_files_open);
    case ERROR_INVALID_FUNCTION:
    case ERROR_NOT_SUPPORTED:
      return generic(errc::operation_not_supported);
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_GEN_FAILURE:
    case ERROR_IO_DEVICE:
      return generic(errc::io_error);
    default:
      return {static_cast<int>(error), std::system_category()};
  }
}

std::error_code LastWin32Error() {
  return Win32Error(::GetLastError());
}

}  // namespace vantel3
