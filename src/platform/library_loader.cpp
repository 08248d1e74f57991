#include "platform/library_loader.h"

#include <dlfcn.h>

namespace vantel3 {

void* DlLibraryLoader::Open(const std::filesystem::path& path, std::string& error) {
  std::string file = path.string();
  if (file.find('/') == std::string::npos) file = "./" + file;
  dlerror();
  void* module = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    const char* why = dlerror();
    error = why != nullptr ? why : "cannot load " + file;
  }
  return module;
}

void* DlLibraryLoader::Symbol(void* module, const char* name) {
  if (module == nullptr) return nullptr;
  return ::dlsym(module, name);
}

}  // namespace vantel3
