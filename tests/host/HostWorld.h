// A world for host tests: a simulation root of its own (the bundled probe class and mesh plus
// test classes) and an in-process module whose vessels record what the host did to them.
#ifndef TESTS_HOST_WORLD_H
#define TESTS_HOST_WORLD_H

#include <host/Host.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

// Class "Craft": 100 kg empty, a 10 kg tank, one 100 N main thruster (isp 1000) along +z and a
// child point "SEAT"; it keeps a "NOTE" line of its own in the scenario.
class Craft final : public VESSEL3 {
public:
    Craft(OBJHANDLE h, int fm) : VESSEL3(h, fm) {}
    void clbkSetClassCaps(FILEHANDLE cfg) override;
    void clbkSaveState(FILEHANDLE scn) override;
    void clbkLoadStateEx(FILEHANDLE scn, void* status) override;
    void clbkPreStep(double simt, double simdt, double mjd) override;
    void clbkPostStep(double simt, double simdt, double mjd) override;
    int clbkConsumeBufferedKey(DWORD key, bool down, char* kstate) override;

    PROPELLANT_HANDLE tank = nullptr;
    THRUSTER_HANDLE main = nullptr;
    ATTACHMENTHANDLE seat = nullptr;
    std::string note;
    std::vector<double> preSteps, postSteps;  // the times each was given
    std::vector<std::string> keyStates;       // per key event: codes held down, comma separated

    static std::function<void(Craft&, double)> onPostStep;
    static int exits;
    static int plainExits;  // ovcExit calls given the simulator's plain VESSEL
    static bool refuseNext;
    static bool throwNext;  // the next ovcInit throws
};

class HostWorld : public testing::Test {
protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;

    static std::string root;
    // Writes a file under the test root (relative path) and gives its path.
    static std::string write(const std::string& rel, const std::string& text);
    static std::string read(const std::string& path);
    static Craft& craft(OBJHANDLE h) { return *static_cast<Craft*>(host::vessel(h).iface); }
    static OBJHANDLE make(const std::string& name, const std::string& cls = "Craft",
                          const VESSELSTATUS& s = host::defaultStatus()) {
        return host::createVessel(name, cls, s);
    }
};

inline void expectNear(const VECTOR3& a, const VECTOR3& b, double tol = 1e-9) {
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
}

#endif  // TESTS_HOST_WORLD_H
