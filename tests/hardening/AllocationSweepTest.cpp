// Out of memory anywhere: the n-th allocation of a load, flight, separation and save of a
// stacked scenario fails, for n = 1, 2, ... until a run completes without reaching it. Every
// run must end without a crash, with consistent item tables, with the failure caught inside the
// module whenever it arose while module code ran, and without leaking once the world is reset.
// SWEEP_TRACE=1 in the environment lists every run with where its failure was caught.
#include "FailingAllocator.h"
#include "ItemTableCheck.h"
#include "PrivateRoot.h"

#include <host/Host.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>

namespace fs = std::filesystem;

namespace {

const char* const kScenario = "Scenarios/Tests/sweep-stack.scn";

class AllocationSweep : public testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = testroot::copyBuiltRoot("hardening-sweep");
        std::ofstream(dir_ / kScenario)
            << "BEGIN_DESC\nA stage holding a probe and an astronaut, on one cone.\nEND_DESC\n\n"
               "BEGIN_FOCUS\n  Ship Carrier\nEND_FOCUS\n\nBEGIN_SHIPS\nCarrier:AEROBELL\n"
               "  STATUS Orbiting Earth\n  RPOS 6578000.00 0.00 0.00\n  RVEL 0.00 7784.00 0.00\n"
               "  AROT 0.00 0.00 0.00\n  PRPLEVEL 0:1 1:1\n"
               "  STAGE Pod-1 Aerobell AEROBELL 0.00 0.00 -2.00 107.25 0.00 0.50\n"
               "  PAYLOAD Pod-1-Probe mmu nasa_mmu 0.00 0.30 -2.00 40.00 90.00 1.00\n"
               "  ENDSTAGE\n"
               "  PAYLOAD Carrier-Suit mmu nasa_mmu 0.00 -0.40 0.20 212.00 0.00 1.00\n"
               "END\nEND_SHIPS\n";
        host::setRoot(dir_.string());
        // Module code lives in the root's Modules folder: the cone and the message module, and
        // the simulator's MMU sample (the astronaut's, where it is built), which has no handler:
        // what escapes it is the simulator's stop, not a fault of ours.
        failing::setModuleTag("Modules/", "Modules/mmu.");
    }
    static void TearDownTestSuite() { testroot::removeRoot(dir_); }

    // One load, flight, separation and save. Exceptions that the host itself lets out of its
    // own work (not the module's) end the run early; that is the host's way of failing, as a
    // stop is the simulator's.
    static void flyOnce() {
        try {
            // Long steps: a key is taken at most once a second.
            host::setStep(0.6);
            host::loadScenario(kScenario);
            const OBJHANDLE carrier = host::find("Carrier");
            host::step();
            host::sendKeyEvent(OAPI_KEY_K);
            host::step();
            host::sendKeyEvent(OAPI_KEY_J);  // the astronaut
            if (carrier != nullptr) host::setFocus(carrier);
            host::step();
            host::step();
            host::sendKeyEvent(OAPI_KEY_J);  // the stage with its probe, handed over by message
            host::step();
            host::step();
            host::scenarioText();
        } catch (const std::bad_alloc&) {
        } catch (const host::Error& e) {
            lastError = e.what();
        } catch (const host::Stop& e) {
            lastError = e.what();
        }
    }

    // The item table of every cone, checked; a vessel whose construction failed has the
    // simulator's plain interface instead, and no table.
    static std::string tableFaults() {
        std::string faults;
        for (host::Vessel* v : host::vessels()) {
            if (v->iface == nullptr || !v->moduleMade || v->moduleName != "Aerobell") continue;
            const auto* cone =
                static_cast<const COMMON_VESSEL_EX*>(static_cast<const VESSEL3*>(v->iface));
            const std::string fault = fuzzsupport::itemTableFault(*cone);
            if (!fault.empty()) faults += v->name + ": " + fault + "\n";
        }
        return faults;
    }

    // Whether a cone flies without the message module: LoadLibraryA gives null when it fails, as
    // the simulator's does, and says nothing.
    static bool coneWithoutMessages() {
        for (host::Vessel* v : host::vessels()) {
            if (v->iface == nullptr || !v->moduleMade || v->moduleName != "Aerobell") continue;
            const auto* cone =
                static_cast<const COMMON_VESSEL_EX*>(static_cast<const VESSEL3*>(v->iface));
            if (cone->MessageLibrary() == nullptr) return true;
        }
        return false;
    }

    static inline fs::path dir_;
    static inline std::string lastError;
};

