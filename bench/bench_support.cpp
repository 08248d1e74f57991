#include "bench/bench_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

extern char** environ;

namespace vantel3::bench {

namespace {

double childCpuSeconds = 0;

std::vector<Row>& MutableRows() {
  static std::vector<Row> rows;
  return rows;
}

bool WriteRandomFile(const std::string& path, int64_t size, std::mt19937_64& random) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  std::vector<uint64_t> block(64 * 1024 / sizeof(uint64_t));
  bool ok = true;
  int64_t left = size;
  while (ok && left > 0) {
    for (uint64_t& word : block) word = random();
    const auto chunk = static_cast<size_t>(
        std::min<int64_t>(left, static_cast<int64_t>(block.size() * sizeof(uint64_t))));
    const char* data = reinterpret_cast<const char*>(block.data());
    size_t done = 0;
    while (done < chunk) {
      const ssize_t n = ::write(fd, data + done, chunk - done);
      if (n <= 0) {
        ok = false;
        break;
      }
      done += static_cast<size_t>(n);
    }
    left -= static_cast<int64_t>(chunk);
  }
  return ::close(fd) == 0 && ok;
}

}  // namespace

Options& GetOptions() {
  static Options options;
  return options;
}

void AddRow(Row row) {
  MutableRows().push_back(std::move(row));
}

const std::vector<Row>& Rows() {
  return MutableRows();
}

void AddFailedRow(const std::string& what, const std::string& reason) {
  Row row;
  row.what = what;
  row.ours = "not measured";
  row.alternative = "";
  row.note = reason;
  AddRow(std::move(row));
}

double NowSeconds() {
  timespec ts;
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double ThreadCpuSeconds() {
  timespec ts;
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double ChildCpuSeconds() {
  return childCpuSeconds;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t mid = values.size() / 2;
  if (values.size() % 2 == 1) return values[mid];
  return (values[mid - 1] + values[mid]) / 2;
}

bool RunProgram(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid;
  const int spawned = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return false;
  int status = 0;
  rusage usage{};
  while (::wait4(pid, &status, 0, &usage) < 0) {
    if (errno != EINTR) return false;
  }
  const auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
  };
  childCpuSeconds += seconds(usage.ru_utime) + seconds(usage.ru_stime);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void SyncPath(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  (void)::syncfs(fd);
  ::close(fd);
}

void RemoveAll(const std::string& path) {
  std::error_code ec;
  std::filesystem::remove_all(path, ec);
}

int64_t GenerateTree(const std::string& root, int count, int64_t minBytes, int64_t maxBytes,
                     int filesPerFolder, int fanout) {
  std::mt19937_64 random(20261211);
  std::uniform_int_distribution<int64_t> size(minBytes, maxBytes);
  std::error_code ec;
  int64_t total = 0;
  for (int i = 0; i < count; ++i) {
    const int folder = i / filesPerFolder;
    const std::string dir =
        root + "/d" + std::to_string(folder / fanout) + "/e" + std::to_string(folder % fanout);
    std::filesystem::create_directories(dir, ec);
    if (ec) return -1;
    const int64_t bytes = size(random);
    if (!WriteRandomFile(dir + "/f" + std::to_string(i) + ".bin", bytes, random)) return -1;
    total += bytes;
  }
  return total;
}

std::string FormatSeconds(double seconds) {
  char text[32];
  if (seconds >= 1) {
    std::snprintf(text, sizeof text, "%.2f s", seconds);
  } else if (seconds >= 1e-3) {
    std::snprintf(text, sizeof text, "%.1f ms", seconds * 1e3);
  } else {
    std::snprintf(text, sizeof text, "%.1f µs", seconds * 1e6);
  }
  return text;
}

std::string FormatSpread(const std::vector<double>& seconds) {
  if (seconds.empty()) return "";
  const auto [low, high] = std::minmax_element(seconds.begin(), seconds.end());
  return FormatSeconds(Median(seconds)) + " (" + FormatSeconds(*low) + "–" + FormatSeconds(*high) +
         ")";
}

std::string FormatMiB(int64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.0f MiB", static_cast<double>(bytes) / (1 << 20));
  return text;
}

namespace {

Trees MakeTrees(const std::string& scratch) {
  Trees t;
  const std::string base = scratch + "/source";
  t.small = base + "/small";
  t.large = base + "/large";
  std::fprintf(stderr, "bench: generating the source trees in %s\n", base.c_str());
  t.smallBytes = GenerateTree(t.small, 5000, 4 << 10, 64 << 10, 50, 10);
  t.largeBytes = GenerateTree(t.large, 20, 20 << 20, 20 << 20, 20, 1);
  SyncPath(base);
  return t;
}

}  // namespace

const Trees& GetTrees() {
  static const Trees trees = MakeTrees(GetOptions().scratch);
  return trees;
}

const Trees& GetTmpfsTrees() {
  static const Trees trees = MakeTrees(GetOptions().tmpfsScratch);
  return trees;
}

}  // namespace vantel3::bench
