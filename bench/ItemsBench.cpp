// Item lines per second: the grammar alone, and whole lines taken into a carrier's table (which
// includes the host's mesh look-up for every item).
#include "BenchSupport.h"
#include "ItemLine.h"

#include <host/Host.h>

#include <benchmark/benchmark.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

const char* const kLines[] = {
    "PAYLOAD Aerobell-1-Suit mmu nasa_mmu 0.00 -0.40 0.20 212.00 0.00 1.00",
    "STAGE Pod-1 Aerobell AEROBELL 0.00 0.00 -1.20 350.00 0.00 0.50",
    "PAYLOAD Pod-1-Probe mmu nasa_mmu 0.00 0.30 -1.20 40.00 90.00 1.00",
    "ENDSTAGE",
};
constexpr int kLineCount = sizeof kLines / sizeof kLines[0];

bench::BenchCarrier& makeCarrier() {
    static bench::BenchCarrier* carrier = nullptr;
    if (carrier != nullptr) return *carrier;
    const fs::path& root = bench::makePrivateRoot("bench-items");
    fs::create_directories(root / "Meshes");
    fs::create_directories(root / "Modules");
    for (const char* mesh : {"mmu.msh", "Aerobell.msh"}) {
        fs::copy_file(fs::path(AEROBELL_SIM_DIR) / "Meshes" / mesh, root / "Meshes" / mesh);
    }
    host::setRoot(root.string());
    host::reset();
    const OBJHANDLE h = host::createVessel("Bench", "BenchCarrier", host::defaultStatus());
    carrier = static_cast<bench::BenchCarrier*>(host::vessel(h).iface);
    return *carrier;
}

void BM_ParseItemLine(benchmark::State& state) {
    int i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(parseItemLine(kLines[i]));
        i = (i + 1) % kLineCount;
    }
    state.counters["lines/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ParseItemLine)->Apply(bench::withMinimum);

void BM_HandleItemText(benchmark::State& state) {
    bench::BenchCarrier& carrier = makeCarrier();
    int i = 0;
    int lines = 0;
    for (auto _ : state) {
        carrier.HandleItemText(kLines[i]);
        i = (i + 1) % kLineCount;
        // Three of every four lines enter an item: empty the table before it fills up.
        if (++lines == 48) {
            carrier.Empty();
            lines = 0;
        }
    }
    state.counters["lines/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_HandleItemText)->Apply(bench::withMinimum);

}  // namespace
