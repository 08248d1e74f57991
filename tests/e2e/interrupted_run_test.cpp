// Interrupted updates: the built text front end runs a simulated update as a child process
// and is killed (SIGKILL, like a crash or a closed laptop lid) at chosen file operations of
// the run: right before one, in the middle of a copy or a write (half of the bytes on the
// drive), around the writes of the markers. The user then restarts the device and runs the
// updater again on the same drives. That second run must end in success and leave the
// drives exactly as an uninterrupted run does: no temporary or probe folder, no half file,
// the version file complete.
#include <gtest/gtest.h>

#include "../support/test_files.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "formats/device_version_file.h"
#include "sim/sim_kill_switch.h"
#include "text/text_front_end.h"

extern char** environ;

namespace vantel3 {
namespace {

namespace fs = std::filesystem;

using testing::ReadText;

struct ChildResult {
  bool exited = false;
  int status = -1;  // exit status when exited
  int signal = 0;   // the signal that ended it otherwise
  std::string out;
};

// Runs the text front end with `args`; `extraEnv` entries ("NAME=value") are added to this
// process's environment with the kill-switch variables taken out first.
ChildResult RunChild(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv,
                     const fs::path& outFile) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    if (entry.rfind(std::string(kSimKillAtCallVariable) + "=", 0) == 0 ||
        entry.rfind(std::string(kSimCallTraceVariable) + "=", 0) == 0) {
      continue;
    }
    env.push_back(entry);
  }
  env.insert(env.end(), extraEnv.begin(), extraEnv.end());
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> argStore{VANTEL3_TEXT_BINARY};
  argStore.insert(argStore.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argStore) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = 0;
  ChildResult result;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    ADD_FAILURE() << "cannot start " << argv[0] << ": " << std::strerror(spawned);
    return result;
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status)) {
    result.exited = true;
    result.status = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.signal = WTERMSIG(status);
  }
  result.out = ReadText(outFile);
  return result;
}

bool IsVersionFileName(const std::string& name) {
  return name == kVersionFileVo3Gen2 || name == kVersionFileRu3rGen2 ||
         name == kVersionFileVo3Gen1 || name == kVersionFileRu3rGen1 || name == kVersionFileVtGen1;
}

// The version file as far as the updater decides it: the model (from the name) and the
// transport; "<unreadable>" when "fw", "bt" or "df" cannot be read from it. Its versions are
// the device's own business: they change with the moment the device finishes, which a run
// that took a different way (a Retry, a restore) reaches at a different time.
std::string VersionFileDigest(const std::string& name, const std::string& bytes) {
  const std::string text = JoinTextLines(bytes, "");
  std::string value;
  std::string df;
  for (const char* key : {"\"fw\"", "\"bt\""}) {
    if (ExtractVersionValue(text, key, value) != 1) return "<unreadable>";
  }
  if (ExtractVersionValue(text, "\"df\"", df) != 1) return "<unreadable>";
  return "<version file " + name + ", df " + df + ">";
}

// Every file and folder on the drives SD0 and SD1 (wherever their folder is now: shown at
// its mount point or closed), with the files' contents: what "the drives" hold. The markers
// in a drive's root are left out: they are the device's to consume, and whether it has done
// so when the updater exits depends on whether the last wait touched the device at all (the
// simulated device moves only when it is asked something).
std::map<std::string, std::string> DriveSnapshot(const fs::path& ws) {
  std::map<std::string, std::string> snapshot;
  const std::pair<const char*, std::vector<fs::path>> drives[] = {
      {"sd0", {ws / "media" / "VANTEL3", ws / "device" / "sd0"}},
      {"sd1", {ws / "media" / "VANTEL31", ws / "device" / "sd1"}},
  };
  for (const auto& [drive, places] : drives) {
    const fs::path folder = fs::exists(places[0]) ? places[0] : places[1];
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
      const std::string relative = fs::relative(it->path(), folder).string();
      if (relative == "files_cp_ok_pc" || relative == "update_go" || relative == "firmware.no") {
        continue;
      }
      std::string content = it->is_directory() ? std::string("<folder>") : ReadText(it->path());
      if (IsVersionFileName(relative)) content = VersionFileDigest(relative, content);
      snapshot[std::string(drive) + "/" + relative] = content;
    }
  }
  return snapshot;
}

