// Random flights drawn from the input's bytes (stacks, seats, the pilot's keys and thrust at
// random steps), each saved around everything that happens in it and flown on from every save
// in a fresh world: a flight that does not resume as it was is a finding.
#include "FuzzSupport.h"
#include "ResumeProperty.h"

#include <cstdio>
#include <cstdlib>

namespace {

long flights = 0, saves = 0;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return -1;
    static const bool counted = [] {
        std::atexit(
            [] { std::printf("resume: %ld flights, %ld saves resumed\n", flights, saves); });
        return true;
    }();
    (void)counted;
    fuzzsupport::root();
    resume::ByteSource source(data, size);
    const resume::Flight flight = resume::randomFlight(source, "fuzz input");
    // A dozen saves an input keeps each run within the fuzzer's time limit under the sanitizers.
    const resume::Result r = resume::check(flight, 10, "Scenarios/fuzz-resume.scn", 12);
    ++flights;
    saves += r.saves;
    if (!r.failure.empty()) fuzzsupport::fail(r.failure + "\n" + flight.text());
    return 0;
}
