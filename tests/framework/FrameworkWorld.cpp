#include "FrameworkWorld.h"

#include <strings.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>

// The file name the build gives a module.
#define MODULE_FILE(name) name AEROBELL_MODULE_SUFFIX

namespace fs = std::filesystem;

std::string FrameworkWorld::root;
std::string FrameworkWorld::rootWithScriptedMessages;

void TestCarrier::OnMessage(const char* key, const char* text) {
    if (throwOnMessage) throw std::runtime_error("hook failed");
    received.emplace_back(key, text);
}

void TestCarrier::clbkSaveState(FILEHANDLE scn) {
    SaveDefaultState(scn);
    SaveItems(scn);
}

void TestCarrier::clbkLoadStateEx(FILEHANDLE scn, void* status) {
    char* line = nullptr;
    while (oapiReadScenario_nextline(scn, line)) {
        if (strncasecmp(line, "PAYLOAD", 7) == 0 || strncasecmp(line, "STAGE", 5) == 0 ||
            strncasecmp(line, "ENDSTAGE", 8) == 0) {
            HandleItemText(line);
        } else {
            ParseScenarioLineEx(line, status);
        }
    }
}

void TestCarrier::clbkPostStep(double, double, double) {
    if (PollMessages()) ++pollsWithMail;
}

void TestCarrier::ResetAndRebuild(MESHHANDLE base) {
    ClearMeshList();
    MeshEntry own;
    own.handle = base;
    meshList.push_back(own);
    RebuildMeshesAtOrigin();
}

namespace {

VESSEL* initCarrier(OBJHANDLE h, int) { return new TestCarrier(h); }
void exitCarrier(VESSEL* v) { delete static_cast<TestCarrier*>(v); }

void write(const fs::path& p, const std::string& text) {
    fs::create_directories(p.parent_path());
    std::ofstream(p) << text;
}

std::string makeRoot(const char* tag, const char* messageModule) {
    const fs::path dir =
        fs::temp_directory_path() / ("framework-tests-" + std::to_string(::getpid()) + "-" + tag);
    fs::remove_all(dir);
    write(dir / "Config/Vessels/TestCarrier.cfg",
          "ClassName = TestCarrier\nModule = TestCarrier\n");
    write(dir / "Config/Vessels/Probe.cfg",
          "ClassName = Probe\nSize = 1\nMass = 50\nMaxFuel = 20\nMeshName = box\n");
    write(dir / "Meshes/box.msh",
          "MSHX1\nGROUPS 1\nGEOM 3 1\n0 0 0 0 0 1\n1 0 0 0 0 1\n0 1 0 0 0 1\n0 1 2\n");
    fs::create_directories(dir / "Modules");
    fs::create_directories(dir / "Scenarios");
    fs::copy_file(messageModule, dir / MODULE_FILE("Modules/cvelmessage"),
                  fs::copy_options::overwrite_existing);
    return dir.string();
}

}  // namespace

void FrameworkWorld::SetUpTestSuite() {
    if (!root.empty()) return;
    root = makeRoot("real", MODULE_FILE(AEROBELL_MODULE_DIR "/cvelmessage"));
    rootWithScriptedMessages = makeRoot("scripted", SCRIPTED_MESSAGE_MODULE);
    host::registerModule("TestCarrier", initCarrier, exitCarrier);
    std::atexit([] {
        std::error_code ec;
        fs::remove_all(root, ec);
        fs::remove_all(rootWithScriptedMessages, ec);
    });
}

void FrameworkWorld::SetUp() {
    host::setRoot(root);
    host::reset();
}

void FrameworkWorld::TearDown() { host::reset(); }

TestCarrier& FrameworkWorld::carrier(OBJHANDLE h) {
    return *static_cast<TestCarrier*>(host::vessel(h).iface);
}

TestCarrier& FrameworkWorld::makeCarrier(const std::string& name, const VESSELSTATUS& status) {
    const OBJHANDLE h = host::createVessel(name, "TestCarrier", status);
    if (h == nullptr) throw std::runtime_error("carrier not created: " + name);
    return carrier(h);
}

void FrameworkWorld::feed(TestCarrier& c, const std::vector<std::string>& lines) {
    for (const std::string& line : lines) c.HandleItemText(line.c_str());
}
