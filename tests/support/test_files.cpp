#include "test_files.h"

#include <fstream>
#include <iterator>
#include <system_error>

namespace vantel3::testing {

namespace fs = std::filesystem;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::map<std::string, std::string> SnapshotTree(const fs::path& base) {
  std::map<std::string, std::string> tree;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(base, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    const std::string name = fs::relative(it->path(), base).string();
    if (it->is_symlink()) {
      tree[name] = "-> " + fs::read_symlink(it->path()).string();
    } else if (it->is_directory()) {
      tree[name] = "/";
    } else if (it->is_regular_file()) {
      tree[name] = "=" + ReadText(it->path());
    } else {
      tree[name] = "special";
    }
  }
  return tree;
}

}  // namespace vantel3::testing
