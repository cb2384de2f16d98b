// Vessel modules loaded from the root's Modules folder with the platform's loader: a class whose
// module is missing, is no library, or lacks the entry points still makes its vessel, with the
// simulator's plain VESSEL, says so in the log, and leaves the file free (the library released).
#include "HostWorld.h"

#include <algorithm>
#include <filesystem>
#include <string>

// The file name the build gives a module.
#define MODULE_FILE(name) name AEROBELL_MODULE_SUFFIX

namespace fs = std::filesystem;

namespace {

using ModuleLoad = HostWorld;

TEST_F(ModuleLoad, ClassesWhoseModuleCannotServeGetThePlainVessel) {
    write(MODULE_FILE("Modules/Junk"), "not a library at all\n");
    fs::copy_file(NO_ENTRY_MODULE, root + "/" MODULE_FILE("Modules/NoEntry"),
                  fs::copy_options::overwrite_existing);
    for (const char* module : {"Nowhere", "Junk", "NoEntry"}) {
        SCOPED_TRACE(module);
        write(std::string("Config/Vessels/") + module + "Class.cfg",
              std::string("ClassName = ") + module + "Class\nModule = " + module + "\n");
        const std::string scn =
            write("Scenarios/module.scn",
                  std::string("BEGIN_SHIPS\nA:") + module + "Class\nEND\nEND_SHIPS\n");
        // Twice: a failed load is not remembered as a module.
        for (int attempt = 0; attempt < 2; ++attempt) {
            host::reset();
            host::loadScenario(scn);
            const OBJHANDLE a = host::find("A");
            ASSERT_NE(a, nullptr);
            EXPECT_FALSE(host::vessel(a).moduleMade);
            EXPECT_EQ(host::vessel(a).iface->Version(), 0);
            const auto& log = host::records().log;
            EXPECT_TRUE(std::any_of(log.begin(), log.end(), [&](const std::string& l) {
                return l.find(std::string("module ") + module) != std::string::npos;
            }));
            host::runFor(0.5);
            EXPECT_NE(host::scenarioText().find("A:" + std::string(module) + "Class"),
                      std::string::npos);
        }
    }
    host::reset();
    // Windows keeps the file of a loaded library from being removed: these were released.
    std::error_code ec;
    EXPECT_TRUE(fs::remove(root + "/" MODULE_FILE("Modules/NoEntry"), ec)) << ec.message();
    EXPECT_TRUE(fs::remove(root + "/" MODULE_FILE("Modules/Junk"), ec)) << ec.message();
}

}  // namespace
