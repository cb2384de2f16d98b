// What both benchmark programs need: their private simulation root, a plain framework vessel
// class to carry items and mail, and the least of the repetitions as a statistic.
#ifndef BENCH_SUPPORT_H
#define BENCH_SUPPORT_H

#include "CommonVesselEx.h"

#include <benchmark/benchmark.h>

#include <filesystem>

namespace bench {

// A framework vessel built in-process, so that its table and channel can be driven directly.
class BenchCarrier final : public COMMON_VESSEL_EX {
public:
    explicit BenchCarrier(OBJHANDLE h) : COMMON_VESSEL_EX(h) {}
    // Clears the table so that more lines can enter.
    void Empty() {
        for (StageSlot& s : items) s.present = false;
        items.forgetOpenStageIfGone();
    }
};

// An empty folder for this process's simulation root (removed when the program ends), with the
// class file of the "BenchCarrier" class in it and that class's module registered.
const std::filesystem::path& makePrivateRoot(const char* tag);

// Other work on a shared machine only ever adds time: with repetitions, the least of them is the
// figure closest to the code's own cost, printed beside the median.
void withMinimum(benchmark::internal::Benchmark* b);

}  // namespace bench

#endif  // BENCH_SUPPORT_H