// The module survives a fault in a callback and says so: the first allocation of the astronaut's
// release (J) that fails inside module code leaves one line in the simulator's log naming the
// callback's vessel and the exception, and the flight goes on: the next J releases the astronaut.
TEST_F(AllocationSweep, AFaultCaughtInTheModuleIsLoggedAndTheFlightGoesOn) {
    for (long n = 1; n < 1000; ++n) {
        host::reset();
        host::setStep(0.6);
        host::loadScenario(kScenario);
        host::step();
        const std::size_t logBefore = host::records().log.size();
        failing::failNth(n);
        host::sendKeyEvent(OAPI_KEY_J);
        const bool hit = failing::injected();
        const bool caughtInModule = hit && failing::injectedInModule() &&
                                    failing::injectedThrew() &&
                                    failing::lastCatcher().find("Modules/") != std::string::npos;
        failing::failNth(0);
        ASSERT_TRUE(hit) << "the release completed before any failure";
        if (!caughtInModule) continue;

        const std::vector<std::string>& log = host::records().log;
        ASSERT_EQ(log.size(), logBefore + 1) << "allocation " << n;
        EXPECT_NE(log.back().find("Carrier"), std::string::npos) << log.back();
        EXPECT_NE(log.back().find("std::bad_alloc"), std::string::npos) << log.back();
        EXPECT_NE(log.back().find("exception in "), std::string::npos) << log.back();

        host::step();
        host::step();
        host::sendKeyEvent(OAPI_KEY_J);
        host::step();
        EXPECT_EQ(host::stopped(), nullptr);
        EXPECT_NE(host::find("Carrier-Suit"), nullptr) << "allocation " << n;
        host::reset();
        return;
    }
    FAIL() << "no allocation of the release failed inside the module";
}

TEST_F(AllocationSweep, EveryFailingAllocationIsSurvivedWithoutLeakOrEscape) {
    // A clean run first: it fills the host's caches (classes, meshes) that live for the
    // process, so that what stays allocated after a reset is the same for every later run.
    host::reset();
    flyOnce();
    ASSERT_TRUE(tableFaults().empty()) << tableFaults();
    ASSERT_NE(host::find("Pod-1"), nullptr)
        << "the clean flight must release the stage; " << lastError;
    host::reset();
    flyOnce();
    host::reset();
    const long baseline = failing::live();

    long n = 1;
    long maxLive = baseline;
    for (;; ++n) {
        failing::failNth(n);
        flyOnce();
        const std::string faults = tableFaults();
        const bool hit = failing::injected();
        const bool inModule = failing::injectedInModule() && failing::injectedThrew();
        const std::string catcher = failing::lastCatcher();
        const std::vector<std::string>& log = host::records().log;
        const bool logged =
            std::any_of(log.begin(), log.end(),
                        [](const std::string& line) {
                            return line.find("Aerobell module: ") != std::string::npos;
                        }) ||
            coneWithoutMessages();
        failing::failNth(0);
        host::reset();
        if (std::getenv("SWEEP_TRACE") != nullptr)
            std::printf("%ld hit=%d module=%d catcher=%s\n", n, hit, inModule, catcher.c_str());

        ASSERT_TRUE(faults.empty()) << "allocation " << n << " failed:\n" << faults;
        // No catcher seen: the C++ library swallowed it inside its own code (a stream sets its
        // bad bit), below every module frame; it never reached a catch in the host.
        if (hit && inModule && !catcher.empty()) {
            ASSERT_NE(catcher.find("Modules/"), std::string::npos)
                << "allocation " << n << " failed inside module code and was caught by " << catcher;
        }
        // Whatever the cone's module catches, it leaves a trace of.
        if (hit && catcher.find("Aerobell") != std::string::npos) {
            ASSERT_TRUE(logged) << "allocation " << n << " failed and was caught without a trace";
        }
        maxLive = std::max(maxLive, failing::live());
        if (!hit) break;
    }
    // A leak grows with every run that takes the leaking path; memory the host keeps for the
    // process (caches, capacity of its lists) does not.
    EXPECT_LE(maxLive - baseline, 8) << "allocations left behind by failed runs";
    std::printf("live allocations after reset: %ld at the start, at most %ld\n", baseline, maxLive);
    std::printf("the sweep completed at n = %ld (%ld allocations in a run)\n", n, n - 1);
    RecordProperty("runs", static_cast<int>(n));
}

}  // namespace
