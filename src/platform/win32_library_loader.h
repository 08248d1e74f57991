// Loading a DLL by path and finding its exports (LoadLibraryExW / GetProcAddress). Windows only.
#pragma once

#include "platform/library_loader.h"

namespace vantel3 {

// The path is made a full path (GetFullPathNameW) and loaded with
// LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32: the DLLs it needs come from
// its own folder and System32 only, never from the current or the download folder.
class Win32LibraryLoader final : public LibraryLoader {
 public:
  void* Open(const std::filesystem::path& path, std::string& error) override;
  void* Symbol(void* module, const char* name) override;
};

}  // namespace vantel3
