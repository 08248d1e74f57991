// Reading what a test left on disk: a file's bytes, and a whole tree as one comparable map.
#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace vantel3::testing {

// The file's bytes; empty when it cannot be read.
std::string ReadText(const std::filesystem::path& path);

// Every entry below `base`, keyed by its relative path, links not followed: "/" for folders,
// "-> target" for links, "=content" for files, "special" for the rest. Empty when `base`
// cannot be listed.
std::map<std::string, std::string> SnapshotTree(const std::filesystem::path& base);

}  // namespace vantel3::testing
