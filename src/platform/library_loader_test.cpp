#include "platform/library_loader.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/platform_test_dir.h"

namespace vantel3 {
namespace {

namespace fs = std::filesystem;

// The maths library by absolute path, wherever this system keeps it.
std::string SystemLibm() {
  for (const char* folder :
       {"/lib/x86_64-linux-gnu", "/usr/lib/x86_64-linux-gnu", "/lib/aarch64-linux-gnu",
        "/usr/lib/aarch64-linux-gnu", "/lib64", "/usr/lib64", "/lib", "/usr/lib"}) {
    const fs::path candidate = fs::path(folder) / "libm.so.6";
    std::error_code ec;
    if (fs::is_regular_file(candidate, ec)) return candidate.string();
  }
  return {};
}

TEST(DlLibraryLoaderTest, LoadsALibraryByPathAndFindsItsExports) {
  const std::string libm = SystemLibm();
  if (libm.empty()) GTEST_SKIP() << "no libm.so.6 found";
  DlLibraryLoader loader;
  std::string error;
  void* module = loader.Open(libm, error);
  ASSERT_NE(module, nullptr) << error;
  auto* cosine = reinterpret_cast<double (*)(double)>(loader.Symbol(module, "cos"));
  ASSERT_NE(cosine, nullptr);
  EXPECT_EQ(cosine(0.0), 1.0);
  EXPECT_EQ(loader.Symbol(module, "hidDfuConnect"), nullptr);
  EXPECT_EQ(loader.Symbol(nullptr, "cos"), nullptr);
}

TEST(DlLibraryLoaderTest, RefusesWhatIsNotALoadableLibrary) {
  PlatformTestDir dir;
  WriteTestFile(dir / "libhiddfu.so", "this is a text file, not a library\n");
  DlLibraryLoader loader;
  for (const fs::path& path : {dir / "libhiddfu.so", dir / "missing.so", dir.path()}) {
    std::string error;
    EXPECT_EQ(loader.Open(path, error), nullptr) << path;
    EXPECT_FALSE(error.empty()) << path;
  }
}

TEST(DlLibraryLoaderTest, ABareNameIsLookedUpInTheCurrentFolderOnly) {
  // "libm.so.6" is on the system search path (and already loaded); the loader must not take
  // it from there when the current folder has none.
  PlatformTestDir dir;
  const fs::path previous = fs::current_path();
  fs::current_path(dir.path());
  DlLibraryLoader loader;
  std::string error;
  void* module = loader.Open("libm.so.6", error);
  fs::current_path(previous);
  EXPECT_EQ(module, nullptr);
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace vantel3
