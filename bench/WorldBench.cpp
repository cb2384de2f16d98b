// Whole-world figures: cones stepped by the host as a flight steps them (the module loaded from
// its shared library, as the runner loads it), the message channel under load, a full item
// table saved and loaded, a nest released with its hand-over, and the memory a cone takes.
//
// Every figure is printed, none is judged here. Times are CPU time unless a figure says
// otherwise; counters named ns_* are nanoseconds per the thing they name.
#include "Aerobell.h"
#include "BenchSupport.h"

#include <host/Host.h>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <malloc.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using bench::BenchCarrier;
using Clock = std::chrono::steady_clock;

fs::path root;

// A private root: the build's classes and meshes, its modules by link, and the scenarios the
// figures below write.
void makeRoot() {
    if (!root.empty()) return;
    const fs::path sim(AEROBELL_SIM_DIR);
    root = bench::makePrivateRoot("bench-world");
    fs::create_directories(root / "Scenarios");
    fs::copy(sim / "Config", root / "Config", fs::copy_options::recursive);
    fs::copy(sim / "Meshes", root / "Meshes", fs::copy_options::recursive);
    fs::create_directory_symlink(fs::absolute(sim / "Modules"), root / "Modules");
    host::setRoot(root.string());
    // A running simulator has the message module loaded while any framework vessel exists; the
    // figures below reset the world between runs, which would otherwise unload and reload it
    // with every first and last vessel.
    static HMODULE keepMessages = LoadLibraryA("Modules\\cvelmessage");
    (void)keepMessages;
}

void writeFile(const std::string& relative, const std::string& text) {
    std::ofstream(root / relative) << text;
}

std::string scenarioHead(const std::string& focus) {
    return "BEGIN_DESC\nWritten by the world benchmark.\nEND_DESC\n\n"
           "BEGIN_FOCUS\n  Ship " +
           focus + "\nEND_FOCUS\n\nBEGIN_SHIPS\n";
}

// n cones far apart, each with an astronaut seated on its SEAT point.
std::string seatedScenario(int n) {
    std::ostringstream s;
    s << scenarioHead("Cone-0");
    for (int i = 0; i < n; ++i) {
        s << "Cone-" << i << ":AEROBELL\n  STATUS Orbiting Earth\n  RPOS " << 6578000.0 + 100.0 * i
          << " 0 0\n  RVEL 0 7784 0\n  AROT 0 0 0\nEND\n";
    }
    for (int i = 0; i < n; ++i) {
        s << "Cone-" << i << "-Suit:AerobellCrew\n  STATUS Orbiting Earth\n  RPOS 0 0 0\n"
          << "  RVEL 0 0 0\n  AROT 0 0 0\n  ATTACHED 0:0,Cone-" << i << "\nEND\n";
    }
    s << "END_SHIPS\n";
    return s.str();
}

// A cone whose table is full: one stage holding 49 payloads.
std::string nestScenario() {
    std::ostringstream s;
    s << scenarioHead("Carrier") << "Carrier:AEROBELL\n  STATUS Orbiting Earth\n"
      << "  RPOS 6578000 0 0\n  RVEL 0 7784 0\n  AROT 0 0 0\n"
      << "  STAGE Pod Aerobell AEROBELL 0.00 0.00 -2.00 107.25 0.00 0.50\n";
    for (int i = 1; i < COMMON_VESSEL_EX::kItemCount; ++i) {
        s << "  PAYLOAD Pod-Item-" << i << " mmu nasa_mmu 0.00 " << 0.01 * i << " -2.00 "
          << 10.0 + i << ".00 0.00 1.00\n";
    }
    s << "  ENDSTAGE\nEND\nEND_SHIPS\n";
    return s.str();
}

// A bare cone: what a load costs without items.
std::string bareScenario() {
    return scenarioHead("Carrier") +
           "Carrier:AEROBELL\n  STATUS Orbiting Earth\n  RPOS 6578000 0 0\n  RVEL 0 7784 0\n"
           "  AROT 0 0 0\nEND\nEND_SHIPS\n";
}

