// The file system class of the system this program is built for, by name, for code that
// holds one as a value (tests, fixtures): PosixFileSystem on Linux, Win32FileSystem on Windows.
#pragma once

#ifdef _WIN32
#include "platform/win32_file_system.h"
namespace vantel3 {
using NativeFileSystem = Win32FileSystem;
}
#else
#include "platform/posix_file_system.h"
namespace vantel3 {
using NativeFileSystem = PosixFileSystem;
}
#endif
