#include "formats/device_drive.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "formats/formats_test_support.h"
#include "platform/native_file_system.h"

namespace vantel3 {
namespace {

using testing::TempDir;

struct DriveCase {
  const char* name;
  std::vector<Volume> volumes;
  int result;
  std::string destination;
};

void PrintTo(const DriveCase& c, std::ostream* os) {
  *os << c.name;
}

class FindDeviceDriveTest : public ::testing::TestWithParam<DriveCase> {};

TEST_P(FindDeviceDriveTest, TakesTheFirstRemovableVolumeWithADeviceLabel) {
  StaticVolumeSource source(GetParam().volumes);
  std::string destination = "previous/";
  EXPECT_EQ(FindDeviceDrive(source, destination), GetParam().result);
  EXPECT_EQ(destination, GetParam().destination);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FindDeviceDriveTest,
    ::testing::Values(DriveCase{"NoVolumes", {}, 0, "previous/"},
                      DriveCase{"FirstInOrderWhateverTheLabel",
                                {{"/media/e/", true, "VO3"}, {"/media/f/", true, "VANTEL3"}},
                                1,
                                "/media/e/"},
                      DriveCase{"FixedDiskWithTheLabelIsSkipped",
                                {{"/mnt/fixed/", false, "VANTEL3"}, {"/media/vo3/", true, "VO3"}},
                                1,
                                "/media/vo3/"},
                      DriveCase{"LabelCaseMatters",
                                {{"/media/a/", true, "vantel3"}, {"/media/b/", true, "Vo3"}},
                                0,
                                "previous/"},
                      DriveCase{"WholeLabelOnly",
                                {{"/media/a/", true, "VANTEL3 "}, {"/media/b/", true, "VO30"}},
                                0,
                                "previous/"},
                      DriveCase{"UnreadableLabelNeverMatches",
                                {{"/media/a/", true, std::nullopt}, {"/media/b/", true, "VANTEL3"}},
                                1,
                                "/media/b/"},
                      DriveCase{"TrailingSlashAddedWhenMissing",
                                {{"/media/VANTEL3", true, "VANTEL3"}},
                                1,
                                "/media/VANTEL3/"}),
    [](const ::testing::TestParamInfo<DriveCase>& info) { return info.param.name; });

class IsDriveWritableTest : public ::testing::Test {
 protected:
  TempDir dir_;
  NativeFileSystem posix_;
  const std::string root_ = dir_.Root();
  const std::filesystem::path probe_ = dir_.Path(kWriteProbeFolderName);
};

TEST_F(IsDriveWritableTest, CreatesAndRemovesTheProbe) {
  testing::ScriptedFileSystem fs(posix_);
  EXPECT_EQ(IsDriveWritable(fs, &root_), 1);
  EXPECT_FALSE(std::filesystem::exists(probe_));
  const std::string probe = root_ + kWriteProbeFolderName;
  EXPECT_EQ(fs.log,
            (std::vector<std::string>{"CreateDirectory " + probe, "RemoveDirectory " + probe}));
}

TEST_F(IsDriveWritableTest, ALeftoverEmptyProbeCountsAndIsRemoved) {
  std::filesystem::create_directory(probe_);
  EXPECT_EQ(IsDriveWritable(posix_, &root_), 1);
  EXPECT_FALSE(std::filesystem::exists(probe_));
}

TEST_F(IsDriveWritableTest, ALeftoverProbeThatCannotBeRemovedStillCounts) {
  std::filesystem::create_directory(probe_);
  testing::WriteBytes(probe_ / "junk", "x");
  EXPECT_EQ(IsDriveWritable(posix_, &root_), 1);
  EXPECT_TRUE(std::filesystem::exists(probe_ / "junk"));
}

TEST_F(IsDriveWritableTest, NullOrVanishedRootAnswersZeroWithoutCreating) {
  testing::ScriptedFileSystem fs(posix_);
  EXPECT_EQ(IsDriveWritable(fs, nullptr), 0);
  const std::string gone = root_ + "gone/";
  EXPECT_EQ(IsDriveWritable(fs, &gone), 0);
  const std::string empty;
  EXPECT_EQ(IsDriveWritable(fs, &empty), 0);
  EXPECT_TRUE(fs.log.empty());
}

TEST_F(IsDriveWritableTest, RefusedCreationAnswersZero) {
  testing::ScriptedFileSystem fs(
      posix_, [](const std::string& op, const std::string&) { return op == "CreateDirectory"; });
  EXPECT_EQ(IsDriveWritable(fs, &root_), 0);
  EXPECT_EQ(fs.log.size(), 1u);  // nothing removed after a refused creation
}

}  // namespace
}  // namespace vantel3