double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

const AEROBELL& coneOf(OBJHANDLE h) { return *static_cast<const AEROBELL*>(host::vessel(h).iface); }

// ---------------------------------------------------------------------------------------------

// One cone whose crew question is settled (its astronaut aboard as an item), not deploying, no
// mail, in the demo's low orbit (the upper atmosphere's drag included): the host's whole step
// with the module's clbkPostStep in it.
void BM_IdleConeStep(benchmark::State& state) {
    makeRoot();
    writeFile("Scenarios/idle.scn", scenarioHead("Idle") +
                                        "Idle:AEROBELL\n  STATUS Orbiting Earth\n"
                                        "  RPOS 6578000 0 0\n  RVEL 0 7784 0\nEND\nEND_SHIPS\n");
    auto start = [] {
        host::reset();
        host::loadScenario("Scenarios/idle.scn");
        host::runFor(1.0);
    };
    start();
    // The orbit decays in the thin air: the cone starts again every 2000 s of flight, before it
    // comes down.
    long steps = 0;
    for (auto _ : state) {
        host::step();
        if (++steps % 20000 == 0) {
            state.PauseTiming();
            start();
            state.ResumeTiming();
        }
    }
    state.counters["steps/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    host::reset();
}
BENCHMARK(BM_IdleConeStep)->Apply(bench::withMinimum);

// N cones, each with an astronaut on its seat (2N vessels): one host step.
void BM_SeatedCones(benchmark::State& state) {
    makeRoot();
    const int n = static_cast<int>(state.range(0));
    const std::string path = "Scenarios/seated-" + std::to_string(n) + ".scn";
    writeFile(path, seatedScenario(n));
    host::reset();
    host::loadScenario(path);
    host::step();  // every cone takes its seated astronaut's mass and settles its crew
    const double t0 = cpuSeconds();
    for (auto _ : state) host::step();
    const double perStep = (cpuSeconds() - t0) / static_cast<double>(state.iterations());
    // CPU time per cone step (the cone and its astronaut), and the share of one core that
    // stepping them all 60 times a second takes.
    state.counters["ns_per_cone"] = perStep * 1e9 / n;
    state.counters["core_share_60Hz"] = perStep * 60.0;
    host::reset();
}
BENCHMARK(BM_SeatedCones)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMicrosecond)
    ->Apply(bench::withMinimum);

// The same worlds, each cone's clbkPostStep called directly with no host step around it: how
// much of a cone step is the module's own callback (with the SDK calls it makes).
void BM_SeatedConeCallbacks(benchmark::State& state) {
    makeRoot();
    const int n = static_cast<int>(state.range(0));
    const std::string path = "Scenarios/seated-" + std::to_string(n) + ".scn";
    writeFile(path, seatedScenario(n));
    host::reset();
    host::loadScenario(path);
    host::step();
    std::vector<VESSEL2*> cones;
    for (host::Vessel* v : host::vessels()) {
        if (v->moduleName == "Aerobell") cones.push_back(static_cast<VESSEL2*>(v->iface));
    }
    const double t0 = cpuSeconds();
    for (auto _ : state) {
        for (VESSEL2* c : cones) c->clbkPostStep(host::simTime(), host::stepLength(), 0.0);
    }
    const double perRound = (cpuSeconds() - t0) / static_cast<double>(state.iterations());
    state.counters["ns_per_cone"] = perRound * 1e9 / n;
    host::reset();
}
BENCHMARK(BM_SeatedConeCallbacks)
    ->Arg(100)
    ->Arg(10000)
    ->Unit(benchmark::kMicrosecond)
    ->Apply(bench::withMinimum);

// ---------------------------------------------------------------------------------------------
// The message channel: 10,000 receivers, each with a backlog of mail waiting.

constexpr int kReceivers = 10000;
constexpr int kBacklog = 4;
const char kNoteKey[] = "NOTE";
const char kNoteText[] = "status nominal";

