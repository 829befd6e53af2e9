// Throughput of every CRC kernel at a few buffer sizes. A kernel this CPU cannot run reports
// why instead of a figure.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "crc/crc16_internal.h"

namespace {

using lomvik::internal::CrcKernel;

void bench_kernel(benchmark::State& state, const CrcKernel* kernel) {
  if (!kernel->usable()) {
    state.SkipWithError(
        ("this CPU cannot run the " + std::string(kernel->name) + " kernel").c_str());
    return;
  }
  std::vector<std::uint8_t> data(static_cast<std::size_t>(state.range(0)));
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 131 + 7);
  std::uint16_t crc = 0;
  for (auto _ : state) {
    crc = kernel->extend(crc, data.data(), data.size());
    benchmark::DoNotOptimize(crc);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void bench_bytewise(benchmark::State& state) {
  static const CrcKernel kBytewise{"bytewise", lomvik::internal::crc_bytewise, [] { return true; }};
  bench_kernel(state, &kBytewise);
}

const bool kRegistered = [] {
  for (const CrcKernel& kernel : lomvik::internal::crc_kernels()) {
    benchmark::RegisterBenchmark(("crc/" + std::string(kernel.name)).c_str(), bench_kernel, &kernel)
        ->Arg(64)
        ->Arg(256)
        ->Arg(4 << 10)
        ->Arg(64 << 10)
        ->Arg(256 << 10)
        ->Arg(1 << 20);
  }
  benchmark::RegisterBenchmark("crc/bytewise", bench_bytewise)->Arg(64)->Arg(64 << 10);
  return true;
}();

}  // namespace

BENCHMARK_MAIN();
