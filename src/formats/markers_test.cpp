#include "formats/markers.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "formats/formats_test_support.h"
#include "platform/native_file_system.h"

namespace vantel3 {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

class DeviceMarkerTest : public ::testing::Test {
 protected:
  TempDir dir_;
  NativeFileSystem posix_;
  const std::string root_ = dir_.Root();
};

TEST_F(DeviceMarkerTest, WritesEachMarkerWithItsExactContent) {
  const struct {
    DeviceMarker marker;
    const char* name;
    std::string content;
  } markers[] = {
      {DeviceMarker::kUpdateGo, "update_go", "\x07"},
      {DeviceMarker::kFilesCopied, "files_cp_ok_pc", ""},
      {DeviceMarker::kFirmwareNo, "firmware.no", ""},
  };
  for (const auto& m : markers) {
    EXPECT_STREQ(DeviceMarkerName(m.marker), m.name);
    // An older file of the name, with other content, is replaced; a second write changes
    // nothing.
    WriteBytes(dir_.Path(m.name), "older content");
    EXPECT_EQ(WriteDeviceMarker(posix_, root_, m.marker), 1) << m.name;
    EXPECT_EQ(WriteDeviceMarker(posix_, root_, m.marker), 1) << m.name;
    EXPECT_EQ(ReadBytes(dir_.Path(m.name)), m.content) << m.name;
  }
}

TEST_F(DeviceMarkerTest, FlushesTheDriveBeforeTheMarkerAndTheMarkerAfter) {
  testing::ScriptedFileSystem fs(posix_);
  EXPECT_EQ(WriteDeviceMarker(fs, root_, DeviceMarker::kFilesCopied), 1);
  const std::string marker = root_ + "files_cp_ok_pc";
  EXPECT_EQ(fs.log, (std::vector<std::string>{"SyncFileSystem " + root_, "FlushFile " + root_,
                                              "WriteFile " + marker, "FlushFile " + marker,
                                              "FlushFile " + root_}));
}

TEST_F(DeviceMarkerTest, AnyFailureAnswersZeroAndAFailedDriveFlushWritesNoMarker) {
  const std::string marker = root_ + "update_go";
  const struct {
    std::string op;
    std::string path;
    bool markerExists;
  } failures[] = {
      {"SyncFileSystem", root_, false},
      {"FlushFile", root_, false},
      {"WriteFile", marker, false},
      {"FlushFile", marker, true},
  };
  for (const auto& f : failures) {
    std::filesystem::remove(dir_.Path("update_go"));
    testing::ScriptedFileSystem fs(posix_, [&](const std::string& op, const std::string& path) {
      return op == f.op && path == f.path;
    });
    EXPECT_EQ(WriteDeviceMarker(fs, root_, DeviceMarker::kUpdateGo), 0) << f.op << " " << f.path;
    EXPECT_EQ(std::filesystem::exists(dir_.Path("update_go")), f.markerExists) << f.op;
  }
}

TEST_F(DeviceMarkerTest, MissingDriveAnswersZero) {
  EXPECT_EQ(WriteDeviceMarker(posix_, root_ + "gone/", DeviceMarker::kFilesCopied), 0);
}

TEST(ProgramMarkerPathTest, SitsBesideTheProgramAfterItsLastSeparator) {
  const struct {
    std::string program;
    std::string marker;
  } cases[] = {
      {"/opt/vantel3/bin/vantel3-updater", "/opt/vantel3/bin/fa.bin"},
      {"C:\\Tools\\updater.exe", "C:\\Tools\\fa.bin"},
      {"C:\\a/b\\updater.exe", "C:\\a/b\\fa.bin"},
      {"C:/a\\b/updater.exe", "C:/a\\b/fa.bin"},
      {"/updater", "/fa.bin"},
      {"updater", "fa.bin"},
      {"", "fa.bin"},
      {"/" + std::string(253, 'd') + "/x", ""},  // "/" + 253 + "/" + "fa.bin" = 261 characters
      {"/" + std::string(251, 'd') + "/x", "/" + std::string(251, 'd') + "/fa.bin"},
  };
  for (const auto& c : cases) {
    FixedProgramPath program(c.program);
    EXPECT_EQ(GetProgramMarkerPath(program), c.marker) << c.program;
  }
}

TEST(WriteProgramMarkerTest, WritesOneByteAndFailsSilently) {
  TempDir dir;
  NativeFileSystem fs;
  FixedProgramPath program(dir.Path("vantel3-updater").string());
  WriteBytes(dir.Path("fa.bin"), "stale content");
  WriteProgramMarker(fs, program);
  EXPECT_EQ(ReadBytes(dir.Path("fa.bin")), "\x01");

  FixedProgramPath nowhere(dir.Path("missing/vantel3-updater").string());
  WriteProgramMarker(fs, nowhere);
  EXPECT_FALSE(std::filesystem::exists(dir.Path("missing")));
}

}  // namespace
}  // namespace vantel3
