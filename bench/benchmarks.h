// The benchmark bodies, one per table row; main registers them in the table's order.
#pragma once

#include <benchmark/benchmark.h>

namespace vantel3::bench {

void BenchCopySmallTree(benchmark::State& state);
void BenchCopyLargeFiles(benchmark::State& state);
void BenchDeleteTree(benchmark::State& state);
void BenchCopySmallTreeTmpfs(benchmark::State& state);
void BenchCopyLargeFilesTmpfs(benchmark::State& state);
void BenchDeleteTreeTmpfs(benchmark::State& state);
void BenchWaitUntil(benchmark::State& state);
void BenchFindDeviceDrive(benchmark::State& state);
void BenchSimulatedUpdate(benchmark::State& state);
void BenchWindowStartup(benchmark::State& state);
// Copies read back before the hand-over (verify_bench.cpp).
void BenchVerifiedCopySmallTree(benchmark::State& state);
void BenchVerifiedCopyLargeFiles(benchmark::State& state);
void BenchSimulatedUpdateVerified(benchmark::State& state);

}  // namespace vantel3::bench
