// The enumeration in the server core, without transport, over a pool of
// 100 000 variables (the same layout as enumeration_bench under Wine).
//
// FindFirstFresh: the first enumeration after a change: the pool is copied
// under its read lock, then sorted outside it. FindFirstShared: one more
// cursor while the pool is unchanged (the snapshot is shared). FindNext: one
// step. PathList10k: GetVariablesInPath of the level that holds 10 000 names.
//
//   cmake --preset bench && cmake --build --preset bench -j2 --target enumeration_core_bench
//   build/bench/bench/enumeration_core_bench
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "include/vard_protocol.h"
#include "server/core/dispatch.h"
#include "server/core/pool.h"
#include "server/core/session.h"

namespace vard::server {
namespace {

using proto::EnumerationRequest;
using proto::PathListRequest;

// 90 000 numbers spread over 900 paths of 100, and 10 000 in one level.
Pool& BenchPool() {
  static Pool pool;
  static const bool filled = [] {
    auto w = pool.Write();
    char name[32], path[64];
    for (int i = 0; i < 100'000; ++i) {
      Variable v;
      if (i < 90'000) {
        std::snprintf(name, sizeof name, "n%05d", i);
        std::snprintf(path, sizeof path, "Bench.A%02d.G%02d", i / 1000, i / 100 % 10);
      } else {
        std::snprintf(name, sizeof name, "b%04d", i - 90'000);
        std::snprintf(path, sizeof path, "Bench.Big");
      }
      v.name = name, v.path = path;
      w.Insert(std::move(v));
    }
    return true;
  }();
  (void)filled;
  return pool;
}

struct Client {
  Session session;
  std::vector<std::uint8_t> block = std::vector<std::uint8_t>(proto::kBlockSize);
  EnumerationRequest& Begin() {
    std::memset(block.data(), 0, sizeof(EnumerationRequest));
    auto& r = *reinterpret_cast<EnumerationRequest*>(block.data());
    r.RecordSize = sizeof r;
    return r;
  }
  std::uint32_t First(Pool& pool) {
    Begin().Filter = 0xFF;
    Dispatch(pool, session, proto::kFindFirstVariable, block.data());
    return reinterpret_cast<EnumerationRequest*>(block.data())->FindHandle;
  }
  std::uint32_t Step(Pool& pool, std::uint32_t opcode, std::uint32_t handle) {
    Begin().FindHandle = handle;
    return Dispatch(pool, session, opcode, block.data());
  }
};

void FindFirstFresh(benchmark::State& state) {
  Pool& pool = BenchPool();
  Client c;
  for (auto _ : state) {
    state.PauseTiming();
    { auto w = pool.Write(); }  // a new generation: the snapshot must be rebuilt
    state.ResumeTiming();
    const std::uint32_t h = c.First(pool);
    state.PauseTiming();
    c.Step(pool, proto::kFindVariableClose, h);
    state.ResumeTiming();
  }
}
BENCHMARK(FindFirstFresh)->Unit(benchmark::kMillisecond);

void FindFirstShared(benchmark::State& state) {
  Pool& pool = BenchPool();
  Client c;
  const std::uint32_t held = c.First(pool);  // keeps the snapshot alive
  for (auto _ : state) c.Step(pool, proto::kFindVariableClose, c.First(pool));
  c.Step(pool, proto::kFindVariableClose, held);
}
BENCHMARK(FindFirstShared)->Unit(benchmark::kMicrosecond);

void FindNext(benchmark::State& state) {
  Pool& pool = BenchPool();
  Client c;
  std::uint32_t h = c.First(pool);
  for (auto _ : state) {
    if (c.Step(pool, proto::kFindNextVariable, h) != vardOK) {
      c.Step(pool, proto::kFindVariableClose, h);
      h = c.First(pool);
    }
  }
  c.Step(pool, proto::kFindVariableClose, h);
}
BENCHMARK(FindNext);

void PathList10k(benchmark::State& state) {
  Pool& pool = BenchPool();
  Client c;
  for (auto _ : state) {
    std::memset(c.block.data(), 0, sizeof(PathListRequest));
    auto& r = *reinterpret_cast<PathListRequest*>(c.block.data());
    r.RecordSize = sizeof r, r.Filter = 0xFF, r.Capacity = proto::kPathListMaxCapacity;
    std::strcpy(r.PathPrefix, "Bench.Big");
    if (Dispatch(pool, c.session, proto::kGetVariablesInPath, c.block.data()) != vardOK) {
      state.SkipWithError("the list did not fit");
    }
  }
}
BENCHMARK(PathList10k)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vard::server

BENCHMARK_MAIN();
