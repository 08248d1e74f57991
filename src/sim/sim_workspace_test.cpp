#include "sim/sim_workspace.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "dfu/dfu_binding.h"
#include "formats/package_version_file.h"
#include "platform/native_library_loader.h"

namespace vantel3 {
namespace {

namespace fs = std::filesystem;

std::unique_ptr<SimWorkspace> Make(const Scenario& scenario, Clock& clock,
                                   const SimWorkspaceOptions& options = {}) {
  std::string error;
  auto workspace = SimWorkspace::Create(scenario, clock, options, error);
  EXPECT_NE(workspace, nullptr) << error;
  return workspace;
}

TEST(SimWorkspaceTest, LaysOutPackageProgramAndDriveAndRemovesThemAfterwards) {
  VirtualClock clock;
  Scenario scenario;
  scenario.package.targetVersion = "4.0.0";
  scenario.package.btVersion = "bt-4";
  scenario.program.faBinPresent = true;
  std::string root;
  {
    auto ws = Make(scenario, clock);
    ASSERT_NE(ws, nullptr);
    root = ws->root();
    const std::string data = ws->packageDir();
    EXPECT_EQ(data, root + "/data");
    for (const char* entry :
         {"RU3R.bin", "VO3Sboot.bin", "firmware.dfu", kDfuLibraryFileName, "locale/en/messages.txt",
          "brl/tables/en-us-g2.ctb", "Daisy/book1/audio/01.mp3", "Music/samples/track01.mp3"}) {
      EXPECT_TRUE(fs::is_regular_file(data + "/" + entry)) << entry;
    }
    std::string target, bt;
    ReadPackageVersionFile(ws->fs(), data + "/version.bin", target, bt);
    EXPECT_EQ(target, "4.0.0");
    EXPECT_EQ(bt, "bt-4");
    EXPECT_EQ(ws->programPath().ExecutablePath(), root + "/program/vantel3-updater");
    EXPECT_TRUE(fs::exists(ws->programMarkerPath()));
    const std::vector<Volume> volumes = ws->volumes().ListVolumes();
    ASSERT_EQ(volumes.size(), 1u);
    EXPECT_EQ(volumes[0].root, root + "/media/VANTEL3/");
    EXPECT_TRUE(ws->fs().Exists(volumes[0].root + "ru3r_ver2"));
  }
  EXPECT_FALSE(fs::exists(root)) << "the temp folder goes with the workspace";
}

TEST(SimWorkspaceTest, OmittedPackageEntriesAreMissing) {
  VirtualClock clock;
  Scenario scenario;
  scenario.package.omit = {"Daisy", "version.bin", "libhiddfu.so", "firmware.dfu"};
  auto ws = Make(scenario, clock);
  ASSERT_NE(ws, nullptr);
  for (const char* entry : {"Daisy", "version.bin", kDfuLibraryFileName, "firmware.dfu"}) {
    EXPECT_FALSE(fs::exists(ws->packageDir() + "/" + entry)) << entry;
  }
  EXPECT_TRUE(fs::exists(ws->packageDir() + "/locale"));
  EXPECT_FALSE(fs::exists(ws->programMarkerPath()));
}

TEST(SimWorkspaceTest, KeptFolderMustBeEmptyAndStays) {
  VirtualClock clock;
  const fs::path dir = fs::temp_directory_path() / ("simws-keep-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  {
    SimWorkspaceOptions options;
    options.keepDir = dir.string();
    auto ws = Make(Scenario{}, clock, options);
    ASSERT_NE(ws, nullptr);
    EXPECT_EQ(ws->root(), dir.string());
  }
  EXPECT_TRUE(fs::exists(dir / "data" / "RU3R.bin"));
  std::string error;
  EXPECT_EQ(SimWorkspace::Create(Scenario{}, clock, dir.string(), error), nullptr);
  EXPECT_THAT(error, ::testing::HasSubstr("not empty"));
  fs::remove_all(dir);
}

// What an updater killed while SD1 was shown leaves behind, taken up after a restart.
TEST(SimWorkspaceTest, OpenTakesUpTheDrivesAsAKilledRunLeftThem) {
  VirtualClock clock;
  const fs::path dir = fs::temp_directory_path() / ("simws-open-" + std::to_string(::getpid()));
  fs::remove_all(dir);
  {
    SimWorkspaceOptions options;
    options.keepDir = dir.string();
    ASSERT_NE(Make(Scenario{}, clock, options), nullptr);
  }
  // SD0 closed, SD1 shown with a staged folder, SD0's version file from a later device.
  fs::rename(dir / "media" / "VANTEL3", dir / "device" / "sd0");
  fs::rename(dir / "device" / "sd1", dir / "media" / "VANTEL31");
  fs::create_directories(dir / "media" / "VANTEL31" / "locale_temp");
  fs::remove(dir / "device" / "sd0" / "ru3r_ver2");
  std::ofstream(dir / "device" / "sd0" / "vo3_ver2")
      << R"({"model":"VO3","fw":"3.6.0","bt":"vt-bt-77","df":"uart"})"
      << "\r\n";
  std::string error;
  {
    auto ws = SimWorkspace::Open(dir.string(), Scenario{}, clock, error);
    ASSERT_NE(ws, nullptr) << error;
    EXPECT_EQ(ws->device().Mode(), DeviceMode::kNormal);
    EXPECT_TRUE(ws->device().IsMounted(SimDrive::kSd0));
    EXPECT_FALSE(ws->device().IsMounted(SimDrive::kSd1));
    EXPECT_TRUE(fs::exists(dir / "device" / "sd1" / "locale_temp"))
        << "nothing on a drive is tidied";
    EXPECT_EQ(ws->device().Generation(), 2);
    EXPECT_EQ(ws->device().BluetoothVersion(), "77");
    const std::vector<Volume> volumes = ws->volumes().ListVolumes();
    ASSERT_EQ(volumes.size(), 1u);
    EXPECT_EQ(volumes[0].root, dir.string() + "/media/VANTEL3/");
  }
  EXPECT_TRUE(fs::exists(dir / "data" / "RU3R.bin")) << "an opened workspace is kept";
  EXPECT_EQ(SimWorkspace::Open((dir / "data").string(), Scenario{}, clock, error), nullptr);
  EXPECT_THAT(error, ::testing::HasSubstr("not a simulation workspace"));
  fs::remove_all(dir / "media" / "VANTEL3");  // SD0, mounted by the restart
  EXPECT_EQ(SimWorkspace::Open(dir.string(), Scenario{}, clock, error), nullptr);
  EXPECT_THAT(error, ::testing::HasSubstr("SD0"));
  fs::remove_all(dir);
}

TEST(SimWorkspaceTest, MissingLibraryIsAnError) {
  VirtualClock clock;
  SimWorkspaceOptions options;
  options.libraryPath = "/nonexistent/libhiddfu.so";
  std::string error;
  EXPECT_EQ(SimWorkspace::Create(Scenario{}, clock, options, error), nullptr);
  EXPECT_THAT(error, ::testing::HasSubstr("/nonexistent/libhiddfu.so"));
}

// The program's way: bind the package's copy of the library, then plug the device in.
TEST(SimWorkspaceTest, PackageLibraryReachesTheDeviceUntilTheWorkspaceGoes) {
  VirtualClock clock;
  Scenario scenario;
  scenario.device.startMode = StartMode::kFirmwareUpgrade;
  NativeLibraryLoader loader;
  DfuApi api;
  uint32_t handle = 0;
  {
    auto ws = Make(scenario, clock);
    ASSERT_NE(ws, nullptr);
    ASSERT_EQ(BindDfuLibrary(loader, ws->libraryPath(), api), 1);
    EXPECT_NE(api.hidDfuConnect(kDfuVendorId, kDfuProductId, kDfuUsage, kDfuUsagePage, &handle), 0)
        << "nothing plugged in yet";
    EXPECT_EQ(ws->AttachToLibrary(loader, nullptr), 0);
    ASSERT_EQ(ws->AttachToLibrary(loader, api.module), 1);
    ASSERT_EQ(api.hidDfuConnect(kDfuVendorId, kDfuProductId, kDfuUsage, kDfuUsagePage, &handle), 0);
    ASSERT_EQ(api.hidDfuUpgrade((ws->packageDir() + "/firmware.dfu").c_str(), 1), 0);
    clock.Advance(4000);
    EXPECT_EQ(api.hidDfuGetProgress() & 0xFF, 100);
    EXPECT_EQ(api.hidDfuGetResult(), 0);
    EXPECT_EQ(api.hidDfuDisconnect(), 0);
    clock.Advance(5000);
    EXPECT_EQ(ws->device().Mode(), DeviceMode::kNormal);
    EXPECT_EQ(ws->device().BluetoothVersion(), scenario.package.btVersion);
  }
  EXPECT_NE(api.hidDfuConnect(kDfuVendorId, kDfuProductId, kDfuUsage, kDfuUsagePage, &handle), 0)
      << "the device is unplugged with its workspace";
}

TEST(SimWorkspaceTest, ScenarioFileFaultsHitTheUpdatersFileSystem) {
  VirtualClock clock;
  Scenario scenario;
  scenario.faults.fileFaults = {
      {FsOp::kRename, "*locale_temp", 2, std::make_error_code(std::errc::permission_denied)},
      {std::nullopt, "*never*", std::nullopt, std::make_error_code(std::errc::io_error)}};
  auto ws = Make(scenario, clock);
  ASSERT_NE(ws, nullptr);
  const std::string sd0 = ws->device().MountRoot(SimDrive::kSd0);
  FileSystem& f = ws->fs();
  ASSERT_FALSE(f.CreateDirectory(sd0 + "locale_temp"));
  EXPECT_EQ(f.Rename(sd0 + "locale_temp", sd0 + "locale"), std::errc::permission_denied);
  EXPECT_EQ(f.Rename(sd0 + "locale_temp", sd0 + "locale"), std::errc::permission_denied);
  EXPECT_FALSE(f.Rename(sd0 + "locale_temp", sd0 + "locale"));
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(f.WriteFile(sd0 + "never", "x"), std::errc::io_error);
    EXPECT_EQ(f.CreateDirectory(sd0 + "never2"), std::errc::io_error);
  }
  EXPECT_FALSE(fs::exists(sd0 + "never"));
  EXPECT_EQ(ws->faultFs().CountCalls(FsOp::kRename), 3u);
}

}  // namespace
}  // namespace vantel3