std::vector<BenchCarrier*> receivers;

void makeReceivers() {
    host::reset();
    receivers.clear();
    for (int i = 0; i < kReceivers; ++i) {
        const OBJHANDLE h =
            host::createVessel("Rx-" + std::to_string(i), "BenchCarrier", host::defaultStatus());
        receivers.push_back(static_cast<BenchCarrier*>(host::vessel(h).iface));
    }
}

void fillBacklog() {
    BenchCarrier& sender = *receivers.front();
    for (int k = 0; k < kBacklog; ++k)
        for (BenchCarrier* r : receivers) sender.SendVesselMessage(r, kNoteKey, kNoteText);
}

void drainAll() {
    for (BenchCarrier* r : receivers) r->PollMessages();
}

double nsSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::nano>(Clock::now() - t0).count();
}

// The look-up by name that every send and poll makes: through the portability layer's cache,
// and straight from the dynamic loader for comparison.
void BM_ProcLookup(benchmark::State& state) {
    makeRoot();
    const HMODULE lib = LoadLibraryA("Modules\\cvelmessage");
    const bool cached = state.range(0) != 0;
    for (auto _ : state) {
        void* proc = cached ? reinterpret_cast<void*>(GetProcAddress(lib, "CheckCMessage"))
                            : dlsym(lib, "CheckCMessage");
        benchmark::DoNotOptimize(proc);
    }
    state.SetLabel(cached ? "GetProcAddress" : "dlsym");
    FreeLibrary(lib);
}
BENCHMARK(BM_ProcLookup)->Arg(1)->Arg(0)->Apply(bench::withMinimum);

// One send to a receiver while every receiver has mail waiting (timed over a round of sends, one
// to each receiver).
void BM_MessageSend(benchmark::State& state) {
    makeRoot();
    makeReceivers();
    fillBacklog();
    BenchCarrier& sender = *receivers.front();
    double ns = 0.0;
    long sends = 0;
    for (auto _ : state) {
        const Clock::time_point t0 = Clock::now();
        for (BenchCarrier* r : receivers) sender.SendVesselMessage(r, kNoteKey, kNoteText);
        const double round = nsSince(t0);
        ns += round;
        sends += kReceivers;
        state.SetIterationTime(round * 1e-9);
        drainAll();
        fillBacklog();
    }
    state.counters["ns_send"] = ns / static_cast<double>(sends);
    drainAll();
    host::reset();
}
BENCHMARK(BM_MessageSend)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Apply(bench::withMinimum);

// One poll that takes a receiver's backlog (kBacklog messages), with every other receiver's mail
// still waiting; and one poll that finds nothing, the cost every idle vessel pays each step.
void BM_MessagePoll(benchmark::State& state) {
    makeRoot();
    makeReceivers();
    double ns = 0.0, emptyNs = 0.0;
    long polls = 0;
    for (auto _ : state) {
        fillBacklog();
        Clock::time_point t0 = Clock::now();
        for (BenchCarrier* r : receivers) benchmark::DoNotOptimize(r->PollMessages());
        const double round = nsSince(t0);
        ns += round;
        polls += kReceivers;
        state.SetIterationTime(round * 1e-9);
        // Everyone's mail is gone now but one receiver's, which keeps the queues busy.
        BenchCarrier& sender = *receivers.front();
        sender.SendVesselMessage(receivers.back(), kNoteKey, kNoteText);
        t0 = Clock::now();
        for (BenchCarrier* r : receivers) {
            if (r != receivers.back()) benchmark::DoNotOptimize(r->PollMessages());
        }
        emptyNs += nsSince(t0);
        receivers.back()->PollMessages();
    }
    state.counters["ns_poll"] = ns / static_cast<double>(polls);
    state.counters["ns_per_message"] = ns / static_cast<double>(polls * kBacklog);
    state.counters["ns_empty_poll"] = emptyNs / static_cast<double>(polls - state.iterations());
    host::reset();
}
BENCHMARK(BM_MessagePoll)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Apply(bench::withMinimum);

