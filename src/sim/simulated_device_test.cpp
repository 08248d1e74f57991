#include "sim/simulated_device.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "dfu/dfu_api.h"
#include "dfu/dfu_binding.h"
#include "platform/clock.h"
#include "platform/native_file_system.h"
#include "platform/native_library_loader.h"
#include "platform/process.h"
#include "sim/sim_file_system.h"
#include "sim/sim_workspace.h"

namespace vantel3 {
namespace {

using ::testing::HasSubstr;

constexpr const char* kPackageBt = "030108-002-251124-114355";

// A device on a virtual clock in a temp folder, driven as the updater drives it: through the
// ticking file system, the volume list and the firmware-upgrade entry points.
class DeviceTest : public ::testing::Test {
 public:
  ~DeviceTest() override {
    device_.reset();
    std::error_code ec;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
  }

  void Start(const Scenario& scenario) {
    scenario_ = scenario;
    std::string folderError;
    ASSERT_EQ(MakeTempFolder("simdev-", dir_, folderError), 1) << folderError;
    device_ = std::make_unique<SimulatedDevice>(scenario_, clock_, posix_, dir_);
    std::string error;
    ASSERT_EQ(device_->Start(error), 1) << error;
    fs_ = std::make_unique<SimFileSystem>(posix_, *device_);
    volumes_ = std::make_unique<SimVolumeSource>(*device_);
  }

  // The first removable volume labelled as the device, as the updater looks for it.
  std::string FindDrive() {
    for (const Volume& v : volumes_->ListVolumes()) {
      if (v.removable && (v.label == "VANTEL3" || v.label == "VO3")) return v.root;
    }
    return {};
  }
  std::string Sd0() { return device_->MountRoot(SimDrive::kSd0); }
  std::string Sd1() { return device_->MountRoot(SimDrive::kSd1); }
  std::error_code Write(const std::string& path, std::string_view data = {}) {
    return fs_->WriteFile(path, data);
  }
  std::string Read(const std::string& path) {
    std::string out;
    EXPECT_FALSE(fs_->ReadFile(path, 4096, out)) << path;
    return out;
  }
  // Puts what the updater puts on SD0 before its marker, then the marker(s).
  void FillSd0(bool firmwareNo, bool firmwareDfu, const std::string& dfuVersion = kPackageBt) {
    ASSERT_FALSE(Write(Sd0() + "RU3R.bin", "VANTEL3 FW 3.5.2\nxx"));
    ASSERT_FALSE(Write(Sd0() + "VO3Sboot.bin", "VANTEL3 BL 3.5.2\nxx"));
    if (firmwareDfu) {
      ASSERT_FALSE(Write(Sd0() + "firmware.dfu", "VANTEL3 BT " + dfuVersion + "\n"));
    }
    ASSERT_FALSE(Write(Sd0() + "files_cp_ok_pc"));
    if (firmwareNo) {
      ASSERT_FALSE(Write(Sd0() + "firmware.no"));
    }
  }
  // From the SD0 marker to a writable SD1 with the default timing.
  void ToWritableSd1() {
    clock_.Advance(2000);  // SD0 closes
    clock_.Advance(3000);  // SD1 opens
    clock_.Advance(2000);  // SD1 writable
    ASSERT_EQ(FindDrive(), Sd1());
  }
  std::string WriteImage(const std::string& version) {
    const std::string path = dir_ + "/firmware.dfu";
    EXPECT_FALSE(posix_.WriteFile(path, "VANTEL3 BT " + version + "\n" + std::string(100, 'D')));
    return path;
  }
  int32_t Connect() {
    uint32_t handle = 0;
    return device_->DfuConnect(kDfuVendorId, kDfuProductId, kDfuUsage, kDfuUsagePage, &handle);
  }
  // Polls the progress as the updater does (low 8 bits, 1 s apart) until 100 or `maxPolls`.
  std::vector<int> PollProgress(int maxPolls = 20) {
    std::vector<int> seen;
    for (int i = 0; i < maxPolls; ++i) {
      const int p = device_->DfuGetProgress() & 0xFF;
      seen.push_back(p);
      if (p >= 100) break;
      clock_.Advance(1000);
    }
    return seen;
  }

