// The library loader class of the system this program is built for, by name, for tests that
// load real libraries: DlLibraryLoader on Linux, Win32LibraryLoader on Windows.
#pragma once

#ifdef _WIN32
#include "platform/win32_library_loader.h"
namespace vantel3 {
using NativeLibraryLoader = Win32LibraryLoader;
}
#else
#include "platform/library_loader.h"
namespace vantel3 {
using NativeLibraryLoader = DlLibraryLoader;
}
#endif
