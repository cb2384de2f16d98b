#include "HostWorld.h"

#include <set>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#if defined(_WIN32)
#  include <process.h>
#endif
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

std::function<void(Craft&, double)> Craft::onPostStep;
int Craft::exits = 0;
int Craft::plainExits = 0;
bool Craft::refuseNext = false;
bool Craft::throwNext = false;
std::string HostWorld::root;

void Craft::clbkSetClassCaps(FILEHANDLE) {
    SetEmptyMass(100.0);
    tank = CreatePropellantResource(10.0);
    main = CreateThruster(_V(0, 0, 0), _V(0, 0, 1), 100.0, tank, 1000.0);
    CreateThrusterGroup(&main, 1, THGROUP_MAIN);
    seat = CreateAttachment(false, _V(0, 1, 0), _V(0, 1, 0), _V(0, 0, 1), "SEAT");
}

void Craft::clbkSaveState(FILEHANDLE scn) {
    SaveDefaultState(scn);
    if (!note.empty()) oapiWriteScenario_string(scn, const_cast<char*>("NOTE"), &note[0]);
}

void Craft::clbkLoadStateEx(FILEHANDLE scn, void* status) {
    char* line = nullptr;
    while (oapiReadScenario_nextline(scn, line)) {
        if (std::strncmp(line, "NOTE ", 5) == 0) note = line + 5;
        else ParseScenarioLineEx(line, status);
    }
}

void Craft::clbkPreStep(double simt, double, double) { preSteps.push_back(simt); }

void Craft::clbkPostStep(double simt, double, double) {
    postSteps.push_back(simt);
    if (onPostStep) onPostStep(*this, simt);
}

int Craft::clbkConsumeBufferedKey(DWORD key, bool, char* kstate) {
    std::string held;
    for (int k = 0; k < 256; ++k)
        if (KEYDOWN(kstate, k)) held += (held.empty() ? "" : ",") + std::to_string(k);
    keyStates.push_back(held);
    return key == OAPI_KEY_K ? 1 : 0;
}

// The crafts this module made: ovcExit may also be handed the simulator's own plain VESSEL.
static std::set<VESSEL*>& madeCrafts() {
    static std::set<VESSEL*> made;
    return made;
}

static VESSEL* craftInit(OBJHANDLE h, int fm) {
    if (Craft::throwNext) {
        Craft::throwNext = false;
        throw std::runtime_error("no craft today");
    }
    if (Craft::refuseNext) {
        Craft::refuseNext = false;
        return nullptr;
    }
    Craft* c = new Craft(h, fm);
    madeCrafts().insert(c);
    return c;
}

static void craftExit(VESSEL* v) {
    if (madeCrafts().erase(v) == 0) {
        ++Craft::plainExits;
        return;
    }
    ++Craft::exits;
    delete static_cast<Craft*>(v);
}

void HostWorld::SetUpTestSuite() {
    if (!root.empty()) return;
#if defined(_WIN32)
    // No mkdtemp here: a folder named after the process, in the temporary folder.
    root = (fs::temp_directory_path() / ("host_tests_" + std::to_string(_getpid()))).string();
    fs::remove_all(root);
    fs::create_directories(root);
#else
    char tmpl[] = "/tmp/host_tests_XXXXXX";
    root = mkdtemp(tmpl);
#endif
    // The host's working folder is the root; Windows removes no folder that is in use.
    std::atexit([] {
        std::error_code ec;
        fs::current_path(fs::temp_directory_path(), ec);
        fs::remove_all(root, ec);
    });
    const fs::path sim = AEROBELL_SIM_DIR;
    fs::create_directories(root + "/Config/Vessels/Sub");
    fs::create_directories(root + "/Meshes");
    fs::copy_file(sim / "Config/Vessels/Probe.cfg", root + "/Config/Vessels/Probe.cfg");
    fs::copy_file(sim / "Meshes/probe.msh", root + "/Meshes/probe.msh");
    write("Config/Vessels/Craft.cfg", "ClassName = Craft\nModule = TestCraft\n");
    write("Config/Vessels/Sub/Deep.cfg",
          "; a class in a folder\r\nSize = 3\r\nMeshName = PROBE\r\n");
    host::registerModule("TestCraft", craftInit, craftExit);
}

void HostWorld::SetUp() {
    host::setRoot(root);
    host::reset();
    // reset() keeps the step length; a test that changed it must not pass it on.
    host::setStep(0.1);
    Craft::onPostStep = nullptr;
    Craft::refuseNext = false;
    Craft::throwNext = false;
}

void HostWorld::TearDown() { host::reset(); }

std::string HostWorld::write(const std::string& rel, const std::string& text) {
    std::string path = root + "/" + rel;
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

std::string HostWorld::read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}
