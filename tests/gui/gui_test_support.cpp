#include "gui_test_support.h"

#include <cstring>

namespace vantel3::guitest {

namespace {
char gModule;
int32_t Dummy() {
  return 0;
}
}  // namespace

void* FakeLoader::Open(const std::filesystem::path&, std::string& error) {
  if (!loads) {
    error = "not loadable";
    return nullptr;
  }
  return &gModule;
}

void* FakeLoader::Symbol(void* module, const char* name) {
  if (module == nullptr || missing == name) return nullptr;
  return reinterpret_cast<void*>(&Dummy);
}

void Gate::Open() {
  std::lock_guard<std::mutex> lock(mutex_);
  open_ = true;
  changed_.notify_all();
}

void Gate::Pass() {
  std::unique_lock<std::mutex> lock(mutex_);
  ++waiting_;
  changed_.wait(lock, [this] { return open_; });
  --waiting_;
}

int Gate::Waiting() {
  std::lock_guard<std::mutex> lock(mutex_);
  return waiting_;
}

}  // namespace vantel3::guitest