// ---------------------------------------------------------------------------------------------
// A full table of 50 items: saved (the cone's whole clbkSaveState into memory) and loaded (a
// scenario with that one cone, read into an empty world, against the same cone without items).

void BM_SaveFullCone(benchmark::State& state) {
    makeRoot();
    writeFile("Scenarios/nest.scn", nestScenario());
    host::reset();
    host::loadScenario("Scenarios/nest.scn");
    const OBJHANDLE h = host::find("Carrier");
    for (auto _ : state) benchmark::DoNotOptimize(host::saveVesselState(h));
    host::reset();
}
BENCHMARK(BM_SaveFullCone)->Unit(benchmark::kMicrosecond)->Apply(bench::withMinimum);

void loadEach(benchmark::State& state, const char* path) {
    for (auto _ : state) {
        state.PauseTiming();
        host::reset();
        state.ResumeTiming();
        host::loadScenario(path);
    }
    host::reset();
}

void BM_LoadFullCone(benchmark::State& state) {
    makeRoot();
    writeFile("Scenarios/nest.scn", nestScenario());
    loadEach(state, "Scenarios/nest.scn");
}
BENCHMARK(BM_LoadFullCone)->Unit(benchmark::kMicrosecond)->Apply(bench::withMinimum);

void BM_LoadBareCone(benchmark::State& state) {
    makeRoot();
    writeFile("Scenarios/bare.scn", bareScenario());
    loadEach(state, "Scenarios/bare.scn");
}
BENCHMARK(BM_LoadBareCone)->Unit(benchmark::kMicrosecond)->Apply(bench::withMinimum);

// ---------------------------------------------------------------------------------------------
// The pilot releases the nest's stage (J): the stage becomes a cone of its own, its 49 items are
// sent to it, and it takes them in on the next step.

void BM_SeparateNest(benchmark::State& state) {
    makeRoot();
    writeFile("Scenarios/nest.scn", nestScenario());
    bool handedOver = true;
    for (auto _ : state) {
        state.PauseTiming();
        host::reset();
        host::loadScenario("Scenarios/nest.scn");
        state.ResumeTiming();
        host::sendKeyEvent(OAPI_KEY_J);
        host::step();
        state.PauseTiming();
        const OBJHANDLE pod = host::find("Pod");
        handedOver = handedOver && pod != nullptr &&
                     coneOf(pod).Item(COMMON_VESSEL_EX::kItemCount - 2).present;
        state.ResumeTiming();
    }
    if (!handedOver) state.SkipWithError("the released stage did not receive its items");
    host::reset();
}
BENCHMARK(BM_SeparateNest)->Unit(benchmark::kMicrosecond)->Apply(bench::withMinimum);

// ---------------------------------------------------------------------------------------------
// Memory: the cone object itself, and all the heap a cone takes in module and host together
// (its records of thrusters, groups, meshes and the like), after it has settled.

void BM_MemoryPerCone(benchmark::State& state) {
    makeRoot();
    constexpr int kCones = 1000;
    double heapPerCone = 0.0;
    for (auto _ : state) {
        host::reset();
        host::createVessel("Warm", "AEROBELL", host::defaultStatus());
        host::step();
        const std::size_t before = mallinfo2().uordblks;
        for (int i = 0; i < kCones; ++i) {
            VESSELSTATUS s = host::defaultStatus();
            s.rpos = _V(1000.0 * (i + 1), 0, 0);
            host::createVessel("Mem-" + std::to_string(i), "AEROBELL", s);
        }
        host::step();
        heapPerCone = static_cast<double>(mallinfo2().uordblks - before) / kCones;
    }
    state.counters["object_bytes"] = static_cast<double>(sizeof(AEROBELL));
    state.counters["heap_bytes_per_cone"] = heapPerCone;
    host::reset();
}
BENCHMARK(BM_MemoryPerCone)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->Apply(bench::withMinimum);

