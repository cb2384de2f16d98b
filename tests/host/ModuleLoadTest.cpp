// Vessel modules loaded from the root's Modules folder with the platform's loader: a class whose
// module is missing, is no library, or lacks the entry points is refused with a message naming
// the module, leaves no vessel behind, and leaves the file free (the library released).
#include "HostWorld.h"

#include <filesystem>
#include <string>

// The file name the build gives a module.
#define MODULE_FILE(name) name AEROBELL_MODULE_SUFFIX

namespace fs = std::filesystem;

namespace {

using ModuleLoad = HostWorld;

// The message of the error loading the scenario gives, or "" when it loads.
std::string loadError(const std::string& path) {
    try {
        host::loadScenario(path);
    } catch (const host::Error& e) {
        return e.message;
    }
    return "";
}

TEST_F(ModuleLoad, ClassesWhoseModuleCannotServeAreRefused) {
    struct Case {
        const char* module;
        const char* message;
    };
    const Case cases[] = {
        {"Nowhere", "module Nowhere not found in Modules/"},
        {"Junk", "cannot load module Modules/Junk"},
        {"NoEntry", "lacks ovcInit or ovcExit"},
    };
    write(MODULE_FILE("Modules/Junk"), "not a library at all\n");
    fs::copy_file(NO_ENTRY_MODULE, root + "/" MODULE_FILE("Modules/NoEntry"),
                  fs::copy_options::overwrite_existing);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.module);
        write(std::string("Config/Vessels/") + c.module + "Class.cfg",
              std::string("ClassName = ") + c.module + "Class\nModule = " + c.module + "\n");
        const std::string scn = write("Scenarios/module.scn", std::string("BEGIN_SHIPS\nA:") +
                                                                  c.module + "Class\nEND\nEND_SHIPS\n");
        // Twice: a failed load is not remembered as a module.
        for (int attempt = 0; attempt < 2; ++attempt) {
            host::reset();
            const std::string message = loadError(scn);
            EXPECT_NE(message.find("cannot create vessel 'A'"), std::string::npos) << message;
            EXPECT_NE(message.find(c.message), std::string::npos) << message;
            EXPECT_EQ(host::find("A"), nullptr);
        }
    }
    // Windows keeps the file of a loaded library from being removed: these were released.
    std::error_code ec;
    EXPECT_TRUE(fs::remove(root + "/" MODULE_FILE("Modules/NoEntry"), ec)) << ec.message();
    EXPECT_TRUE(fs::remove(root + "/" MODULE_FILE("Modules/Junk"), ec)) << ec.message();
}

}  // namespace
