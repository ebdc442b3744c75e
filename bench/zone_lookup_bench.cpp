// What a look-up of the built-in zone map costs: the first (the map's header
// taken), then each over a grid of points on land and sea, as median, 99th
// percentile and worst of the best of three tries each.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "app/run/zone_map.h"

int main() {
    using Clock = std::chrono::steady_clock;
    const auto micros = [](Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); };
    const auto start = Clock::now();
    const ravlen::ZoneMap& map = ravlen::ZoneMap::Builtin();
    map.ZoneAt(48.8584, 2.2945);
    const double first = micros(Clock::now() - start);
    std::vector<double> times;
    for (double lat = -59.5; lat < 75; lat += 0.7)
        for (double lon = -179.5; lon < 180; lon += 0.9) {
            double best = 1e9;
            for (int i = 0; i < 3; ++i) {
                const auto a = Clock::now();
                map.ZoneAt(lat, lon);
                best = std::min(best, micros(Clock::now() - a));
            }
            times.push_back(best);
        }
    std::sort(times.begin(), times.end());
    std::printf("zone look-up: first %.1f us; %zu points: median %.2f us, 99%% %.1f us, worst %.1f us\n", first,
                times.size(), times[times.size() / 2], times[times.size() * 99 / 100], times.back());
}
