// Binding the firmware-upgrade library: load it and resolve its six entry points.
#pragma once

#include <filesystem>

#include "dfu/dfu_api.h"
#include "platform/library_loader.h"

namespace vantel3 {

// The library's file name inside the package folder.
#ifdef _WIN32
inline constexpr const char* kDfuLibraryFileName = "hiddfu.dll";
#else
inline constexpr const char* kDfuLibraryFileName = "libhiddfu.so";
#endif
inline constexpr const char* kDfuLoadFailedMessage = "Could not load dfu libary.";

// Loads `libraryPath`, stores the module in api.module, then resolves all six entry points
// in their order before testing any. Returns 1 when the module and all six are present, else
// 0 (api then holds whatever was found; a module that loaded stays loaded).
[[nodiscard]] int BindDfuLibrary(LibraryLoader& loader, const std::filesystem::path& libraryPath,
                                 DfuApi& api);

}  // namespace vantel3
