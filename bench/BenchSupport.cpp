#include "BenchSupport.h"

#include <host/Host.h>

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace bench {

namespace {

fs::path root;

VESSEL* initCarrier(OBJHANDLE h, int) { return new BenchCarrier(h); }
void exitCarrier(VESSEL* v) { delete static_cast<BenchCarrier*>(v); }

}  // namespace

const fs::path& makePrivateRoot(const char* tag) {
    root = fs::temp_directory_path() / (std::string(tag) + "-" + std::to_string(::getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "Config/Vessels");
    std::ofstream(root / "Config/Vessels/BenchCarrier.cfg")
        << "ClassName = BenchCarrier\nModule = BenchCarrier\n";
    host::registerModule("BenchCarrier", initCarrier, exitCarrier);
    return root;
}

void withMinimum(benchmark::internal::Benchmark* b) {
    b->ComputeStatistics(
        "min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
}

}  // namespace bench

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (!bench::root.empty()) {
        host::reset();
        std::error_code ec;
        fs::remove_all(bench::root, ec);
    }
    return 0;
}