std::string Describe(const std::map<std::string, std::string>& a,
                     const std::map<std::string, std::string>& b) {
  std::ostringstream out;
  for (const auto& [path, content] : a) {
    const auto other = b.find(path);
    if (other == b.end()) {
      out << "  only after the interrupted run: " << path << "\n";
    } else if (other->second != content) {
      out << "  differs: " << path << " (" << content.size() << " vs " << other->second.size()
          << " bytes)\n";
    }
  }
  for (const auto& [path, content] : b) {
    if (a.count(path) == 0) out << "  missing after the interrupted run: " << path << "\n";
  }
  return out.str();
}

struct TracedCall {
  uint64_t number;
  std::string op;
  std::string path;  // the destination for copies and renames
};

std::vector<TracedCall> ReadTrace(const fs::path& path) {
  std::vector<TracedCall> calls;
  std::istringstream lines(ReadText(path));
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    TracedCall call;
    fields >> call.number >> call.op;
    std::string rest;
    std::getline(fields, rest);
    const std::size_t arrow = rest.find(" -> ");
    call.path = arrow == std::string::npos ? rest.substr(1) : rest.substr(arrow + 4);
    calls.push_back(call);
  }
  return calls;
}

struct KillPoint {
  uint64_t call;
  bool inside;
  std::string why;
  std::string Env() const {
    return std::string(kSimKillAtCallVariable) + "=" + std::to_string(call) + (inside ? "+" : "");
  }
};

// The points of one scenario: every marker write (before, inside, right after), copies
// killed in the middle, and seeded random calls over the whole run.
std::vector<KillPoint> ChoosePoints(const std::vector<TracedCall>& calls, uint32_t seed,
                                    int randomPoints, int copies) {
  std::vector<KillPoint> points;
  std::vector<uint64_t> copyCalls;
  for (const TracedCall& c : calls) {
    const std::string name = fs::path(c.path).filename().string();
    if (c.op == "WriteFile" &&
        (name == "update_go" || name == "files_cp_ok_pc" || name == "firmware.no")) {
      points.push_back({c.number, false, "before writing " + name});
      points.push_back({c.number, true, "inside the write of " + name});
      points.push_back({c.number + 1, false, "right after writing " + name});
    }
    if (c.op == "CopyFile" && c.path.find("/media/") != std::string::npos) {
      copyCalls.push_back(c.number);
    }
  }
  std::mt19937 random(seed);
  std::shuffle(copyCalls.begin(), copyCalls.end(), random);
  for (int i = 0; i < copies && i < static_cast<int>(copyCalls.size()); ++i) {
    points.push_back({copyCalls[i], true, "in the middle of a copy"});
  }
  // Spread over the run: one random call in each of `randomPoints` equal stretches.
  const uint64_t total = calls.size();
  for (int i = 0; i < randomPoints; ++i) {
    const uint64_t from = 1 + total * i / randomPoints;
    const uint64_t to = std::max(from, total * (i + 1) / randomPoints);
    std::uniform_int_distribution<uint64_t> pick(from, to);
    points.push_back({pick(random), random() % 2 == 0, "random"});
  }
  std::sort(points.begin(), points.end(), [](const KillPoint& a, const KillPoint& b) {
    return a.call != b.call ? a.call < b.call : a.inside < b.inside;
  });
  points.erase(std::unique(points.begin(), points.end(),
                           [](const KillPoint& a, const KillPoint& b) {
                             return a.call == b.call && a.inside == b.inside;
                           }),
               points.end());
  return points;
}

class InterruptedRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = fs::temp_directory_path() / ("vantel3-kill-" + std::to_string(::getpid()));
    fs::remove_all(base_);
    fs::create_directories(base_);
  }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(base_);
  }
  fs::path base_;
};

