// The connection, recovery and upgrade steps on a virtual clock, a temp-folder drive and a
// fake firmware-upgrade library. Whole runs on the simulated device are in tests/.
#include <gtest/gtest.h>

#include "../../tests/support/test_files.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "../../tests/support/fake_dfu.h"
#include "../../tests/support/recording_step_ui.h"
#include "platform/native_file_system.h"
#include "workflow/connect_device.h"
#include "workflow/main_update.h"
#include "workflow/messages.h"
#include "workflow/recovery.h"
#include "workflow/step_support.h"

namespace vantel3 {
namespace {

namespace fs = std::filesystem;
using testing::FakeDfu;
using testing::RecordingStepUi;

void WriteText(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

using testing::ReadText;

class StepsTest : public ::testing::Test {
 public:
  StepsTest()
      : dir_(fs::temp_directory_path() /
             ("vantel3-steps-" + std::to_string(::getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name())),
        programPath_((dir_ / "program" / "vantel3-updater").string()),
        services_{clock_, fs_, volumes_, programPath_, (dir_ / "data").string()},
        ui_(clock_, context_) {
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "drive");
    fs::create_directories(dir_ / "program");
    for (const char* file : {"RU3R.bin", "VO3Sboot.bin", "firmware.dfu"}) {
      WriteText(dir_ / "data" / file, "image");
    }
    for (const char* folder : {"locale", "brl", "Daisy", "Music"}) {
      WriteText(dir_ / "data" / folder / "a.txt", folder);
    }
    context_.dfuApi = dfu_.Bind();
  }
  ~StepsTest() override { fs::remove_all(dir_); }

  std::string DriveRoot() const { return (dir_ / "drive").string() + "/"; }
  void AttachDrive() { volumes_.Set({{DriveRoot(), true, "VANTEL3"}}); }

  fs::path dir_;
  VirtualClock clock_;
  NativeFileSystem fs_;
  StaticVolumeSource volumes_;
  FixedProgramPath programPath_;
  UpdateServices services_;
  UpdateContext context_;
  RecordingStepUi ui_;
  FakeDfu dfu_;
};

TEST(NextButtonPlacementTest, ScalesWithTheScreenDensityAndCentresBelowTheLabel) {
  struct Case {
    int dpiX, dpiY;
    PixelRect expected;
  };
  const PixelRect client{0, 0, 459, 279};
  const PixelRect label{0, 60, 459, 152};
  for (const Case& c : {Case{96, 96, {154, 172, 304, 212}}, Case{144, 144, {117, 182, 342, 242}},
                        Case{120, 96, {135, 172, 323, 212}}}) {
    const PixelRect r = ComputeNextButtonRect(c.dpiX, c.dpiY, client, label);
    EXPECT_EQ(r.left, c.expected.left) << c.dpiX;
    EXPECT_EQ(r.top, c.expected.top) << c.dpiX;
    EXPECT_EQ(r.width(), c.expected.width()) << c.dpiX;
    EXPECT_EQ(r.height(), c.expected.height()) << c.dpiX;
  }
}

TEST(TimedWaitProgressTest, RisesFromSixtyAndEndsAtExactlyOneHundred) {
  EXPECT_EQ(TimedWaitProgress(1, 108), 60);
  EXPECT_EQ(TimedWaitProgress(3, 108), 61);
  EXPECT_EQ(TimedWaitProgress(54, 108), 80);
  EXPECT_EQ(TimedWaitProgress(108, 108), 100);
  EXPECT_EQ(TimedWaitProgress(560, 560), 100);
  EXPECT_EQ(TimedWaitProgress(187, 188), 99);
}

TEST_F(StepsTest, FirmwareUpgradeDeviceAtStartReturnsAfterOneLookBeforeAnyText) {
  dfu_.present = true;
  EXPECT_EQ(ConnectDevice(context_, services_, ui_), -2);
  EXPECT_EQ(dfu_.connects, 1);
  EXPECT_TRUE(ui_.events().empty());
  EXPECT_GT(clock_.ElapsedMs(), 1000u);
  EXPECT_LT(clock_.ElapsedMs(), 1100u);
}

TEST_F(StepsTest, ConnectionReadsTheDeviceOnceNextIsClickedAndTheDriveIsThere) {
  WriteText(dir_ / "drive" / "ru3r_ver2",
            "{\"bt\":\"vt-bt-030108-002-251124-114355\",\"df\":\"usb\"}\r\n");
  AttachDrive();
  ui_.nextAfterMs = 5000;
  ASSERT_EQ(ConnectDevice(context_, services_, ui_), 0);
  EXPECT_EQ(context_.deviceRoot, DriveRoot());
  EXPECT_EQ(context_.model, 2);
  EXPECT_EQ(context_.generation, 2);
  EXPECT_EQ(context_.btUpdateNeeded, 0);
  EXPECT_EQ(context_.targetVersion, "3.5.2");  // no version.bin: the default
  EXPECT_FALSE(ui_.nextVisible);
  EXPECT_FALSE(ui_.nextEnabled);
  EXPECT_EQ(ui_.nextButtonRect.width(), 150);
  const auto texts = ui_.Lines("[text main]");
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[1], std::string("[text main] ") + msg::kSwitchToUpdateMode);
  // The click at ~6.5 s is seen at the next 200 ms poll; then the drive at the first poll,
  // the 3 s pause and the drive-or-device check a second later.
  EXPECT_GT(clock_.ElapsedMs(), 1500u + 5000u + 200u + 3000u + 1000u);
  EXPECT_LT(clock_.ElapsedMs(), 1500u + 5000u + 200u + 200u + 3000u + 1000u + 50u);
}

TEST_F(StepsTest, ConnectionFailuresShowTheirMessage) {
  struct Case {
    const char* name;
    std::function<void(StepsTest&)> arrange;
    const char* message;
  };
  const Case cases[] = {
      {"never clicked", [](StepsTest& t) { t.ui_.nextAfterMs.reset(); }, msg::kNextNotPressed},
      {"no drive", [](StepsTest& t) { t.volumes_.Set({}); }, msg::kNoDriveAfterNext},
      {"fixed disk only",
       [](StepsTest& t) {
         t.volumes_.Set({{t.DriveRoot(), false, "VANTEL3"}});
       },
       msg::kNoDriveAfterNext},
      {"no firmware", [](StepsTest& t) { fs::remove(t.dir_ / "data" / "RU3R.bin"); },
       "There is no FW."},
      {"no boot loader", [](StepsTest& t) { fs::remove(t.dir_ / "data" / "VO3Sboot.bin"); },
       "There is no BL."},
      {"no locale", [](StepsTest& t) { fs::remove_all(t.dir_ / "data" / "locale"); },
       "LOCALE is missing."},
      {"no brl", [](StepsTest& t) { fs::remove_all(t.dir_ / "data" / "brl"); }, "There is no BRL."},
      {"no Daisy", [](StepsTest& t) { fs::remove_all(t.dir_ / "data" / "Daisy"); },
       "DAISY is missing."},
      {"no version file", [](StepsTest&) {}, msg::kNoVersionFile},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    context_.nextPressed = 0;
    ui_.Reset();
    ui_.nextAfterMs = 1000;
    AttachDrive();
    c.arrange(*this);
    EXPECT_EQ(ConnectDevice(context_, services_, ui_), -1);
    EXPECT_EQ(ui_.Errors(), std::vector<std::string>{c.message});
    // restore what the case removed
    for (const char* file : {"RU3R.bin", "VO3Sboot.bin"}) WriteText(dir_ / "data" / file, "image");
    for (const char* folder : {"locale", "brl", "Daisy"}) {
      WriteText(dir_ / "data" / folder / "a.txt", folder);
    }
  }
}

TEST_F(StepsTest, MissingMusicInThePackageDoesNotStopTheConnection) {
  fs::remove_all(dir_ / "data" / "Music");
  WriteText(dir_ / "drive" / "vo3_ver", "");
  AttachDrive();
  EXPECT_EQ(ConnectDevice(context_, services_, ui_), 0);
  EXPECT_EQ(context_.generation, 1);
  EXPECT_EQ(context_.model, 1);
}

TEST_F(StepsTest, DfuUpgradePollsUntilOneHundredThenChecksResultAndDisconnects) {
  struct Case {
    std::vector<int32_t> progress;
    std::vector<uint8_t> reported;
  };
  for (const Case& c :
       {Case{{100}, {100}}, Case{{0, 37, 0x5A64}, {0, 37, 100}}, Case{{10, 250}, {10, 250}}}) {
    dfu_ = FakeDfu();
    dfu_.progress = c.progress;
    context_.dfuApi = dfu_.Bind();
    std::vector<uint8_t> reported;
    const uint64_t before = clock_.ElapsedMs();
    EXPECT_EQ(RunDfuUpgrade(context_.dfuApi, services_, [&](uint8_t p) { reported.push_back(p); }),
              1);
    EXPECT_EQ(reported, c.reported);
    EXPECT_EQ(clock_.ElapsedMs() - before, 1000u * c.reported.size());
    EXPECT_EQ(dfu_.results, 1);
    EXPECT_EQ(dfu_.disconnects, 1);
    EXPECT_EQ(dfu_.imagePath, services_.packageDir + "/firmware.dfu");
  }
}

TEST_F(StepsTest, DfuUpgradeFailsWithoutDisconnectWhenStartOrResultFailsOrProgressStalls) {
  dfu_.upgradeResult = 3;
  EXPECT_EQ(RunDfuUpgrade(context_.dfuApi, services_, [](uint8_t) {}), 0);
  EXPECT_EQ(dfu_.progressPolls, 0);

  dfu_ = FakeDfu();
  dfu_.result = 1;
  context_.dfuApi = dfu_.Bind();
  EXPECT_EQ(RunDfuUpgrade(context_.dfuApi, services_, [](uint8_t) {}), 0);
  EXPECT_EQ(dfu_.disconnects, 0);

  dfu_ = FakeDfu();
  dfu_.progress = {5, 20, 40};  // then stuck at 40
  context_.dfuApi = dfu_.Bind();
  const uint64_t before = clock_.ElapsedMs();
  EXPECT_EQ(RunDfuUpgrade(context_.dfuApi, services_, [](uint8_t) {}), 0);
  EXPECT_EQ(clock_.ElapsedMs() - before, 2000u + kDfuProgressStallMs);
  EXPECT_EQ(dfu_.results, 0);
}

TEST_F(StepsTest, RestoreShowsTheLibraryPercentageUnscaled) {
  dfu_.progress = {37, 100};
  EXPECT_EQ(RestoreInterruptedDfu(context_, services_, ui_), 0);
  EXPECT_EQ(ui_.Progress(), (std::vector<int>{0, 37, 100}));
  EXPECT_EQ(ui_.Lines("[text restore]").size(), 1u);

  dfu_.upgradeResult = 1;
  ui_.Reset();
  EXPECT_EQ(RestoreInterruptedDfu(context_, services_, ui_), -1);
  EXPECT_EQ(ui_.Progress(), std::vector<int>{0});
  EXPECT_EQ(ui_.Errors(), std::vector<std::string>{msg::kRestoreFailed});
}

// Counts reads, to show that without the marker the version file is never opened.
class CountingFileSystem : public ForwardingFileSystem {
 public:
  using ForwardingFileSystem::ForwardingFileSystem;
  std::error_code ReadFile(const Path& path, std::size_t maxBytes, std::string& out) override {
    ++reads;
    return ForwardingFileSystem::ReadFile(path, maxBytes, out);
  }
  int reads = 0;
};

TEST_F(StepsTest, UartFallbackRewritesOnlyWithTheMarkerAndThenRemovesIt) {
  const fs::path marker = dir_ / "program" / "fa.bin";
  const fs::path ru3r = dir_ / "drive" / "ru3r_ver2";
  const fs::path vo3 = dir_ / "drive" / "vo3_ver2";
  WriteText(ru3r, "{\"bt\":\"x\",\n\"df\":\"usb\"}");
  WriteText(vo3, "{\"df\":\"usb\"}\n");
  context_.deviceRoot = DriveRoot();
  CountingFileSystem counting(fs_);
  UpdateServices services{clock_, counting, volumes_, programPath_, services_.packageDir};

  ApplyUartFallback(context_, services);
  EXPECT_EQ(counting.reads, 0);
  EXPECT_EQ(ReadText(ru3r), "{\"bt\":\"x\",\n\"df\":\"usb\"}");

  WriteText(marker, "\x01");
  ApplyUartFallback(context_, services);
  EXPECT_EQ(ReadText(ru3r), "{\"bt\":\"x\",\r\n\"df\":\"uart\"}\r\n");
  EXPECT_EQ(ReadText(vo3), "{\"df\":\"usb\"}\n");  // only the first choice is rewritten
  EXPECT_FALSE(fs::exists(marker));
  const int reads = counting.reads;
  ApplyUartFallback(context_, services);
  EXPECT_EQ(counting.reads, reads);

  // A drive with only a first-generation file keeps the marker for the next run.
  fs::remove(ru3r);
  fs::remove(vo3);
  WriteText(dir_ / "drive" / "vt_ver", "");
  WriteText(marker, "\x01");
  ApplyUartFallback(context_, services);
  EXPECT_TRUE(fs::exists(marker));
}

}  // namespace
}  // namespace vantel3
