// Loading a shared library by path and finding its exports by name (dlopen/dlsym).
#pragma once

#include <filesystem>
#include <string>

namespace vantel3 {

class LibraryLoader {
 public:
  virtual ~LibraryLoader() = default;
  // Loads the library at `path`; nullptr when it cannot be loaded (`error` says why). The
  // library stays loaded until the process ends.
  virtual void* Open(const std::filesystem::path& path, std::string& error) = 0;
  // The address of the export `name`, or nullptr when the library has none.
  virtual void* Symbol(void* module, const char* name) = 0;
};

// dlopen with RTLD_NOW | RTLD_LOCAL. A path without a "/" is made relative ("./name") so
// the system's library search path is never consulted.
class DlLibraryLoader final : public LibraryLoader {
 public:
  void* Open(const std::filesystem::path& path, std::string& error) override;
  void* Symbol(void* module, const char* name) override;
};

}  // namespace vantel3
