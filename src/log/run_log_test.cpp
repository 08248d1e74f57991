#include "log/run_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "log/logging_services.h"
#include "platform/platform_test_dir.h"
#include "platform/system_services.h"

namespace vantel3 {
namespace {

namespace stdfs = std::filesystem;

// 2026-12-11 16:55:23.123 UTC.
constexpr int64_t kStartUtcMs = 1797008123123;

class FixedWallClock final : public WallClock {
 public:
  explicit FixedWallClock(int64_t ms) : ms_(ms) {}
  int64_t UtcMs() override { return ms_; }
  int64_t ms_;
};

std::vector<std::string> Lines(const std::string& path) {
  std::string text;
  EXPECT_TRUE(ReadLogFile(path, 1 << 24, text)) << path;
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(RunLogTest, EachLineHasTheUtcTimeTheMillisecondsSinceTheStartAndTheEvent) {
  PlatformTestDir dir;
  VirtualClock clock(4000000000u);  // the run's clock wraps during the run
  FixedWallClock wall(kStartUtcMs);
  RunLog log((dir / "log").string(), clock, wall);
  log.Event("program vantel3-updater-text 1.0.0");
  clock.Advance(300000000);
  wall.ms_ += 1001;
  log.Notice(
      "a\nb\r\t\x01"
      "c");

  ASSERT_EQ(log.path(), (dir / "log" / "2026-12-11T16-55-23.123Z.log").string());
  EXPECT_EQ(Lines(log.path()),
            (std::vector<std::string>{
                "2026-12-11T16:55:23.123Z         0 program vantel3-updater-text 1.0.0",
                "2026-12-11T16:55:24.124Z 300000000 a\\nb\\r\\t\\x01c",
            }));
}

TEST(RunLogTest, TheLastRunsAreKeptAndOtherFilesAreLeftAlone) {
  PlatformTestDir dir;
  const std::string folder = (dir / "log").string();
  WriteTestFile(dir / "log" / "notes.txt", "the user's own");
  VirtualClock clock;
  FixedWallClock wall(kStartUtcMs);
  RunLogLimits limits;
  limits.keepRuns = 3;
  std::vector<std::string> made;
  for (int run = 0; run < 5; ++run) {
    RunLog log(folder, clock, wall, limits);
    made.push_back(stdfs::path(log.path()).filename().string());
    // the same millisecond twice: the second start takes the next free name
    if (run != 1) wall.ms_ += 60000;
  }
  EXPECT_EQ(made[2], "2026-12-11T16-56-23.124Z.log");
  EXPECT_EQ(ListRunLogs(folder), (std::vector<std::string>{made[2], made[3], made[4]}));
  EXPECT_TRUE(stdfs::exists(dir / "log" / "notes.txt"));
}

TEST(RunLogTest, AFullLogKeepsRoomForNoticesAndNeverPassesItsCap) {
  PlatformTestDir dir;
  VirtualClock clock;
  FixedWallClock wall(kStartUtcMs);
  RunLogLimits limits;
  limits.capBytes = 4096;
  limits.noticeReserveBytes = 1024;
  limits.maxEventBytes = 200;
  RunLog log(dir.path().string(), clock, wall, limits);
  for (int i = 0; i < 200; ++i) log.Event("copy " + std::to_string(i) + std::string(300, 'x'));
  log.Notice("message box: FW transfer failed.");
  for (int i = 0; i < 200; ++i) log.Notice("step ended: RunMainUpdate = -1");

  const std::vector<std::string> lines = Lines(log.path());
  EXPECT_LE(stdfs::file_size(log.path()), 4096u);
  ASSERT_GE(lines.size(), 3u);
  EXPECT_NE(lines[0].find(" ... (106 more bytes left out)"), std::string::npos) << lines[0];
  int full = 0;
  bool failureKept = false;
  for (const std::string& line : lines) {
    full += line.find("log full") != std::string::npos;
    failureKept |= line.find("message box: FW transfer failed.") != std::string::npos;
  }
  EXPECT_EQ(full, 1);
  EXPECT_TRUE(failureKept);
}

TEST(RunLogTest, AFolderThatCannotBeMadeGivesALogThatWritesNothing) {
  PlatformTestDir dir;
  WriteTestFile(dir / "file", "x");  // no folder can be made beneath a file, even by root
  VirtualClock clock;
  FixedWallClock wall(kStartUtcMs);
  for (const std::string& folder : {std::string(), (dir / "file" / "log").string()}) {
    RunLog log(folder, clock, wall);
    log.Event("program");
    log.Notice("exit status 0");
    EXPECT_EQ(log.path(), "");
  }
  EXPECT_FALSE(stdfs::exists(dir / "file" / "log"));
}

TEST(LoggingVolumeSourceTest, EachChangeOfTheListNamesTheDeviceDriveAndWhyOthersWerePassedOver) {
  struct Recorder final : EventLog {
    std::vector<std::string> events;
    void Event(std::string_view text) override { events.emplace_back(text); }
    void Notice(std::string_view text) override { events.emplace_back(text); }
  } log;
  StaticVolumeSource volumes({{"/", false, std::nullopt},
                              {"/media/a/USB/", true, std::string("USB")},
                              {"/media/a/X/", true, std::nullopt},
                              {"/media/a/VO3/", true, std::string("VO3")},
                              {"/media/a/VANTEL3/", true, std::string("VANTEL3")}});
  LoggingVolumeSource logged(volumes, log);
  (void)logged.ListVolumes();
  (void)logged.ListVolumes();  // unchanged: nothing new
  EXPECT_EQ(log.events, (std::vector<std::string>{
                            "volume list changed: 5 volumes, device drive /media/a/VO3/",
                            "volume / fixed (no label): passed over: not removable",
                            "volume /media/a/USB/ removable \"USB\": passed over: label is not "
                            "VANTEL3 or VO3",
                            "volume /media/a/X/ removable (no label): passed over: no label",
                            "volume /media/a/VO3/ removable \"VO3\": device drive",
                            "volume /media/a/VANTEL3/ removable \"VANTEL3\": passed over: an "
                            "earlier volume is the device drive",
                        }));
  volumes.Set({});
  (void)logged.ListVolumes();
  EXPECT_EQ(log.events.back(), "volume list changed: 0 volumes, device drive none");
}

#if defined(__linux__)
TEST(SystemLogFolderTest, LinuxUsesTheXdgStateFolderElseTheHomeFolder) {
  struct Case {
    const char* state;
    const char* home;
    const char* folder;
  };
  for (const Case& c : {Case{"/s", "/home/anna", "/s/vantel3-updater/log/"},
                        Case{"/s/", "/home/anna", "/s/vantel3-updater/log/"},
                        Case{"", "/home/anna", "/home/anna/.local/state/vantel3-updater/log/"},
                        Case{"rel", "/home/anna", "/home/anna/.local/state/vantel3-updater/log/"},
                        Case{"", "", ""}}) {
    SCOPED_TRACE(std::string(c.state) + "|" + c.home);
    EXPECT_EQ(LinuxLogFolder([&](const char* name) {
                return std::string(std::string(name) == "HOME" ? c.home : c.state);
              }),
              c.folder);
  }
}

#endif

}  // namespace
}  // namespace vantel3
