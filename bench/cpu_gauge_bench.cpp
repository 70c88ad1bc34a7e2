// The core's share of one CPU-gauge tick: one sample over fake counters and the drawing of the
// 16 x 16 picture, and the nearest-neighbour enlargement used at higher DPI.
#include <benchmark/benchmark.h>

#include "core/cpu_gauge.h"
#include "fakes/fake_cpu_counters.h"

namespace {

using quenvix::core::CpuUsageSampler;
using quenvix::core::DrawCPUGauge;
using quenvix::core::ScaleNearest;
using quenvix::test::FakeCpuCounters;

void BM_GaugeTick(benchmark::State& state) {
    FakeCpuCounters counters;
    counters.processors = 4;
    CpuUsageSampler sampler(counters);
    double load = 0.0;
    sampler.GetCPUUsage(load);
    std::int64_t step = 0;
    for (auto _ : state) {
        // A different load each tick, so every bar height gets drawn.
        counters.Advance(5'000'000, (step++ % 21) * 1'000'000);
        sampler.GetCPUUsage(load);
        benchmark::DoNotOptimize(DrawCPUGauge(load));
    }
}
BENCHMARK(BM_GaugeTick);

void BM_ScaleForDpi(benchmark::State& state) {
    const auto picture = DrawCPUGauge(50.5);
    const int size = static_cast<int>(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(ScaleNearest(picture, size));
}
BENCHMARK(BM_ScaleForDpi)->Arg(24)->Arg(32)->Arg(48);

}  // namespace
