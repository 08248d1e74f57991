// The window's start-up on the offscreen platform: the time from starting the process to its
// first painted step view, and its peak resident memory by then, against a bare Qt Widgets
// program that shows one label. Both print a line on stderr when their first view paints
// (VANTEL3_REPORT_FIRST_VIEW=1); the benchmark times from just before it starts the process
// to the arrival of that line, reads the peak from /proc and kills the process.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/benchmarks.h"

extern char** environ;

namespace vantel3::bench {

namespace {

constexpr const char* kWhatTime = "Window start-up, offscreen: process start to first shown view";
constexpr const char* kWhatMemory =
    "Window start-up, offscreen: peak resident memory at first view";
constexpr const char* kReportLine = "first view shown";
constexpr double kReportTimeoutSeconds = 20;

struct StartupSample {
  double seconds = 0;   // from just before the spawn to the report line
  double selfMs = -1;   // the program's own figure, when its line carries one
  int64_t peakKiB = 0;  // VmHWM at the report (ru_maxrss after the kill when unreadable)
};

// The folder of this benchmark program, where the window programs are built too.
std::string ProgramFolder() {
  char path[4096];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  std::string exe(path, static_cast<size_t>(n));
  return exe.substr(0, exe.rfind('/'));
}

int64_t ReadVmHwmKiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtoll(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

// Starts the program on the offscreen platform with its temporary files in `tmpDir`, waits
// for its report line, measures and kills it. False when it did not report in time.
bool MeasureOnce(const std::vector<std::string>& argv, const std::string& tmpDir,
                 StartupSample& sample) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    if (entry.rfind("QT_QPA_PLATFORM=", 0) == 0 || entry.rfind("TMPDIR=", 0) == 0 ||
        entry.rfind("VANTEL3_REPORT_FIRST_VIEW=", 0) == 0) {
      continue;
    }
    env.push_back(entry);
  }
  env.push_back("QT_QPA_PLATFORM=offscreen");
  env.push_back("VANTEL3_REPORT_FIRST_VIEW=1");
  env.push_back("TMPDIR=" + tmpDir);
  std::vector<char*> envp;
  for (std::string& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
  pid_t pid = -1;
  const double start = NowSeconds();
  const int spawned = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  if (spawned != 0) {
    ::close(pipeFds[0]);
    return false;
  }

  std::string output;
  bool reported = false;
  while (!reported) {
    const double left = kReportTimeoutSeconds - (NowSeconds() - start);
    if (left <= 0) break;
    pollfd fd{pipeFds[0], POLLIN, 0};
    const int ready = ::poll(&fd, 1, static_cast<int>(left * 1000) + 1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    char buffer[4096];
    const ssize_t n = ::read(pipeFds[0], buffer, sizeof buffer);
    if (n <= 0) break;  // the program ended without reporting
    output.append(buffer, static_cast<size_t>(n));
    const size_t at = output.find(kReportLine);
    reported = at != std::string::npos && output.find('\n', at) != std::string::npos;
  }
  sample.seconds = NowSeconds() - start;
  sample.peakKiB = reported ? ReadVmHwmKiB(pid) : -1;
  ::kill(pid, SIGKILL);
  ::close(pipeFds[0]);
  int status = 0;
  rusage usage{};
  while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  if (!reported) {
    std::fprintf(stderr, "bench: %s did not report its first view; its output:\n%s\n",
                 argv[0].c_str(), output.c_str());
    return false;
  }
  if (sample.peakKiB < 0) sample.peakKiB = usage.ru_maxrss;
  const size_t at = output.find(kReportLine);
  sample.selfMs = std::strtod(output.c_str() + at + std::strlen(kReportLine), nullptr);
  if (sample.selfMs <= 0) sample.selfMs = -1;
  return true;
}

std::string FormatKiBSpread(const std::vector<double>& kib) {
  char text[96];
  double low = kib.front();
  double high = kib.front();
  for (double v : kib) {
    low = std::min(low, v);
    high = std::max(high, v);
  }
  std::snprintf(text, sizeof text, "%.1f MiB (%.1f–%.1f)", Median(kib) / 1024, low / 1024,
                high / 1024);
  return text;
}

}  // namespace

void BenchWindowStartup(benchmark::State& state) {
#ifndef VANTEL3_BENCH_WINDOW
  for (auto _ : state) {
    AddFailedRow(kWhatTime, "built without the window (VANTEL3_BUILD_GUI=OFF)");
    state.SkipWithError("no window");
  }
#else
  const int repetitions = GetOptions().quick ? 3 : 9;
  const std::string bin = ProgramFolder();
  const std::vector<std::string> ours = {
      bin + "/vantel3-updater", "--simulate",
      std::string(VANTEL3_SOURCE_DIR) + "/scenarios/ru3r-gen2-usb.json"};
  const std::vector<std::string> bare = {bin + "/vantel3_bench_bare_label"};
  for (auto _ : state) {
    std::vector<double> oursSeconds, bareSeconds, oursKiB, bareKiB, oursSelfMs;
    bool failed = false;
    // One untimed pair first: the libraries, fonts and caches are then in memory for both.
    for (int i = -1; i < repetitions && !failed; ++i) {
      for (int side = 0; side < 2 && !failed; ++side) {
        const bool oursNow = (side == 0) == (i % 2 == 0);
        const std::string tmpDir = GetOptions().scratch + "/startup-tmp";
        RemoveAll(tmpDir);
        if (::mkdir(tmpDir.c_str(), 0700) != 0) {
          failed = true;
          break;
        }
        StartupSample sample;
        failed = !MeasureOnce(oursNow ? ours : bare, tmpDir, sample);
        RemoveAll(tmpDir);  // the killed simulation leaves its workspace behind
        if (failed || i < 0) continue;
        (oursNow ? oursSeconds : bareSeconds).push_back(sample.seconds);
        (oursNow ? oursKiB : bareKiB).push_back(static_cast<double>(sample.peakKiB));
        if (oursNow && sample.selfMs > 0) oursSelfMs.push_back(sample.selfMs);
      }
    }
    if (failed) {
      AddFailedRow(kWhatTime, "a program did not show its first view");
      state.SkipWithError("start-up failed");
      return;
    }
    state.SetIterationTime(Median(oursSeconds));
    const std::string how = "median (range) of " + std::to_string(oursSeconds.size()) +
                            " alternating runs after one warm-up pair; `--simulate "
                            "scenarios/ru3r-gen2-usb.json`, real clock; ";
    char text[160];
    Row time;
    time.what = kWhatTime;
    time.ours = FormatSpread(oursSeconds);
    time.alternative = "bare Qt Widgets program with one QLabel: " + FormatSpread(bareSeconds);
    time.ratio = Median(oursSeconds) / Median(bareSeconds);
    time.goal = 1.5;
    time.goalText = "≤ 500 ms";
    time.met = Median(oursSeconds) <= 0.5 ? 1 : 0;
    std::snprintf(text, sizeof text,
                  "the program's own figure (/proc/self/stat start, 10 ms ticks): %.0f ms",
                  Median(oursSelfMs));
    time.note = how + "until the line on stderr when a step view first paints; " + text;
    AddRow(time);

    Row memory;
    memory.what = kWhatMemory;
    memory.ours = FormatKiBSpread(oursKiB);
    memory.alternative = "bare QLabel program: " + FormatKiBSpread(bareKiB);
    memory.ratio = Median(oursKiB) / Median(bareKiB);
    memory.goal = 1.5;
    memory.goalText = "≤ 100 MiB";
    memory.met = Median(oursKiB) <= 100 * 1024 ? 1 : 0;
    memory.note = "`VmHWM` of the process when its first view has painted, same runs";
    AddRow(memory);
  }
#endif
}

}  // namespace vantel3::bench
