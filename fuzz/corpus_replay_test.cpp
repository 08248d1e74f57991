// Replays every committed fuzz corpus file through its fuzz target in the normal build, so a
// case the fuzzer once found stays fixed without clang or libFuzzer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "fuzz_targets.h"

namespace vantel3 {
namespace {

using FuzzTarget = int (*)(const uint8_t*, std::size_t);

// Corpus folder name (fuzz/corpus/<name>) and the target its files feed.
const std::map<std::string, FuzzTarget>& Targets() {
  static const std::map<std::string, FuzzTarget> targets = {
      {"package_version_file", FuzzPackageVersionFile},
      {"device_version_text", FuzzDeviceVersionText},
      {"rewrite_df", FuzzRewriteDf},
      {"mountinfo", FuzzMountInfo},
      {"udev_label", FuzzUdevLabel},
      {"scenario", FuzzScenario},
  };
  return targets;
}

std::vector<std::string>& Failures() {
  static std::vector<std::string> failures;
  return failures;
}

void RecordFailure(const char* what) {
  Failures().push_back(what);
}

const std::filesystem::path kCorpusRoot = std::filesystem::path(VANTEL3_SOURCE_DIR) / "fuzz/corpus";

class CorpusReplayTest : public testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    Failures().clear();
    SetFuzzFailureHandler(RecordFailure);
  }
  void TearDown() override { SetFuzzFailureHandler(nullptr); }
};

TEST_P(CorpusReplayTest, EveryFileKeepsEveryProperty) {
  const std::filesystem::path folder = kCorpusRoot / GetParam();
  ASSERT_TRUE(std::filesystem::is_directory(folder)) << folder;
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  ASSERT_FALSE(files.empty()) << "no seed in " << folder;
  const FuzzTarget target = Targets().at(GetParam());
  for (const std::filesystem::path& file : files) {
    std::ifstream in(file, std::ios::binary);
    ASSERT_TRUE(in) << file;
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    Failures().clear();
    EXPECT_EQ(target(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), 0) << file;
    for (const std::string& failure : Failures()) ADD_FAILURE() << file << ": " << failure;
  }
}

INSTANTIATE_TEST_SUITE_P(Corpora, CorpusReplayTest,
                         testing::Values("package_version_file", "device_version_text",
                                         "rewrite_df", "mountinfo", "udev_label", "scenario"),
                         [](const testing::TestParamInfo<std::string>& info) {
                           return info.param;
                         });

// A corpus folder without a target here would never be replayed.
TEST(CorpusReplay, EveryCorpusFolderHasATarget) {
  std::set<std::string> folders;
  for (const auto& entry : std::filesystem::directory_iterator(kCorpusRoot)) {
    if (entry.is_directory()) folders.insert(entry.path().filename().string());
  }
  std::set<std::string> known;
  for (const auto& [name, target] : Targets()) known.insert(name);
  EXPECT_EQ(folders, known);
}

}  // namespace
}  // namespace vantel3
