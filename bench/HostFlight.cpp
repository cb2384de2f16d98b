// The host alone flying a scenario in a process of its own: what aerobell-sim's whole-process
// figure in bench_world is compared with, so that the runner's own share stands out from what
// any process pays to load and step the same world.
//
//   bench_host_flight ROOT SCENARIO STEPS
#include <host/Host.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: bench_host_flight ROOT SCENARIO STEPS\n");
        return 2;
    }
    try {
        host::setRoot(argv[1]);
        host::loadScenario(argv[2]);
        for (long i = std::atol(argv[3]); i > 0; --i) host::step();
        host::reset();  // as the runner does at its end: every vessel back to its module
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_host_flight: %s\n", e.what());
        return 1;
    }
    return 0;
}
