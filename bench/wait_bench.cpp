// WaitUntil on the steady clock with a predicate that never holds: processor time per second
// of waiting against a bare loop of 1 ms sleeps over the same time.
#include <chrono>
#include <cstdio>
#include <thread>

#include "bench/bench_support.h"
#include "bench/benchmarks.h"
#include "platform/clock.h"
#include "workflow/wait_until.h"

namespace vantel3::bench {

namespace {

// The poll interval of the device waits.
constexpr uint32_t kPollMs = 200;

struct Spent {
  double wall = 0;
  double cpu = 0;
  uint64_t allocations = 0;
};

Spent Measure(const std::function<void()>& wait) {
  Spent spent;
  const uint64_t allocations = AllocationCount();
  const double cpu = ThreadCpuSeconds();
  const double wall = NowSeconds();
  wait();
  spent.wall = NowSeconds() - wall;
  spent.cpu = ThreadCpuSeconds() - cpu;
  spent.allocations = AllocationCount() - allocations;
  return spent;
}

}  // namespace

void BenchWaitUntil(benchmark::State& state) {
  // The time is split into segments that alternate the two sides, so that a change in the
  // machine's load meets both alike.
  const uint32_t totalMs = GetOptions().quick ? 2000 : 10000;
  constexpr uint32_t kSegmentMs = 1000;
  for (auto _ : state) {
    SteadyClock clock;
    Spent ours;
    Spent bare;
    int calls = 0;
    for (uint32_t segment = 0; segment < totalMs / kSegmentMs; ++segment) {
      for (int side = 0; side < 2; ++side) {
        const bool oursNow = (side == 0) == (segment % 2 == 0);
        Spent spent;
        if (oursNow) {
          // Built before the measurement: making the std::function is the caller's work.
          Predicate never = [&calls](void*) {
            ++calls;
            return 0;
          };
          spent = Measure(
              [&] { (void)WaitUntil(clock, nullptr, kSegmentMs, std::move(never), kPollMs); });
        } else {
          spent = Measure([&] {
            const auto end =
                std::chrono::steady_clock::now() + std::chrono::milliseconds(kSegmentMs);
            while (std::chrono::steady_clock::now() < end) {
              std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
          });
        }
        Spent& sum = oursNow ? ours : bare;
        sum.wall += spent.wall;
        sum.cpu += spent.cpu;
        sum.allocations += spent.allocations;
      }
    }
    state.SetIterationTime(ours.wall);
    const double oursPerSecond = ours.cpu / ours.wall;
    const double barePerSecond = bare.cpu / bare.wall;
    char text[128];
    Row row;
    row.what = "WaitUntil, false predicate, " + std::to_string(totalMs / 1000) +
               " s on the steady clock, poll " + std::to_string(kPollMs) + " ms";
    std::snprintf(text, sizeof text, "%.2f ms CPU per s", oursPerSecond * 1e3);
    row.ours = text;
    std::snprintf(text, sizeof text, "bare 1 ms sleep loop: %.2f ms CPU per s",
                  barePerSecond * 1e3);
    row.alternative = text;
    row.ratio = oursPerSecond / barePerSecond;
    row.goal = 1.1;
    std::snprintf(text, sizeof text,
                  "1 s segments alternating; %llu allocations during the waits, %d predicate "
                  "calls in %.2f s",
                  static_cast<unsigned long long>(ours.allocations), calls, ours.wall);
    row.note = text;
    AddRow(row);
  }
}

}  // namespace vantel3::bench
