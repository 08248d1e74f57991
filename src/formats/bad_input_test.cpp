// The version-file readers on every kind of bad input from disk: malformed package version
// files, device version files that are huge, binary, unreadable or not files at all. Each ends
// with the documented defaults and leaves the file as it was; none crashes or waits.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "formats/device_version_file.h"
#include "formats/formats_test_support.h"
#include "formats/package_version_file.h"
#include "platform/fault_injecting_file_system.h"
#include "platform/posix_file_system.h"

namespace vantel3 {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

std::string Scrambled(std::string_view text) {
  std::string out;
  for (char c : text)
    out.push_back(static_cast<char>(static_cast<uint8_t>(c) ^ kPackageVersionMask));
  return out;
}

std::string Header(uint32_t length, std::string magic = "VTL", char version = 1) {
  std::string h = magic;
  h.push_back(version);
  for (int i = 0; i < 4; ++i) h.push_back(static_cast<char>((length >> (8 * i)) & 0xFF));
  return h;
}

const std::string kGoodPayload = Scrambled("TARGET_VERSION:9.9.9\nBT_VERSION:bt-9\n");

// --- Package version file -------------------------------------------------------------------

struct MalformedPackageCase {
  const char* name;
  std::string bytes;
};

class MalformedPackageVersionFileTest : public ::testing::TestWithParam<MalformedPackageCase> {};

TEST_P(MalformedPackageVersionFileTest, GivesTheDefaultsAndReportsNoUsableFile) {
  TempDir dir;
  const std::filesystem::path file = dir.Path(kPackageVersionFileName);
  WriteBytes(file, GetParam().bytes);
  PosixFileSystem fs;
  std::string target = "old";
  std::string bt = "old";
  ReadPackageVersionFile(fs, file, target, bt);
  EXPECT_EQ(target, kDefaultTargetVersion);
  EXPECT_EQ(bt, kDefaultBtVersion);
  EXPECT_EQ(DecodePackageVersionFile(GetParam().bytes, target, bt), 0);
  EXPECT_EQ(ReadBytes(file), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, MalformedPackageVersionFileTest,
    ::testing::Values(
        MalformedPackageCase{"Empty", ""}, MalformedPackageCase{"OneByte", "V"},
        MalformedPackageCase{"SevenHeaderBytes", Header(5).substr(0, 7)},
        MalformedPackageCase{"HeaderOnly", Header(5)},
        MalformedPackageCase{"MagicInLowerCase", Header(37, "vtl") + kGoodPayload},
        MalformedPackageCase{"MagicScrambled", Header(37, Scrambled("VTL")) + kGoodPayload},
        MalformedPackageCase{"FormatVersion0", Header(37, "VTL", 0) + kGoodPayload},
        MalformedPackageCase{"FormatVersion2", Header(37, "VTL", 2) + kGoodPayload},
        MalformedPackageCase{"FormatVersionAsciiOne", Header(37, "VTL", '1') + kGoodPayload},
        MalformedPackageCase{"LengthZero", Header(0) + kGoodPayload},
        MalformedPackageCase{"Length1025", Header(1025) + kGoodPayload + std::string(1025, 'x')},
        MalformedPackageCase{"LengthAllOnes", Header(0xFFFFFFFF) + kGoodPayload},
        MalformedPackageCase{"LengthBigEndian", Header(37 << 24) + kGoodPayload},
        MalformedPackageCase{"PayloadOneByteShort", Header(37) + kGoodPayload.substr(0, 36)},
        MalformedPackageCase{"PayloadMissing", Header(37)},
        MalformedPackageCase{"PlainTextFile", "TARGET_VERSION:9.9.9\nBT_VERSION:bt-9\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// A payload that is valid as a file but holds nothing usable: the file counts as usable, and
// every value keeps its default.
TEST(PackageVersionPayloadTest, PayloadWithoutUsableLinesKeepsTheDefaults) {
  for (const std::string& text :
       {std::string(1024, '\0'), std::string(1024, '\n'), std::string("\r\r\r"),
        std::string(":::\nTARGET_VERSION\nVERSION:1\n BT_VERSION x\n"),
        std::string("\0TARGET_VERSION:1\n", 18),
        // a payload that was never scrambled reads as bytes without a colon
        Scrambled("TARGET_VERSION:9.9.9\nBT_VERSION:bt-9\n")}) {
    std::string target;
    std::string bt;
    EXPECT_EQ(DecodePackageVersionFile(Header(static_cast<uint32_t>(text.size())) + Scrambled(text),
                                       target, bt),
              kPackageVersionFileUsable);
    EXPECT_EQ(target, kDefaultTargetVersion);
    EXPECT_EQ(bt, kDefaultBtVersion);
  }
}

// What stands at the package file's name is not a file the reader can take.
TEST(PackageVersionNotAFileTest, FolderPipeLinkLoopAndReadErrorGiveTheDefaults) {
  TempDir dir;
  PosixFileSystem posix;
  FaultInjectingFileSystem fs(posix);
  std::filesystem::create_directory(dir.Path("folder"));
  ASSERT_EQ(::mkfifo(dir.Path("pipe").c_str(), 0600), 0);  // opening it for reading would wait
  std::filesystem::create_symlink("loop", dir.Path("loop"));
  WriteBytes(dir.Path("unreadable"), Header(37) + kGoodPayload);
  fs.AddFault(FsOp::kReadFile, "*/unreadable", std::errc::io_error);
  for (const char* name : {"folder", "pipe", "loop", "unreadable", "missing"}) {
    std::string target = "old";
    std::string bt = "old";
    ReadPackageVersionFile(fs, dir.Path(name), target, bt);
    EXPECT_EQ(target, kDefaultTargetVersion) << name;
    EXPECT_EQ(bt, kDefaultBtVersion) << name;
  }
}

// --- Device version file --------------------------------------------------------------------

constexpr const char* kPackageBt = "030108-002-251124-114355";

struct DeviceOutcome {
  int32_t btUpdateNeeded = -1;
  int32_t btUpdateOverUsb = -1;
  int32_t versionFile2Found = -1;
  int rewritten = -1;
};

class BadDeviceVersionFileTest : public ::testing::Test {
 protected:
  DeviceOutcome Run(FileSystem& fs) {
    DeviceOutcome o;
    ReadDeviceVersionFile(fs, root_, kPackageBt, o.btUpdateNeeded, o.btUpdateOverUsb,
                          o.versionFile2Found);
    o.rewritten = RewriteDeviceVersionDf(fs, root_);
    return o;
  }
  void ExpectNothingUsable(const DeviceOutcome& o) {
    EXPECT_EQ(o.btUpdateNeeded, 1);
    EXPECT_EQ(o.btUpdateOverUsb, 1);
    EXPECT_EQ(o.versionFile2Found, 1);
    EXPECT_EQ(o.rewritten, 0);
    EXPECT_FALSE(
        std::filesystem::exists(dir_.Path(std::string(kVersionFileRu3rGen2) + kRewriteTempSuffix)));
  }

  TempDir dir_;
  const std::string root_ = dir_.Root();
  const std::filesystem::path file_ = dir_.Path(kVersionFileRu3rGen2);
  PosixFileSystem posix_;
  FaultInjectingFileSystem fs_{posix_};
};

// A 10 MiB file, even one whose first bytes are a good version file, is not read beyond the
// limit and not rewritten.
TEST_F(BadDeviceVersionFileTest, HugeFileIsNeitherReadInFullNorRewritten) {
  std::string huge = "{\"bt\":\"vt-bt-000000\",\"df\":\"uart\"}\r\n";
  huge.resize(10 << 20, ' ');
  WriteBytes(file_, huge);
  ExpectNothingUsable(Run(fs_));
  EXPECT_EQ(ReadBytes(file_), huge);
}

// Random bytes: whatever they decide, the fields are 0 or 1 and the rewrite either keeps the
// file or replaces it with one whose "df" reads "uart".
TEST_F(BadDeviceVersionFileTest, BinaryFilesGiveAValidDecisionAndAValidRewrite) {
  std::mt19937 random(20240611);
  for (int round = 0; round < 50; ++round) {
    std::string bytes(1 + random() % 4096, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    if (round % 2 == 1) bytes.insert(random() % bytes.size(), "\"df\":\"usb\"");
    WriteBytes(file_, bytes);
    const DeviceOutcome o = Run(fs_);
    EXPECT_TRUE(o.btUpdateNeeded == 0 || o.btUpdateNeeded == 1);
    EXPECT_TRUE(o.btUpdateOverUsb == 0 || o.btUpdateOverUsb == 1);
    EXPECT_EQ(o.versionFile2Found, 1);
    std::string df;
    if (o.rewritten == 1) {
      EXPECT_EQ(ExtractVersionValue(JoinTextLines(ReadBytes(file_), "\n"), "\"df\"", df), 1);
      EXPECT_EQ(df, "uart") << "round " << round;
    } else {
      EXPECT_EQ(ReadBytes(file_), bytes) << "round " << round;
    }
  }
}

// A read error, a pipe, a folder or a link loop at the file's name: nothing usable, nothing
// written, no wait.
TEST_F(BadDeviceVersionFileTest, UnreadableFilesEndQuietlyAndStayAsTheyWere) {
  const std::string good = "{\"bt\":\"vt-bt-000000\",\"df\":\"usb\"}\r\n";
  WriteBytes(file_, good);
  const int fault = fs_.AddFault(FsOp::kReadFile, "*/ru3r_ver2", std::errc::io_error);
  ExpectNothingUsable(Run(fs_));
  EXPECT_EQ(ReadBytes(file_), good);
  fs_.RemoveFault(fault);

  std::filesystem::remove(file_);
  ASSERT_EQ(::mkfifo(file_.c_str(), 0600), 0);
  ExpectNothingUsable(Run(fs_));
  EXPECT_TRUE(std::filesystem::is_fifo(file_));

  std::filesystem::remove(file_);
  std::filesystem::create_directory(file_);
  ExpectNothingUsable(Run(fs_));
  EXPECT_TRUE(std::filesystem::is_directory(file_));

  std::filesystem::remove(file_);
  std::filesystem::create_symlink(kVersionFileRu3rGen2, file_);
  ExpectNothingUsable(Run(fs_));
  EXPECT_TRUE(std::filesystem::is_symlink(file_));
}

}  // namespace
}  // namespace vantel3
