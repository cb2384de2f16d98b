// The module as the host loads it: entry points, construction with and without the message
// module, and construction that fails part-way.
#include "CommonVesselEx.h"
#include "Factory.h"

#include <host/Host.h>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <new>
#include <string>

// The file name the build gives a module.
#define MODULE_FILE(name) name AEROBELL_MODULE_SUFFIX

namespace fs = std::filesystem;

// Allocation failure on demand: the n-th allocation from when it is armed throws.
namespace {
int allocationsUntilFailure = 0;
}

void* operator new(std::size_t n) {
    if (allocationsUntilFailure > 0 && --allocationsUntilFailure == 0) throw std::bad_alloc();
    void* p = std::malloc(n != 0 ? n : 1);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}
void* operator new[](std::size_t n) { return ::operator new(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

class ModuleShell : public testing::Test {
protected:
    static void SetUpTestSuite() {
        const std::string tag = std::to_string(::getpid());
        withMessages = fs::temp_directory_path() / ("module-shell-" + tag);
        withoutMessages = fs::temp_directory_path() / ("module-shell-bare-" + tag);
        for (const fs::path& dir : {withMessages, withoutMessages}) {
            fs::remove_all(dir);
            fs::copy(AEROBELL_SIM_DIR, dir, fs::copy_options::recursive);
            std::ofstream(dir / "Config/Vessels/InProcessCone.cfg")
                << "ClassName = InProcessCone\nModule = InProcessCone\n";
        }
        fs::remove(withoutMessages / MODULE_FILE("Modules/cvelmessage"));
        host::registerModule("InProcessCone", armedInit, DestroyAerobellVessel);
    }
    static void TearDownTestSuite() {
        host::reset();
        std::error_code ec;
        fs::remove_all(withMessages, ec);
        fs::remove_all(withoutMessages, ec);
    }
    void SetUp() override {
        host::setRoot(withMessages.string());
        host::reset();
    }
    void TearDown() override { host::reset(); }

    static const COMMON_VESSEL_EX& framework(OBJHANDLE h) {
        return *static_cast<const COMMON_VESSEL_EX*>(host::vessel(h).iface);
    }

    // Arms the allocation failure for the construction only.
    static VESSEL* armedInit(OBJHANDLE h, int flightmodel) {
        allocationsUntilFailure = failAt;
        VESSEL* v = CreateAerobellVessel(h, flightmodel);
        constructionFailed = allocationsUntilFailure == 0 && failAt > 0;
        allocationsUntilFailure = 0;
        return v;
    }

    static inline fs::path withMessages, withoutMessages;
    static inline int failAt = 0;
    static inline bool constructionFailed = false;
};

TEST_F(ModuleShell, ConesComeFromAScenarioAndAtRunTimeWithFlightModelOne) {
    host::loadScenario("Scenarios/Aerobell/Aerobell demo.scn");
    const OBJHANDLE fromScenario = host::find("Aerobell-1");
    ASSERT_NE(fromScenario, nullptr);
    EXPECT_NE(framework(fromScenario).MessageLibrary(), nullptr);
    EXPECT_TRUE(framework(fromScenario).Item(0).present) << "its astronaut line was read";

    host::setFlightModel(0);
    const OBJHANDLE atRunTime = host::createVessel("Aerobell-2", "AEROBELL", host::defaultStatus());
    ASSERT_NE(atRunTime, nullptr);
    EXPECT_EQ(host::vessel(atRunTime).flightModelAsked, 0);
    EXPECT_EQ(host::vessel(atRunTime).flightModelGiven, 1);
    host::runFor(1.0);
    const fs::path saved = withMessages / "Scenarios/after.scn";
    host::saveScenario(saved.string());
    std::ifstream in(saved);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("Aerobell-2:AEROBELL"), std::string::npos);
    EXPECT_NE(text.find("PAYLOAD Aerobell-1-Suit mmu nasa_mmu"), std::string::npos);
}

TEST_F(ModuleShell, AConeIsBuiltWithoutTheMessageModule) {
    host::setRoot(withoutMessages.string());
    const OBJHANDLE h = host::createVessel("Lonely", "AEROBELL", host::defaultStatus());
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(framework(h).MessageLibrary(), nullptr);
    host::runFor(1.0);
}

// Whether the library at path is in the process now (looked for without loading it).
bool loaded(const fs::path& path) {
    void* lib = dlopen(path.string().c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (lib != nullptr) dlclose(lib);
    return lib != nullptr;
}

// The simulator frees a vessel module with the last vessel that uses it; the message library that
// the module's cones loaded must leave the process with them, or its queues outlive every vessel.
TEST_F(ModuleShell, TheMessageLibraryLeavesWithTheLastConeThatLoadedIt) {
    const fs::path cone = withMessages / MODULE_FILE("Modules/Aerobell");
    const fs::path messages = withMessages / MODULE_FILE("Modules/cvelmessage");
    ASSERT_FALSE(loaded(messages));
    const OBJHANDLE first = host::createVessel("First", "AEROBELL", host::defaultStatus());
    const OBJHANDLE second = host::createVessel("Second", "AEROBELL", host::defaultStatus());
    host::runFor(1.0);
    ASSERT_TRUE(loaded(cone));
    ASSERT_TRUE(loaded(messages));

    ASSERT_TRUE(host::deleteVessel(first));
    host::step();
    EXPECT_TRUE(loaded(messages)) << "released while a cone still uses it";
    ASSERT_TRUE(host::deleteVessel(second));
    host::step();
    EXPECT_FALSE(loaded(cone));
    EXPECT_FALSE(loaded(messages));
}

TEST_F(ModuleShell, ExportsOnlyItsEntryPointsAndIgnoresANullExit) {
    const std::string file = (withMessages / MODULE_FILE("Modules/Aerobell")).string();
    void* lib = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib, nullptr) << dlerror();
    EXPECT_NE(dlsym(lib, "ovcInit"), nullptr);
    auto exitFn = reinterpret_cast<void (*)(VESSEL*)>(dlsym(lib, "ovcExit"));
    ASSERT_NE(exitFn, nullptr);
    exitFn(nullptr);
    EXPECT_EQ(dlsym(lib, "CreateAerobellVessel"), nullptr);
    EXPECT_EQ(dlsym(lib, "_ZN16COMMON_VESSEL_EX16SeparateNextItemEv"), nullptr);
    dlclose(lib);
}

TEST_F(ModuleShell, AConstructionThatFailsLeavesThePlainVesselWithoutACrash) {
    int plain = 0;
    for (failAt = 1; failAt < 500; ++failAt) {
        const std::string name = "Cone-" + std::to_string(failAt);
        const OBJHANDLE h = host::createVessel(name, "InProcessCone", host::defaultStatus());
        ASSERT_NE(h, nullptr) << "the simulator always makes the vessel";
        EXPECT_EQ(host::find(name), h);
        if (!constructionFailed) {
            EXPECT_TRUE(host::vessel(h).moduleMade) << "a whole construction gives the cone";
            break;
        }
        if (host::vessel(h).moduleMade) {
            // Only the framework's own best-effort steps (the message module) may be skipped.
            EXPECT_EQ(host::vessel(h).propellants.size(), 2u);
            continue;
        }
        // The module gave no object: the vessel has the simulator's own, which the module's
        // exit receives when the vessel goes.
        ++plain;
        EXPECT_EQ(host::vessel(h).iface->Version(), 0);
        EXPECT_TRUE(host::deleteVessel(h));
        EXPECT_EQ(host::find(name), nullptr);
    }
    failAt = 0;
    EXPECT_GT(plain, 0);
    host::reset();
}

}  // namespace