  VirtualClock clock_;
  NativeFileSystem posix_;
  Scenario scenario_;
  std::string dir_;
  std::unique_ptr<SimulatedDevice> device_;
  std::unique_ptr<SimFileSystem> fs_;
  std::unique_ptr<SimVolumeSource> volumes_;
};

TEST_F(DeviceTest, SecondGenerationWithUsbBluetoothUpdateRunsToTheNewVersion) {
  Start(Scenario{});
  ASSERT_EQ(FindDrive(), Sd0());
  EXPECT_EQ(Read(Sd0() + "ru3r_ver2"),
            "{\"model\":\"RU3R\",\"fw\":\"3.5.1\",\"bt\":\"vt-bt-030108-002-250901-101500\","
            "\"df\":\"usb\"}\r\n");
  ASSERT_FALSE(fs_->CreateDirectory(Sd0() + "Music"));
  ASSERT_FALSE(Write(Sd0() + "Music/a.mp3", "a"));
  FillSd0(/*firmwareNo=*/false, /*firmwareDfu=*/false);

  clock_.Advance(1999);
  EXPECT_TRUE(fs_->Exists(Sd0())) << "SD0 closes 2000 ms after the marker";
  clock_.Advance(1);
  EXPECT_FALSE(fs_->Exists(Sd0()));
  EXPECT_EQ(FindDrive(), "");
  clock_.Advance(3000);
  ASSERT_EQ(FindDrive(), Sd1());
  EXPECT_NE(Sd1(), Sd0());

  // Read-only at first, for every kind of write.
  EXPECT_EQ(fs_->CreateDirectory(Sd1() + "__vantel_write_probe__"),
            std::errc::read_only_file_system);
  EXPECT_EQ(Write(Sd1() + "x"), std::errc::read_only_file_system);
  EXPECT_EQ(fs_->CopyFile(Sd1() + "none", Sd1() + "y"), std::errc::read_only_file_system);
  clock_.Advance(2000);
  ASSERT_FALSE(fs_->CreateDirectory(Sd1() + "locale"));
  ASSERT_FALSE(Write(Sd1() + "locale/en.txt", "en"));
  ASSERT_FALSE(Write(Sd1() + "files_cp_ok_pc"));

  clock_.Advance(2000);
  EXPECT_EQ(FindDrive(), "");
  EXPECT_NE(Connect(), 0) << "no firmware-upgrade device before its delay";
  clock_.Advance(3000);
  ASSERT_EQ(device_->Mode(), DeviceMode::kFirmwareUpgrade);
  ASSERT_EQ(Connect(), 0);
  ASSERT_EQ(device_->DfuUpgrade(WriteImage(kPackageBt).c_str(), 1), 0);
  EXPECT_EQ(PollProgress(), (std::vector<int>{0, 25, 50, 75, 100}));
  EXPECT_EQ(device_->DfuGetResult(), 0);
  EXPECT_EQ(device_->DfuDisconnect(), 0);
  EXPECT_NE(Connect(), 0) << "the device reboots after the disconnect";

  clock_.Advance(5000);
  ASSERT_EQ(FindDrive(), Sd0());
  EXPECT_EQ(device_->BluetoothVersion(), kPackageBt);
  EXPECT_EQ(device_->BluetoothInstalls(), 1);
  EXPECT_EQ(Read(Sd0() + "ru3r_ver2"),
            "{\"model\":\"RU3R\",\"fw\":\"3.5.2\",\"bt\":\"vt-bt-030108-002-251124-114355\","
            "\"df\":\"usb\"}\r\n");
  // Installed content stays, markers are consumed.
  EXPECT_TRUE(fs_->Exists(Sd0() + "RU3R.bin"));
  EXPECT_TRUE(fs_->Exists(Sd0() + "Music/a.mp3"));
  EXPECT_FALSE(fs_->Exists(Sd0() + "files_cp_ok_pc"));
  EXPECT_TRUE(fs_->Exists(device_->DriveFolder(SimDrive::kSd1) + "/locale/en.txt"));
  EXPECT_FALSE(fs_->Exists(device_->DriveFolder(SimDrive::kSd1) + "/files_cp_ok_pc"));
}

// After SD1's marker the device takes Bluetooth over USB only when SD0 had neither
// "firmware.no" nor "firmware.dfu"; otherwise it updates itself and SD0 comes back.
TEST_F(DeviceTest, DeviceUpdatesItselfWhenBluetoothIsNotItsUsbJob) {
  struct Case {
    const char* name;
    bool firmwareNo;
    bool firmwareDfu;
    std::string btAfter;
  };
  const Case cases[] = {
      {"no Bluetooth update", true, false, "030108-002-250901-101500"},
      {"firmware.dfu on SD0", false, true, kPackageBt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Start(Scenario{});
    FillSd0(c.firmwareNo, c.firmwareDfu);
    ToWritableSd1();
    ASSERT_FALSE(Write(Sd1() + "files_cp_ok_pc"));
    clock_.Advance(2000);
    EXPECT_EQ(FindDrive(), "");
    clock_.Advance(29999);
    EXPECT_EQ(FindDrive(), "") << "still updating itself";
    EXPECT_NE(Connect(), 0);
    clock_.Advance(1);
    ASSERT_EQ(FindDrive(), Sd0());
    EXPECT_EQ(device_->BluetoothVersion(), c.btAfter);
    EXPECT_FALSE(fs_->Exists(Sd0() + "firmware.dfu")) << "installed images are consumed";
    EXPECT_FALSE(fs_->Exists(Sd0() + "firmware.no"));
    device_.reset();
    std::filesystem::remove_all(dir_);
  }
}

TEST_F(DeviceTest, RewrittenTransportSurvivesTheUpdate) {
  Start(Scenario{});
  // What the updater's fallback leaves: "df" switched to "uart".
  ASSERT_FALSE(
      Write(Sd0() + "ru3r_ver2",
            "{\"model\":\"RU3R\",\"fw\":\"3.5.1\",\"bt\":\"vt-bt-1\",\"df\":\"uart\"}\r\n"));
  FillSd0(false, true, "9.9.9");
  ToWritableSd1();
  ASSERT_FALSE(Write(Sd1() + "files_cp_ok_pc"));
  clock_.Advance(2000 + 30000);
  EXPECT_EQ(Read(Sd0() + "ru3r_ver2"),
            "{\"model\":\"RU3R\",\"fw\":\"3.5.2\",\"bt\":\"vt-bt-9.9.9\",\"df\":\"uart\"}\r\n");
}

TEST_F(DeviceTest, FirstGenerationRestartsAsSecondGeneration) {
  struct Case {
    std::string versionFile;
    bool staysFirst;
    std::string fileAfter;
    int generationAfter;
  };
  const Case cases[] = {
      {"vo3_ver", false, "vo3_ver2", 2},
      {"ru3r_ver", false, "ru3r_ver2", 2},
      {"vt_ver", false, "ru3r_ver2", 2},
      {"vo3_ver", true, "vo3_ver", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.versionFile + (c.staysFirst ? " (stays first generation)" : ""));
    Scenario s;
    s.device.versionFile = c.versionFile;
    s.faults.staysFirstGeneration = c.staysFirst;
    Start(s);
    EXPECT_EQ(device_->Generation(), 1);
    ASSERT_FALSE(Write(Sd0() + "RU3R.bin", "VANTEL3 FW 3.5.2\n"));
    // A marker without both images does nothing.
    ASSERT_FALSE(Write(Sd0() + "update_go", "\x07"));
    clock_.Advance(10000);
    ASSERT_EQ(FindDrive(), Sd0());
    ASSERT_FALSE(Write(Sd0() + "VO3Sboot.bin", "VANTEL3 BL 3.5.2\n"));
    ASSERT_FALSE(Write(Sd0() + "update_go", "\x07"));

    clock_.Advance(2000);
    EXPECT_EQ(FindDrive(), "");
    clock_.Advance(5000);
    ASSERT_EQ(FindDrive(), Sd0());
    EXPECT_EQ(device_->Generation(), c.generationAfter);
    EXPECT_TRUE(fs_->Exists(Sd0() + c.fileAfter));
    if (c.fileAfter != c.versionFile) {
      EXPECT_FALSE(fs_->Exists(Sd0() + c.versionFile));
    }
    EXPECT_FALSE(fs_->Exists(Sd0() + "update_go")) << "the marker is consumed";
    if (c.generationAfter == 2) {
      EXPECT_THAT(Read(Sd0() + c.fileAfter), HasSubstr("\"fw\":\"3.5.2\""));
    }
    // Nothing more happens: no restart loop.
    clock_.Advance(60000);
    EXPECT_EQ(FindDrive(), Sd0());
    device_.reset();
    std::filesystem::remove_all(dir_);
  }
}

// Each "never" knob stops the device at its step, for good.
TEST_F(DeviceTest, NeverKnobsStopTheDeviceAtTheirStep) {
  struct Case {
    const char* name;
    void (*configure)(Scenario&);
    void (*act)(DeviceTest&);
    const char* expectedDrive;  // "sd0", "sd1" or "" (none) long after
    bool writableSd1;
  };
  const Case cases[] = {
      {"SD0 never appears", [](Scenario& s) { s.device.sd0AppearsAtMs.reset(); },
       [](DeviceTest&) {}, "", false},
      {"gen 1 never restarts",
       [](Scenario& s) {
         s.device.versionFile = "ru3r_ver";
         s.timing.restartDelayMs.reset();
       },
       [](DeviceTest& t) {
         ASSERT_FALSE(t.Write(t.Sd0() + "RU3R.bin"));
         ASSERT_FALSE(t.Write(t.Sd0() + "VO3Sboot.bin"));
         ASSERT_FALSE(t.Write(t.Sd0() + "update_go", "\x07"));
       },
       "sd0", false},
      {"SD0 never closes", [](Scenario& s) { s.timing.sd0CloseDelayMs.reset(); },
       [](DeviceTest& t) { t.FillSd0(false, false); }, "sd0", false},
      {"SD1 never opens", [](Scenario& s) { s.timing.sd1OpenDelayMs.reset(); },
       [](DeviceTest& t) { t.FillSd0(false, false); }, "", false},
      {"SD1 never writable", [](Scenario& s) { s.timing.sd1WritableDelayMs.reset(); },
       [](DeviceTest& t) { t.FillSd0(false, false); }, "sd1", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Scenario s;
    c.configure(s);
    Start(s);
    c.act(*this);
    clock_.Advance(600000);
    const std::string expected = std::string(c.expectedDrive) == "sd0"   ? Sd0()
                                 : std::string(c.expectedDrive) == "sd1" ? Sd1()
                                                                         : "";
    EXPECT_EQ(FindDrive(), expected);
    EXPECT_NE(Connect(), 0);
    if (expected == Sd1()) {
      EXPECT_EQ(fs_->CreateDirectory(Sd1() + "probe"), std::errc::read_only_file_system);
    }
    device_.reset();
    std::filesystem::remove_all(dir_);
  }
}

TEST_F(DeviceTest, LateWritableSd1AndItsRefusalError) {
  Scenario s;
  s.timing.sd1WritableDelayMs = 20000;
  s.faults.sd1ReadOnlyError = std::make_error_code(std::errc::permission_denied);
  Start(s);
  FillSd0(false, false);
  clock_.Advance(5000);
  ASSERT_EQ(FindDrive(), Sd1());
  clock_.Advance(19999);
  EXPECT_EQ(fs_->CreateDirectory(Sd1() + "p"), std::errc::permission_denied);
  EXPECT_EQ(fs_->Rename(dir_ + "/device/sd0/ru3r_ver2", Sd1() + "v"), std::errc::permission_denied)
      << "a move onto SD1 is a write to it";
  clock_.Advance(1);
  EXPECT_FALSE(fs_->CreateDirectory(Sd1() + "p"));
}

TEST_F(DeviceTest, SameRootReopensFasterThanAPoll) {
  Scenario s;
  s.device.sameRoot = true;
  s.timing.sd0CloseDelayMs = 1400;
  s.timing.sd1OpenDelayMs = 200;
  Start(s);
  const std::string root = Sd0();
  EXPECT_EQ(Sd1(), root);
  FillSd0(false, false);
  // Polled once a second from the marker on, as the wait for SD0 to close does.
  for (int second = 1; second <= 60; ++second) {
    clock_.Advance(1000);
    ASSERT_TRUE(fs_->Exists(root)) << "seen missing at " << second << " s";
  }
  EXPECT_EQ(device_->Mode(), DeviceMode::kUpdateMode);
  EXPECT_FALSE(fs_->Exists(root + "ru3r_ver2")) << "the root now shows SD1's content";
}

TEST_F(DeviceTest, VolumeListShowsLabelsRemovabilityAndExtraVolumes) {
  Scenario s;
  s.device.label = "VO3";
  s.device.removable = false;
  s.device.extraVolumes = {{"disk", "VANTEL3", false}, {"stick", std::nullopt, true}};
  Start(s);
  const std::vector<Volume> volumes = volumes_->ListVolumes();
  ASSERT_EQ(volumes.size(), 3u);
  EXPECT_EQ(volumes[0].root, dir_ + "/media/disk/");
  EXPECT_EQ(volumes[0].label, "VANTEL3");
  EXPECT_FALSE(volumes[0].removable);
  EXPECT_EQ(volumes[1].label, std::nullopt);
  EXPECT_EQ(volumes[2].root, dir_ + "/media/VO3/");
  EXPECT_EQ(volumes[2].label, "VO3");
  EXPECT_FALSE(volumes[2].removable);
  EXPECT_EQ(FindDrive(), "");
}

TEST_F(DeviceTest, DriveShowsUpAtItsTimeAndItsFolderReallyMoves) {
  Scenario s;
  s.device.sd0AppearsAtMs = 4000;
  Start(s);
  EXPECT_FALSE(posix_.Exists(Sd0()));
  EXPECT_TRUE(posix_.Exists(dir_ + "/device/sd0/ru3r_ver2"));
  clock_.Advance(3999);
  EXPECT_EQ(FindDrive(), "");
  clock_.Advance(1);
  EXPECT_EQ(FindDrive(), Sd0());
  EXPECT_TRUE(posix_.Exists(Sd0() + "ru3r_ver2"));
  EXPECT_FALSE(posix_.Exists(dir_ + "/device/sd0"));
}

TEST_F(DeviceTest, DriveVanishesAfterTheNthCopyIntoIt) {
  Scenario s;
  s.faults.vanishMidCopy = VanishMidCopy{SimDrive::kSd0, 3, 10000};
  Start(s);
  const std::string source = dir_ + "/src.bin";
  ASSERT_FALSE(posix_.WriteFile(source, "x"));
  ASSERT_FALSE(fs_->CopyFile(source, dir_ + "/elsewhere.bin")) << "copies elsewhere do not count";
  ASSERT_FALSE(fs_->CopyFile(source, Sd0() + "1"));
  ASSERT_FALSE(fs_->CopyFile(source, Sd0() + "2"));
  EXPECT_EQ(FindDrive(), Sd0());
  ASSERT_FALSE(fs_->CopyFile(source, Sd0() + "3"));
  EXPECT_EQ(FindDrive(), "");
  EXPECT_TRUE(fs_->CopyFile(source, Sd0() + "4"));
  clock_.Advance(10000);
  ASSERT_EQ(FindDrive(), Sd0());
  EXPECT_TRUE(fs_->Exists(Sd0() + "3"));
  ASSERT_FALSE(fs_->CopyFile(source, Sd0() + "5")) << "it vanishes once";
  EXPECT_EQ(FindDrive(), Sd0());
}

// The firmware-upgrade mode's failure knobs, seen as the updater's upgrade sequence sees them.
TEST_F(DeviceTest, FirmwareUpgradeKnobs) {
  struct Case {
    const char* name;
    void (*configure)(Scenario&);
    int32_t upgrade;  // 0 or nonzero
    std::vector<int> progress;
    int32_t result;  // 0 or nonzero
    int32_t disconnect;
    DeviceMode after;  // long after the disconnect
    bool garbageAbove = false;
  };
  std::vector<int> stuck(20, 42);
  stuck[0] = 0;
  stuck[1] = 25;
  const Case cases[] = {
      {"plain", [](Scenario&) {}, 0, {0, 25, 50, 75, 100}, 0, 0, DeviceMode::kNormal},
      {"start fails",
       [](Scenario& s) { s.faults.dfuStartFails = true; },
       1,
       {},
       1,
       0,
       DeviceMode::kFirmwareUpgrade},
      {"result fails",
       [](Scenario& s) { s.faults.dfuResultFails = true; },
       0,
       {0, 25, 50, 75, 100},
       1,
       0,
       DeviceMode::kFirmwareUpgrade},
      {"disconnect fails",
       [](Scenario& s) { s.faults.dfuDisconnectFails = true; },
       0,
       {0, 25, 50, 75, 100},
       0,
       1,
       DeviceMode::kNormal},
      {"stuck at 42", [](Scenario& s) { s.faults.dfuProgressStuckAt = 42; }, 0, stuck, 1, 0,
       DeviceMode::kFirmwareUpgrade},
      {"high bits",
       [](Scenario& s) { s.faults.dfuProgressStyle = ProgressStyle::kHighBits; },
       0,
       {0, 25, 50, 75, 100},
       0,
       0,
       DeviceMode::kNormal,
       true},
      {"jumps",
       [](Scenario& s) { s.faults.dfuProgressStyle = ProgressStyle::kJumps; },
       0,
       {0, 0, 40, 40, 100},
       0,
       0,
       DeviceMode::kNormal},
      {"overshoot",
       [](Scenario& s) { s.faults.dfuProgressStyle = ProgressStyle::kOvershoot; },
       0,
       {0, 25, 50, 75, 200},
       0,
       0,
       DeviceMode::kNormal},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Scenario s;
    s.device.startMode = StartMode::kFirmwareUpgrade;
    c.configure(s);
    Start(s);
    EXPECT_EQ(FindDrive(), "");
    ASSERT_EQ(Connect(), 0);
    EXPECT_EQ(device_->DfuUpgrade(WriteImage(kPackageBt).c_str(), 1) != 0, c.upgrade != 0);
    if (c.upgrade == 0) {
      EXPECT_EQ(PollProgress(), c.progress);
      if (c.garbageAbove) {
        EXPECT_GT(device_->DfuGetProgress(), 255) << "garbage above the low 8 bits";
      }
    }
    EXPECT_EQ(device_->DfuGetResult() != 0, c.result != 0);
    EXPECT_EQ(device_->DfuDisconnect() != 0, c.disconnect != 0);
    clock_.Advance(60000);
    EXPECT_EQ(device_->Mode(), c.after);
    if (c.after == DeviceMode::kNormal) {
      EXPECT_EQ(FindDrive(), Sd0());
      EXPECT_EQ(device_->BluetoothVersion(), kPackageBt);
    }
    device_.reset();
    std::filesystem::remove_all(dir_);
  }
}

TEST_F(DeviceTest, FirmwareUpgradeRefusesWhatARealDeviceWould) {
  Scenario s;
  s.device.startMode = StartMode::kFirmwareUpgrade;
  s.faults.sd0AfterRestore = false;
  Start(s);
  uint32_t handle = 0;
  EXPECT_NE(device_->DfuConnect(0x0A12, 0xFFFF, 1, 0xFF00, &handle), 0) << "other product";
  EXPECT_NE(device_->DfuUpgrade(WriteImage(kPackageBt).c_str(), 1), 0) << "not connected";
  ASSERT_EQ(Connect(), 0);
  EXPECT_NE(device_->DfuUpgrade((dir_ + "/missing.dfu").c_str(), 1), 0);
  EXPECT_NE(device_->DfuGetResult(), 0) << "no upgrade ran";
  // Not an image: the upgrade runs but fails at the end; the device stays in DFU mode.
  const std::string junk = dir_ + "/junk.dfu";
  ASSERT_FALSE(posix_.WriteFile(junk, "garbage"));
  ASSERT_EQ(device_->DfuUpgrade(junk.c_str(), 1), 0);
  clock_.Advance(4000);
  EXPECT_NE(device_->DfuGetResult(), 0);
  EXPECT_EQ(device_->DfuDisconnect(), 0);
  clock_.Advance(60000);
  ASSERT_EQ(device_->Mode(), DeviceMode::kFirmwareUpgrade);
  // Abandoned mid-way: also stays.
  ASSERT_EQ(Connect(), 0);
  ASSERT_EQ(device_->DfuUpgrade(WriteImage(kPackageBt).c_str(), 1), 0);
  clock_.Advance(1000);
  EXPECT_EQ(device_->DfuGetResult(), 2) << "still running";
  EXPECT_EQ(device_->DfuDisconnect(), 0);
  EXPECT_EQ(device_->Mode(), DeviceMode::kFirmwareUpgrade);
  // A good restore; this scenario's SD0 does not come back.
  ASSERT_EQ(Connect(), 0);
  ASSERT_EQ(device_->DfuUpgrade(WriteImage(kPackageBt).c_str(), 1), 0);
  clock_.Advance(4000);
  EXPECT_EQ(device_->DfuGetResult(), 0);
  EXPECT_EQ(device_->DfuDisconnect(), 0);
  clock_.Advance(60000);
  EXPECT_EQ(device_->Mode(), DeviceMode::kOff);
  EXPECT_EQ(FindDrive(), "");
  EXPECT_EQ(device_->BluetoothInstalls(), 1);
}

TEST_F(DeviceTest, NoFirmwareUpgradeDeviceAfterSd1) {
  Scenario s;
  s.timing.dfuAppearsDelayMs.reset();
  Start(s);
  FillSd0(false, false);
  ToWritableSd1();
  ASSERT_FALSE(Write(Sd1() + "files_cp_ok_pc"));
  clock_.Advance(600000);
  EXPECT_EQ(FindDrive(), "");
  EXPECT_NE(Connect(), 0);
}

// The stand-in library forwards to the plugged-in device and finds no device without one.
TEST_F(DeviceTest, StandInLibraryForwardsToTheAttachedDevice) {
  const std::string library = FindSimLibrary();
  ASSERT_FALSE(library.empty()) << "libhiddfu.so not built";
  Scenario s;
  s.device.startMode = StartMode::kFirmwareUpgrade;
  Start(s);
  NativeLibraryLoader loader;
  DfuApi api;
  ASSERT_EQ(BindDfuLibrary(loader, library, api), 1);
  auto attach =
      reinterpret_cast<Vantel3SimAttachFn>(loader.Symbol(api.module, VANTEL3_SIM_ATTACH_EXPORT));
  ASSERT_NE(attach, nullptr);
  uint32_t handle = 0;
  attach(nullptr);
  EXPECT_NE(api.hidDfuConnect(kDfuVendorId, kDfuProductId, kDfuUsage, kDfuUsagePage, &handle), 0);
  attach(&device_->DfuEndpoint());
  ASSERT_EQ(api.hidDfuConnect(kDfuVendorId, kDfuProductId, kDfuUsage, kDfuUsagePage, &handle), 0);
  ASSERT_EQ(api.hidDfuUpgrade(WriteImage("7.7.7").c_str(), 1), 0);
  clock_.Advance(2000);
  EXPECT_EQ(api.hidDfuGetProgress() & 0xFF, 50);
  clock_.Advance(2000);
  EXPECT_EQ(api.hidDfuGetResult(), 0);
  EXPECT_EQ(api.hidDfuResetDevice(), 0);
  EXPECT_EQ(api.hidDfuDisconnect(), 0);
  attach(nullptr);
  clock_.Advance(5000);
  EXPECT_EQ(device_->BluetoothVersion(), "7.7.7");
  EXPECT_NE(api.hidDfuConnect(kDfuVendorId, kDfuProductId, kDfuUsage, kDfuUsagePage, &handle), 0);
}

}  // namespace
}  // namespace vantel3