TEST_F(InterruptedRunTest, RunKilledAnywhereIsCompletedByTheNextRun) {
  struct Case {
    const char* name;
    // The scenario; the user answers Retry twice at most, as the failure texts ask.
    const char* scenario;
    uint32_t seed;
    int randomPoints;
    int copies;
  };
  const Case cases[] = {
      {"gen2", R"({"device": {"versionFile": "ru3r_ver2", "df": "usb"},
                   "user": {"endAnswers": ["retry", "retry"]}})",
       20261211, 20, 4},
      {"gen1", R"({"device": {"versionFile": "vo3_ver"},
                   "user": {"endAnswers": ["retry", "retry"]}})",
       7, 12, 3},
      {"fa.bin", R"({"device": {"versionFile": "ru3r_ver2", "df": "usb"},
                     "program": {"faBinPresent": true},
                     "user": {"endAnswers": ["retry", "retry"]}})",
       42, 8, 2},
  };
  int tried = 0;
  int survived = 0;
  int neededRetry = 0;
  std::string retried;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path dir = base_ / c.name;
    fs::create_directories(dir);
    const fs::path scenario = dir / "scenario.json";
    std::ofstream(scenario) << c.scenario;
    const std::vector<std::string> simulate{"--simulate", scenario.string(), "--virtual-clock"};
    auto with = [&](std::vector<std::string> more) {
      std::vector<std::string> args = simulate;
      args.insert(args.end(), more.begin(), more.end());
      return args;
    };

    // The uninterrupted run: what the drives must end up holding, and how many calls it takes.
    const fs::path clean = dir / "clean";
    const ChildResult cleanRun =
        RunChild(with({"--keep", clean.string()}),
                 {std::string(kSimCallTraceVariable) + "=" + (dir / "clean.trace").string()},
                 dir / "clean.out");
    ASSERT_TRUE(cleanRun.exited && cleanRun.status == 0) << cleanRun.out;
    ASSERT_EQ(cleanRun.out.find("[error]"), std::string::npos) << cleanRun.out;
    const std::vector<TracedCall> calls = ReadTrace(dir / "clean.trace");
    ASSERT_GT(calls.size(), 100u);
    const auto expected = DriveSnapshot(clean);
    const bool faBinAfterClean = fs::exists(clean / "program" / "fa.bin");

    for (const KillPoint& point : ChoosePoints(calls, c.seed, c.randomPoints, c.copies)) {
      const std::string tag = std::to_string(point.call) + (point.inside ? "+" : "");
      SCOPED_TRACE("killed at call " + tag + " of " + std::to_string(calls.size()) + " (" +
                   point.why + ")");
      ++tried;
      const fs::path ws = dir / ("kill-" + tag);
      const ChildResult killed =
          RunChild(with({"--keep", ws.string()}), {point.Env()}, dir / ("kill-" + tag + ".out"));
      const bool died = !killed.exited && killed.signal == SIGKILL;
      EXPECT_TRUE(died) << killed.out;

      const ChildResult resumed =
          RunChild(with({"--resume", ws.string()}), {}, dir / ("resume-" + tag + ".out"));
      const bool succeeded = resumed.exited && resumed.status == 0;
      EXPECT_TRUE(succeeded) << resumed.out;
      const auto actual = DriveSnapshot(ws);
      EXPECT_TRUE(actual == expected) << "the drives differ from the uninterrupted run's:\n"
                                      << Describe(actual, expected);
      const bool sameMarker = fs::exists(ws / "program" / "fa.bin") == faBinAfterClean;
      EXPECT_TRUE(sameMarker);
      // The version file is complete and holds every value the updater reads.
      bool versionFileOk = false;
      for (const auto& [path, content] : actual) {
        if (path.rfind("sd0/", 0) == 0 && IsVersionFileName(path.substr(4))) {
          versionFileOk = content != "<unreadable>";
        }
      }
      EXPECT_TRUE(versionFileOk);
      if (died && succeeded && actual == expected && sameMarker && versionFileOk) {
        ++survived;
        if (resumed.out.find("[error]") != std::string::npos) {
          ++neededRetry;
          retried += std::string(" ") + c.name + ":" + tag + "(" + point.why + ")";
        }
        fs::remove_all(ws);
      }
    }
  }
  std::cout << "[ kill points ] tried " << tried << ", survived " << survived << " (of which "
            << neededRetry << " needed a Retry in the second run:" << retried << ")\n";
  EXPECT_GE(tried, 50);
  EXPECT_EQ(survived, tried);
}

TEST_F(InterruptedRunTest, ResumeNeedsASimulationAndAWorkspace) {
  const fs::path scenario = base_ / "scenario.json";
  std::ofstream(scenario) << "{}";
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* message;
  };
  const Case cases[] = {
      {{"--resume", base_.string()}, kExitUsage, "need --simulate"},
      {{"--simulate", scenario.string(), "--keep", (base_ / "a").string(), "--resume",
        base_.string()},
       kExitUsage,
       "cannot be used together"},
      {{"--simulate", scenario.string(), "--virtual-clock", "--resume", base_.string()},
       kExitFailureEnd,
       "not a simulation workspace"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    std::istringstream in;
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(RunTextFrontEnd(c.args, in, out, err), c.status);
    EXPECT_NE(err.str().find(c.message), std::string::npos) << err.str();
  }
}

}  // namespace
}  // namespace vantel3
