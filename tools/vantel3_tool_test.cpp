#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "dfu/dfu_binding.h"
#include "formats/formats_test_support.h"
#include "formats/package_version_file.h"
#include "platform/native_file_system.h"
#include "platform/native_library_loader.h"
#include "tool_main.h"

namespace vantel3 {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

// Opens any file that exists; resolves every export except the ones named in `missing`.
class FakeLoader : public LibraryLoader {
 public:
  std::set<std::string> missing;
  void* Open(const std::filesystem::path& path, std::string& error) override {
    if (!std::filesystem::exists(path)) {
      error = "no such file";
      return nullptr;
    }
    return &module_;
  }
  void* Symbol(void*, const char* name) override {
    return missing.count(name) ? nullptr : &module_;
  }

 private:
  int module_ = 0;
};

class ToolTest : public ::testing::Test {
 protected:
  int Run(const std::vector<std::string>& args) {
    out_.str("");
    err_.str("");
    return RunTool(args, services_, out_, err_);
  }
  std::string Out() const { return out_.str(); }
  std::string Err() const { return err_.str(); }
  std::string At(const std::string& name) const { return dir_.Path(name).string(); }

  // A package folder with everything the updater uses.
  void MakeCompletePackage(const std::string& name) {
    const std::filesystem::path p = dir_.Path(name);
    std::filesystem::create_directory(p);
    for (const char* file : {"RU3R.bin", "VO3Sboot.bin", kDfuLibraryFileName, "firmware.dfu"}) {
      WriteBytes(p / file, "x");
    }
    for (const char* folder : {"locale", "brl", "Daisy", "Music"}) {
      std::filesystem::create_directory(p / folder);
    }
    std::string version;
    ASSERT_EQ(EncodePackageVersionFile("3.6.0", "040000-001", version), 1);
    WriteBytes(p / "version.bin", version);
  }

