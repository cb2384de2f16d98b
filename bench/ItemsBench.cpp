// Item lines per second: the grammar alone, and whole lines taken into a carrier's table (which
// includes the host's mesh look-up for every item).
#include "CommonVesselEx.h"
#include "ItemLine.h"

#include <host/Host.h>

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* const kLines[] = {
    "PAYLOAD Aerobell-1-Suit mmu nasa_mmu 0.00 -0.40 0.20 212.00 0.00 1.00",
    "STAGE Pod-1 Aerobell AEROBELL 0.00 0.00 -1.20 350.00 0.00 0.50",
    "PAYLOAD Pod-1-Probe mmu nasa_mmu 0.00 0.30 -1.20 40.00 90.00 1.00",
    "ENDSTAGE",
};
constexpr int kLineCount = sizeof kLines / sizeof kLines[0];

class BenchCarrier final : public COMMON_VESSEL_EX {
public:
    explicit BenchCarrier(OBJHANDLE h) : COMMON_VESSEL_EX(h) {}
    void Empty() {
        for (StageSlot& s : items) s.present = false;
        openStage = -1;
    }
};

VESSEL* initCarrier(OBJHANDLE h, int) { return new BenchCarrier(h); }
void exitCarrier(VESSEL* v) { delete static_cast<BenchCarrier*>(v); }

fs::path root;

// With repetitions, the least is the figure closest to the code's own cost on a shared machine.
double leastOf(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

BenchCarrier& makeCarrier() {
    static BenchCarrier* carrier = nullptr;
    if (carrier != nullptr) return *carrier;
    root = fs::temp_directory_path() / ("bench-items-" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "Config/Vessels");
    fs::create_directories(root / "Meshes");
    fs::create_directories(root / "Modules");
    std::ofstream(root / "Config/Vessels/BenchCarrier.cfg")
        << "ClassName = BenchCarrier\nModule = BenchCarrier\n";
    for (const char* mesh : {"mmu.msh", "Aerobell.msh"}) {
        fs::copy_file(fs::path(AEROBELL_SIM_DIR) / "Meshes" / mesh, root / "Meshes" / mesh);
    }
    host::registerModule("BenchCarrier", initCarrier, exitCarrier);
    host::setRoot(root.string());
    host::reset();
    const OBJHANDLE h = host::createVessel("Bench", "BenchCarrier", host::defaultStatus());
    carrier = static_cast<BenchCarrier*>(host::vessel(h).iface);
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
BENCHMARK(BM_ParseItemLine)->ComputeStatistics("min", leastOf);

void BM_HandleItemText(benchmark::State& state) {
    BenchCarrier& carrier = makeCarrier();
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
BENCHMARK(BM_HandleItemText)->ComputeStatistics("min", leastOf);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (!root.empty()) {
        host::reset();
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    return 0;
}