// ---------------------------------------------------------------------------------------------
// The runner as a user starts it: aerobell-sim flies 2,000 seated cones for 60 s (600 steps of
// 0.1 s) in a process of its own, with no output files and with a timeline. Beside it the same
// 600 steps in this process, as BM_SeatedCones steps them, and the host alone flying them in a
// process of its own (bench_host_flight): a new process pays for every page of memory the world
// needs on first touch, which on some virtual machines costs more than the steps. A process's
// figure is its CPU time (user and system, from wait4); "x_steps" is that over the least
// in-process time of the steps.

#ifdef AEROBELL_RUNNER
constexpr int kFlightCones = 2000;
constexpr int kFlightSteps = 600;
double leastStepsSeconds = 0.0;

std::string flightScenario() {
    const std::string path = "Scenarios/flight-" + std::to_string(kFlightCones) + ".scn";
    writeFile(path, seatedScenario(kFlightCones));
    return path;
}

void BM_SeatedFlightSteps(benchmark::State& state) {
    makeRoot();
    const std::string path = flightScenario();
    for (auto _ : state) {
        state.PauseTiming();
        host::reset();
        const double l0 = cpuSeconds();
        host::loadScenario(path);
        state.counters["load_s"] = cpuSeconds() - l0;
        state.ResumeTiming();
        const double t0 = cpuSeconds();
        for (int i = 0; i < kFlightSteps; ++i) host::step();
        const double seconds = cpuSeconds() - t0;
        if (leastStepsSeconds == 0.0 || seconds < leastStepsSeconds) leastStepsSeconds = seconds;
        state.counters["steps_s"] = seconds;
    }
    host::reset();
}
BENCHMARK(BM_SeatedFlightSteps)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->Apply(bench::withMinimum);

// 0: the host alone; 1: aerobell-sim with no output files; 2: aerobell-sim with a timeline.
void BM_FlightProcess(benchmark::State& state) {
    makeRoot();
    const std::string scenario = (root / flightScenario()).string();
    const std::string errors = (root / "process-stderr.txt").string();
    const long kind = state.range(0);
    std::vector<std::string> args;
    if (kind == 0) {
        args = {AEROBELL_HOST_FLIGHT, root.string(), scenario, std::to_string(kFlightSteps)};
    } else {
        args = {AEROBELL_RUNNER, "--root", root.string(), "run", scenario,
                "--until",       "60",     "--dt",        "0.1"};
        if (kind == 2) {
            args.push_back("--timeline");
            args.push_back((root / "flight.csv").string());
        }
    }
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    for (auto _ : state) {
        posix_spawn_file_actions_t io;
        posix_spawn_file_actions_init(&io);
        posix_spawn_file_actions_addopen(&io, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&io, STDERR_FILENO, errors.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const Clock::time_point t0 = Clock::now();
        pid_t pid = 0;
        const int spawned = posix_spawn(&pid, argv[0], &io, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&io);
        int status = 0;
        rusage use{};
        if (spawned != 0 || wait4(pid, &status, 0, &use) != pid || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0) {
            state.SkipWithError(
                "the flight process failed; see process-stderr.txt in the bench root");
            break;
        }
        const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
        const double cpu = static_cast<double>(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
                           1e-6 * static_cast<double>(use.ru_utime.tv_usec + use.ru_stime.tv_usec);
        state.SetIterationTime(cpu);
        state.counters["cpu_s"] = cpu;
        state.counters["wall_s"] = wall;
        state.counters["page_faults"] = static_cast<double>(use.ru_minflt);
        if (leastStepsSeconds > 0.0) state.counters["x_steps"] = cpu / leastStepsSeconds;
    }
    state.SetLabel(kind == 0   ? "host alone"
                   : kind == 1 ? "aerobell-sim"
                               : "aerobell-sim --timeline");
}
BENCHMARK(BM_FlightProcess)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Apply(bench::withMinimum);
#endif

}  // namespace
