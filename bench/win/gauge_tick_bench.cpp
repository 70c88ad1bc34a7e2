// The cost of one CPU-gauge tick as the program runs it under Windows (or Wine): three
// processor-counter queries, the drawing, the colour and mask bitmaps, and the replacement of
// image 0 in the image list the tray thread reads. Run: wine build/win64/gauge_tick_bench.exe
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "win/cpu_counters.h"
#include "win/cpu_gauge_view.h"

int main() {
    using namespace quenvix::win;
    auto gaugeImages = CreateCpuImageList();
    Win32CpuCounters counters;
    CpuGaugeView gauge(gaugeImages, counters);
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> micros;
    gauge.Tick();  // the first tick only records the counters
    for (int i = 0; i < 2000; ++i) {
        LARGE_INTEGER a, b;
        QueryPerformanceCounter(&a);
        gauge.Tick();
        QueryPerformanceCounter(&b);
        micros.push_back(1e6 * static_cast<double>(b.QuadPart - a.QuadPart) /
                         static_cast<double>(frequency.QuadPart));
        Sleep(i % 50 == 0 ? 1 : 0);  // let the counters move now and then
    }
    std::sort(micros.begin(), micros.end());
    std::printf("gauge tick: median %.1f us, p95 %.1f us, max %.1f us over %zu ticks\n",
                micros[micros.size() / 2], micros[micros.size() * 95 / 100], micros.back(),
                micros.size());
    return 0;
}
