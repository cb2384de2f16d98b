// A flight resumes as it was: the bundled flights saved after every one of their steps (the long
// ones at a spread of steps and around what happens in them), and
// random flights saved around everything that happens in them, each save loaded into a fresh
// world and flown on in lockstep with the flight that was never saved.
#include "PrivateRoot.h"
#include "ResumeProperty.h"

#include <host/Host.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

const char* const kWork = "Scenarios/Tests/resume.scn";
constexpr long kEveryStepUpTo = 600;  // steps of a flight saved after every one

class Resume : public testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = testroot::copyBuiltRoot("resume-tests");
        host::setRoot(dir_.string());
    }
    static void TearDownTestSuite() { testroot::removeRoot(dir_); }

    static std::string read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    static long fromEnvironment(const char* name, long otherwise) {
        const char* v = std::getenv(name);
        return v != nullptr && *v != '\0' ? std::atol(v) : otherwise;
    }

    static inline fs::path dir_;
};

TEST_F(Resume, EveryBundledFlightSavedAfterAnyStepResumesAsItWas) {
    long flights = 0, saves = 0;
    for (const auto& e : fs::recursive_directory_iterator(dir_ / "Scenarios")) {
        if (e.path().extension() != ".flight") continue;
        fs::path scenario = e.path();
        scenario.replace_extension(".scn");
        if (!fs::exists(scenario)) continue;
        const resume::Flight flight =
            resume::scriptedFlight(e.path().filename().string(), read(scenario), read(e.path()));
        // Each save is flown to the end: a long flight (the demo re-enters for half an hour) is
        // saved around what happens in it and at a spread of its steps, not after each one.
        const bool longFlight = flight.steps > kEveryStepUpTo;
        const resume::Result r =
            resume::check(flight, longFlight ? flight.steps / 50 : 1, kWork, longFlight ? 24 : 0);
        EXPECT_EQ(r.failure, "") << flight.text();
        ++flights;
        saves += r.saves;
    }
    EXPECT_GE(flights, 8);
    std::printf("%ld bundled flights, %ld saves resumed\n", flights, saves);
}

// Every step of a tumble carries an angular acceleration (its spin precesses), which no save
// holds: the step after a reload must still start from it.
TEST_F(Resume, ATumblingVesselSavedAfterAnyStepResumesAsItWas) {
    const char* const scenario =
        "BEGIN_ENVIRONMENT\n  System Sol\n  Date MJD 51982.6\nEND_ENVIRONMENT\n"
        "BEGIN_FOCUS\n  Ship Tumble\nEND_FOCUS\n"
        "BEGIN_SHIPS\nTumble:Probe\n  STATUS Orbiting Earth\n  RPOS 100000000 3000 0\n"
        "  RVEL 0 0 0\n  AROT 10 20 30\n  VROT 9 0 12\nEND\nEND_SHIPS\n";
    const resume::Flight flight = resume::scriptedFlight("tumble", scenario, "4.0 focus Tumble\n");
    const resume::Result r = resume::check(flight, 1, kWork);
    EXPECT_EQ(r.failure, "") << flight.text();
    EXPECT_GE(r.saves, 40);
}

TEST_F(Resume, RandomFlightsSavedAroundWhatHappensResumeAsTheyWere) {
    const long count = fromEnvironment("AEROBELL_RESUME_FLIGHTS", 40);
    const long seed = fromEnvironment("AEROBELL_RESUME_SEED", 1);
    const long most = fromEnvironment("AEROBELL_RESUME_FAILURES", 3);
    long saves = 0, apart = 0, ambiguous = 0, failures = 0;
    for (long i = 0; i < count && failures < most; ++i) {
        resume::SeededSource source(static_cast<uint64_t>(seed) * 1000003u +
                                    static_cast<uint64_t>(i));
        const resume::Flight flight =
            resume::randomFlight(source, "seed " + std::to_string(seed) + " #" + std::to_string(i));
        const resume::Result r = resume::check(flight, 10, kWork);
        if (!r.failure.empty()) {
            ++failures;
            ADD_FAILURE() << r.failure << "\n" << flight.text();
        }
        saves += r.saves;
        apart += r.apart;
        ambiguous += r.ambiguous;
    }
    std::printf(
        "%ld random flights (seed %ld), %ld saves resumed (%ld with a tank run out a step "
        "apart), %ld left out (two vessels of one name)\n",
        count, seed, saves, apart, ambiguous);
}

}  // namespace
