#include "session/run_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "../../tests/support/recording_step_ui.h"
#include "platform/platform_test_dir.h"
#include "session/scripted_user.h"

namespace vantel3 {
namespace {

namespace fs = std::filesystem;

struct SessionFixture {
  PlatformTestDir dir;
  std::unique_ptr<SystemServices> system = MakeSystemServices();

  std::string Scenario(const std::string& name, const std::string& json) {
    const fs::path path = dir / (name + ".json");
    WriteTestFile(path, json);
    return path.string();
  }
  std::unique_ptr<RunSession> Create(const SessionOptions& options, int& status,
                                     std::string& error) {
    return RunSession::Create(options, *system, error, status);
  }
  // A session on the scenario `json`'s simulated device, on the virtual clock; null (with a
  // test failure) when it cannot start.
  std::unique_ptr<RunSession> Simulated(const std::string& name, const std::string& json) {
    SessionOptions options;
    options.scenarioPath = Scenario(name, json);
    options.virtualClock = true;
    int status = 0;
    std::string error;
    auto session = Create(options, status, error);
    if (!session) ADD_FAILURE() << error;
    return session;
  }
};

int Count(const std::vector<std::string>& events, const std::string& what) {
  return static_cast<int>(std::count_if(events.begin(), events.end(), [&](const std::string& e) {
    return e.find(what) != std::string::npos;
  }));
}

TEST(RunSessionTest, TheRealDeviceUsesTheSystemsServicesAndThePackageFolder) {
  SessionFixture f;
  int status = -7;
  std::string error;
  auto session = f.Create(SessionOptions{}, status, error);
  ASSERT_NE(session, nullptr) << error;
  EXPECT_FALSE(session->simulated());
  EXPECT_EQ(session->workspace(), nullptr);
  EXPECT_EQ(session->scriptedUser(), nullptr);
  EXPECT_EQ(session->virtualClock(), nullptr);
  EXPECT_EQ(&session->services().fs, &f.system->fs());
  EXPECT_EQ(&session->services().volumes, &f.system->volumes());
  EXPECT_EQ(session->services().packageDir, f.system->packageDir());
  EXPECT_EQ(session->libraryPath(), f.system->libraryPath());
  EXPECT_EQ(status, -7) << "a session that starts leaves the status alone";
}

TEST(RunSessionTest, ASessionThatCannotStartSaysWhyWithItsExitStatus) {
  SessionFixture f;
  struct Case {
    const char* name;
    std::string scenarioJson;  // empty: no file at all
    bool resume;
    int status;
    const char* errorPart;
  };
  const std::vector<Case> cases = {
      {"missing scenario file", "", false, kExitUsage, "missing scenario file"},
      {"malformed scenario", "{\"timing\": ", false, kExitUsage, ""},
      {"unknown key", "{\"frobnicate\": 1}", false, kExitUsage, "frobnicate"},
      {"resume of a folder without a workspace", "{}", true, kExitFailureEnd,
       "cannot make the simulation's workspace"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SessionOptions options;
    options.scenarioPath =
        c.scenarioJson.empty() ? (f.dir / c.name).string() : f.Scenario(c.name, c.scenarioJson);
    if (c.resume) {
      options.resumeDir = (f.dir / "empty").string();
      fs::create_directories(options.resumeDir);
    }
    int status = 0;
    std::string error;
    EXPECT_EQ(f.Create(options, status, error), nullptr);
    EXPECT_EQ(status, c.status);
    EXPECT_FALSE(error.empty());
    EXPECT_NE(error.find(c.errorPart), std::string::npos) << error;
  }
}

TEST(RunSessionTest, RetryRestartsTheSimulatedDeviceBeforeEachNewRun) {
  SessionFixture f;
  SessionOptions options;
  // SD1 never opens: every run fails after its wait; the user retries twice, then exits.
  options.scenarioPath = f.Scenario("fails", R"({"timing": {"sd1OpenDelayMs": null},
                   "user": {"endAnswers": ["retry", "retry", "exit"]}})");
  options.virtualClock = true;
  int status = 0;
  std::string error;
  auto session = f.Create(options, status, error);
  ASSERT_NE(session, nullptr) << error;
  ASSERT_NE(session->scriptedUser(), nullptr);
  UpdateContext context;
  std::string warning;
  ASSERT_EQ(session->BindLibrary(context.dfuApi, warning), 1);
  EXPECT_EQ(warning, "");

  testing::RecordingStepUi ui(*session->virtualClock(), context);
  ScriptedUser user(*session->virtualClock(), *session->scriptedUser());
  std::vector<std::size_t> asked;
  const int result = RunUntilDone(
      *session, context, ui, [&ui] { return ui.endAction; },
      [&](std::size_t run) {
        asked.push_back(run);
        return user.WantsRetry(run);
      });
  EXPECT_EQ(result, kExitFailureEnd);
  EXPECT_EQ(asked, (std::vector<std::size_t>{0, 1, 2}));
  EXPECT_EQ(Count(session->workspace()->device().Events(), "restarted by the user"), 2);
  EXPECT_EQ(Count(ui.Lines("[end]"), "Retry"), 3);
}

TEST(RunSessionTest, ASuccessEndsAtOnceWithoutAskingForRetry) {
  SessionFixture f;
  auto session = f.Simulated("ok", "{}");
  ASSERT_NE(session, nullptr);
  UpdateContext context;
  std::string warning;
  ASSERT_EQ(session->BindLibrary(context.dfuApi, warning), 1);
  testing::RecordingStepUi ui(*session->virtualClock(), context);
  int asked = 0;
  EXPECT_EQ(RunUntilDone(
                *session, context, ui, [&ui] { return ui.endAction; },
                [&](std::size_t) { return ++asked, true; }),
            kExitSuccess);
  EXPECT_EQ(asked, 0);
  EXPECT_EQ(Count(session->workspace()->device().Events(), "restarted by the user"), 0);
}

TEST(RunSessionTest, APackageWithoutItsLibraryIsNotBound) {
  SessionFixture f;
  auto session = f.Simulated("nolib", R"({"package": {"omit": ["libhiddfu.so"]}})");
  ASSERT_NE(session, nullptr);
  UpdateContext context;
  std::string warning;
  EXPECT_EQ(session->BindLibrary(context.dfuApi, warning), 0);
}

TEST(RunSessionTest, AnAbruptEndRemovesATemporaryWorkspaceButNeverAKeptOne) {
  SessionFixture f;
  const std::string scenario = f.Scenario("ok", "{}");
  for (const bool keep : {false, true}) {
    SCOPED_TRACE(keep ? "kept" : "temporary");
    SessionOptions options;
    options.scenarioPath = scenario;
    options.virtualClock = true;
    if (keep) options.keepDir = (f.dir / "kept").string();
    int status = 0;
    std::string error;
    auto session = f.Create(options, status, error);
    ASSERT_NE(session, nullptr) << error;
    const std::string root = session->workspace()->root();
    ASSERT_TRUE(fs::exists(root));
    session->AbandonNow();
    EXPECT_EQ(fs::exists(root), keep);
  }
}

TEST(ScriptedUserTest, ClicksOnlyForTheLatestShowOfTheButton) {
  struct Case {
    const char* name;
    std::vector<const char*> script;  // "show", "hide", "wait <ms>"
    int clicks;
  };
  const std::vector<Case> cases = {
      {"shown and waited out", {"show", "wait 1000"}, 1},
      {"not yet", {"show", "wait 999"}, 0},
      {"hidden before the click", {"show", "wait 500", "hide", "wait 1000"}, 0},
      {"shown again: the first click is dropped", {"show", "wait 600", "show", "wait 600"}, 0},
      {"shown again and waited out", {"show", "wait 600", "show", "wait 1000"}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VirtualClock clock;
    SimulatedUser who;
    who.nextAfterMs = 1000;
    ScriptedUser user(clock, who);
    int clicks = 0;
    for (const std::string step : c.script) {
      if (step == "show") user.NextShown([&clicks] { ++clicks; });
      if (step == "hide") user.NextHidden();
      if (step.rfind("wait ", 0) == 0)
        clock.SleepMs(static_cast<uint32_t>(std::stoul(step.substr(5))));
    }
    EXPECT_EQ(clicks, c.clicks);
  }
}

TEST(ScriptedUserTest, AUserWhoNeverClicksSchedulesNothingAndAnswersExitOnceTheListEnds) {
  VirtualClock clock;
  SimulatedUser who;
  who.nextAfterMs = std::nullopt;
  who.endAnswers = {EndAnswer::kRetry, EndAnswer::kExit, EndAnswer::kRetry};
  ScriptedUser user(clock, who);
  int clicks = 0;
  user.NextShown([&clicks] { ++clicks; });
  clock.SleepMs(3'600'000);
  EXPECT_EQ(clicks, 0);
  EXPECT_TRUE(user.WantsRetry(0));
  EXPECT_FALSE(user.WantsRetry(1));
  EXPECT_TRUE(user.WantsRetry(2));
  EXPECT_FALSE(user.WantsRetry(3));
}

}  // namespace
}  // namespace vantel3