  TempDir dir_;
  NativeFileSystem fs_;
  FakeLoader loader_;
  StaticVolumeSource volumes_;
  std::vector<std::string> snapshotRoots_;
  ToolServices services_{fs_, loader_, [this](const std::string& root) {
                           snapshotRoots_.push_back(root);
                           return std::make_unique<StaticVolumeSource>(volumes_.ListVolumes());
                         }};
  std::ostringstream out_;
  std::ostringstream err_;
};

TEST_F(ToolTest, WrongArgumentsGiveOneLineOnStderrAndStatusTwo) {
  const std::vector<std::vector<std::string>> wrong = {
      {},
      {"bogus"},
      {"--bogus"},
      {"read-version"},
      {"read-version", "a", "b"},
      {"read-version", "--target", "1", "a"},
      {"write-version", "--target", "1", "FILE"},
      {"write-version", "--bt", "1", "--target", "2"},
      {"write-version", "--target"},
      {"check-package"},
      {"inspect-device"},
      {"inspect-device", "/media/x", "--bt-version"},
      {"inspect-device", "--frob", "1", "/media/x"},
      {"list-drives", "extra"},
      {"list-drives", "--root", ""},
  };
  for (const auto& args : wrong) {
    std::string joined;
    for (const auto& a : args) joined += a + " ";
    EXPECT_EQ(Run(args), kToolUsageError) << joined;
    EXPECT_EQ(Out(), "") << joined;
    const std::string err = Err();
    EXPECT_EQ(err.rfind("vantel3-tool: ", 0), 0u) << err;
    EXPECT_EQ(err.find('\n'), err.size() - 1) << err;  // exactly one line
    EXPECT_NE(err.find("; see vantel3-tool --help"), std::string::npos) << err;
  }
  EXPECT_EQ(Run({"bogus"}), kToolUsageError);
  EXPECT_EQ(Err(), "vantel3-tool: unknown command 'bogus'; see vantel3-tool --help\n");
}

TEST_F(ToolTest, HelpAndVersion) {
  EXPECT_EQ(Run({"--version"}), kToolSuccess);
  EXPECT_EQ(Out(), "vantel3-tool 1.0.0\n");
  EXPECT_EQ(Run({"--help"}), kToolSuccess);
  EXPECT_EQ(Out().rfind("Usage: vantel3-tool COMMAND", 0), 0u);
  EXPECT_EQ(Err(), "");
}

TEST_F(ToolTest, WrittenVersionFileReadsBackAsTheUpdaterReadsIt) {
  const std::string file = At("version.bin");
  EXPECT_EQ(Run({"write-version", "--bt", "040000-001", "--target", "3.6.0", file}), kToolSuccess);
  EXPECT_EQ(Out(), "");
  std::string expected;
  ASSERT_EQ(EncodePackageVersionFile("3.6.0", "040000-001", expected), 1);
  EXPECT_EQ(ReadBytes(file), expected);
  std::string target;
  std::string bt;
  ReadPackageVersionFile(fs_, file, target, bt);
  EXPECT_EQ(target, "3.6.0");
  EXPECT_EQ(bt, "040000-001");

  EXPECT_EQ(Run({"read-version", file}), kToolSuccess);
  EXPECT_EQ(Out(), "TARGET_VERSION:3.6.0\nBT_VERSION:040000-001\n");
  EXPECT_EQ(Err(), "");
}

TEST_F(ToolTest, WriteVersionFailuresAreOneLineAndStatusOne) {
  EXPECT_EQ(Run({"write-version", "--target", " 3.6.0", "--bt", "b", At("v.bin")}), kToolFailure);
  EXPECT_FALSE(std::filesystem::exists(At("v.bin")));
  EXPECT_EQ(Err().find('\n'), Err().size() - 1);
  EXPECT_EQ(Run({"write-version", "--target", "3.6.0", "--bt", "b", At("missing/v.bin")}),
            kToolFailure);
  EXPECT_EQ(Err().rfind("vantel3-tool: error: cannot write ", 0), 0u);
  EXPECT_EQ(Err().find('\n'), Err().size() - 1);
}

TEST_F(ToolTest, ReadVersionShowsDefaultsForAMissingOrInvalidFile) {
  const std::string defaults = "TARGET_VERSION:3.5.2\nBT_VERSION:030108-002-251124-114355\n";
  EXPECT_EQ(Run({"read-version", At("none.bin")}), kToolSuccess);
  EXPECT_EQ(Out(), defaults);
  EXPECT_NE(Err(), "");
  WriteBytes(At("bad.bin"), "VTL\x02garbage");
  EXPECT_EQ(Run({"read-version", At("bad.bin")}), kToolSuccess);
  EXPECT_EQ(Out(), defaults);
}

TEST_F(ToolTest, CompletePackageIsOk) {
  MakeCompletePackage("data");
  EXPECT_EQ(Run({"check-package", At("data")}), kToolSuccess);
  EXPECT_EQ(Out(), "package OK\n");
  EXPECT_EQ(Run({"check-package", At("data") + "/"}), kToolSuccess);
  EXPECT_EQ(Out(), "package OK\n");
}

TEST_F(ToolTest, CheckPackageNamesEachProblemOnItsOwnLine) {
  const std::string defaults =
      "the updater would use TARGET_VERSION 3.5.2 and BT_VERSION 030108-002-251124-114355.";
  const struct {
    std::string remove;   // entry removed from a complete package
    std::string replace;  // new content of version.bin, when not empty
    std::string out;
  } cases[] = {
      {"RU3R.bin", "", "There is no FW.\n"},
      {"VO3Sboot.bin", "", "There is no BL.\n"},
      {"locale", "", "LOCALE is missing.\n"},
      {"brl", "", "There is no BRL.\n"},
      {"Daisy", "", "DAISY is missing.\n"},
      {kDfuLibraryFileName, "", "Could not load dfu libary.\n"},
      {"firmware.dfu", "", "There is no firmware.dfu (the Bluetooth firmware image).\n"},
      {"version.bin", "", "version.bin is missing; " + defaults + "\n"},
      {"", "VTL\x01\xff\xff\xff\xff", "version.bin is no valid version file; " + defaults + "\n"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove_all(dir_.Path("data"));
    MakeCompletePackage("data");
    if (!c.remove.empty()) std::filesystem::remove_all(dir_.Path("data/" + c.remove));
    if (!c.replace.empty()) WriteBytes(dir_.Path("data/version.bin"), c.replace);
    EXPECT_EQ(Run({"check-package", At("data")}), kToolFailure) << c.remove;
    EXPECT_EQ(Out(), c.out) << c.remove;
  }
}

TEST_F(ToolTest, CheckPackageOfAnEmptyFolderListsEverythingInOrder) {
  std::filesystem::create_directory(dir_.Path("empty"));
  EXPECT_EQ(Run({"check-package", At("empty")}), kToolFailure);
  EXPECT_EQ(Out(),
            "There is no FW.\n"
            "There is no BL.\n"
            "LOCALE is missing.\n"
            "There is no BRL.\n"
            "DAISY is missing.\n"
            "Could not load dfu libary.\n"
            "version.bin is missing; the updater would use TARGET_VERSION 3.5.2 and BT_VERSION "
            "030108-002-251124-114355.\n"
            "There is no firmware.dfu (the Bluetooth firmware image).\n"
            "note: there is no Music folder; the device keeps its own, or gets an empty one if "
            "it has none (this does not stop an update)\n");
}

TEST_F(ToolTest, MissingMusicIsANoteOnly) {
  MakeCompletePackage("data");
  std::filesystem::remove(dir_.Path("data/Music"));
  EXPECT_EQ(Run({"check-package", At("data")}), kToolSuccess);
  EXPECT_EQ(Out(),
            "note: there is no Music folder; the device keeps its own, or gets an empty one if "
            "it has none (this does not stop an update)\n"
            "package OK\n");
}

TEST_F(ToolTest, CheckPackageReportsMissingVersionLinesAndAnIncompleteLibrary) {
  MakeCompletePackage("data");
  std::string version;
  ASSERT_EQ(EncodePackageVersionFile("3.6.0", "b", version), 1);
  // Keep only the TARGET_VERSION line by shortening the payload length to that line.
  version[4] = static_cast<char>(std::string("TARGET_VERSION:3.6.0\n").size());
  WriteBytes(dir_.Path("data/version.bin"), version);
  loader_.missing = {"hidDfuGetResult"};
  EXPECT_EQ(Run({"check-package", At("data")}), kToolFailure);
  EXPECT_EQ(Out(),
            "Could not load dfu libary.\n"
            "version.bin has no BT_VERSION line; the updater would use "
            "030108-002-251124-114355.\n");
}

TEST_F(ToolTest, CheckPackageWithTheRealLoaderRefusesAFileThatIsNoLibrary) {
  MakeCompletePackage("data");
  NativeLibraryLoader dl;
  ToolServices real{fs_, dl, services_.makeVolumes};
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(RunTool({"check-package", At("data")}, real, out, err), kToolFailure);
  EXPECT_EQ(out.str(), "Could not load dfu libary.\n");
}

TEST_F(ToolTest, CheckPackageOfAMissingFolderFails) {
  EXPECT_EQ(Run({"check-package", At("nowhere")}), kToolFailure);
  EXPECT_EQ(Out(), "");
  EXPECT_EQ(Err(), "vantel3-tool: error: " + At("nowhere") + " is not a readable folder\n");
}

TEST_F(ToolTest, InspectDeviceShowsWhatTheUpdaterMakesOfTheDrive) {
  const std::string root = At("");  // the folder with a trailing "/"
  const std::string noSlash = root.substr(0, root.size() - 1);
  WriteBytes(dir_.Path("ru3r_ver2"),
             "{\r\n\"bt\":\"vt-bt-030108-002-251124-114355\",\r\n\"df\":\"uart\"\r\n}\r\n");
  EXPECT_EQ(Run({"inspect-device", noSlash}), kToolSuccess);
  EXPECT_EQ(Out(),
            "model: 2 (RU3R)\n"
            "generation: 2\n"
            "versionFile2Found: 1\n"
            "btUpdateNeeded: 0\n"
            "btUpdateOverUsb: 0\n");

  EXPECT_EQ(Run({"inspect-device", "--bt-version", "040000-001", root}), kToolSuccess);
  EXPECT_EQ(Out(),
            "model: 2 (RU3R)\n"
            "generation: 2\n"
            "versionFile2Found: 1\n"
            "btUpdateNeeded: 1\n"
            "btUpdateOverUsb: 0\n");
  // Inspecting never changes the drive.
  EXPECT_EQ(ReadBytes(dir_.Path("ru3r_ver2")),
            "{\r\n\"bt\":\"vt-bt-030108-002-251124-114355\",\r\n\"df\":\"uart\"\r\n}\r\n");
}

TEST_F(ToolTest, InspectDeviceWithoutVersionFileOrRootFails) {
  EXPECT_EQ(Run({"inspect-device", At("")}), kToolFailure);
  EXPECT_EQ(Out(),
            "model: 0 (none)\n"
            "generation: 0\n"
            "versionFile2Found: 0\n"
            "btUpdateNeeded: 1\n"
            "btUpdateOverUsb: 1\n");
  EXPECT_EQ(Err(), "vantel3-tool: error: no device version file in " + At("") + "\n");

  WriteBytes(dir_.Path("vt_ver"), "");
  EXPECT_EQ(Run({"inspect-device", At("")}), kToolSuccess);
  EXPECT_EQ(Out().substr(0, 30), "model: 2 (RU3R)\ngeneration: 1\n");

  EXPECT_EQ(Run({"inspect-device", At("gone")}), kToolFailure);
  EXPECT_EQ(Out(), "");
  EXPECT_EQ(Err(), "vantel3-tool: error: " + At("gone") + "/ is not a readable folder\n");
}

TEST_F(ToolTest, ListDrivesShowsEveryVolumeAndTheDeviceDrive) {
  volumes_.Set({{"/", false, "root"},
                {"/mnt/fixed/", false, "VANTEL3"},
                {"/media/anna/STICK/", true, std::nullopt},
                {"/media/anna/VO3/", true, "VO3"},
                {"/media/anna/VANTEL3/", true, "VANTEL3"}});
  EXPECT_EQ(Run({"list-drives"}), kToolSuccess);
  EXPECT_EQ(Out(),
            "/\tfixed\t\"root\"\n"
            "/mnt/fixed/\tfixed\t\"VANTEL3\"\n"
            "/media/anna/STICK/\tremovable\t(no label)\n"
            "/media/anna/VO3/\tremovable\t\"VO3\"\n"
            "/media/anna/VANTEL3/\tremovable\t\"VANTEL3\"\n"
            "device drive: /media/anna/VO3/\n");
  EXPECT_EQ(Run({"list-drives", "--root", "/snap"}), kToolSuccess);
  EXPECT_EQ(snapshotRoots_, (std::vector<std::string>{"", "/snap"}));
}

TEST(PrintVolumesTest, NoVolumesNoDevice) {
  StaticVolumeSource none;
  std::ostringstream out;
  PrintVolumes(none, out);
  EXPECT_EQ(out.str(), "no mounted volumes\ndevice drive: none\n");
}

}  // namespace
}  // namespace vantel3
