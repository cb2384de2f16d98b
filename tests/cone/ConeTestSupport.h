// Shared set-up of the cone suites: the real module, loaded by the host from a private copy of
// the built simulation root, and small helpers to look at what the cone asked of the host.
#ifndef CONE_TEST_SUPPORT_H
#define CONE_TEST_SUPPORT_H

#include "PrivateRoot.h"
#include "host/Host.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace conetest {

namespace fs = std::filesystem;

// The built root is copied once per process, so that a suite can add its own class files and
// scenarios without touching the build tree.
class RootEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        dir_ = testroot::copyBuiltRoot("cone-tests");
        // Its crew key lies beyond the 29 characters that the crew set-up looks at.
        std::ofstream(dir_ / "Config" / "Vessels" / "ABCDEFGHIJKLMNOPQRSTUVWXYZ012AEROBELL.cfg")
            << "ClassName = ABCDEFGHIJKLMNOPQRSTUVWXYZ012AEROBELL\nModule = Aerobell\n";
        host::setRoot(dir_.string());
    }
    void TearDown() override { testroot::removeRoot(dir_); }
    static const fs::path& dir() { return dir_; }

private:
    static inline fs::path dir_;
};

class ConeTest : public ::testing::Test {
protected:
    void SetUp() override {
        host::reset();
        host::setStep(0.1);
    }
    void TearDown() override { host::reset(); }
};

inline OBJHANDLE makeVessel(const std::string& name, const std::string& cls,
                            VECTOR3 pos = _V(0, 0, 0), VECTOR3 vel = _V(0, 0, 0),
                            VECTOR3 arot = _V(0, 0, 0)) {
    VESSELSTATUS s = host::defaultStatus();
    s.rpos = pos;
    s.rvel = vel;
    s.arot = arot;
    return host::createVessel(name, cls, s);
}

inline const host::Vessel& V(OBJHANDLE h) { return host::vessel(h); }
inline const host::Vessel& V(const std::string& name) {
    OBJHANDLE h = host::find(name);
    if (h == nullptr) throw std::runtime_error("no vessel " + name);
    return host::vessel(h);
}
inline VESSEL* iface(const std::string& name) { return V(name).iface; }

// Writes a scenario holding the given ship blocks into the private root; gives its path
// relative to the root.
inline std::string writeScenario(const std::string& name, const std::string& ships,
                                 const std::string& focus) {
    const std::string rel = "Scenarios/Tests/" + name + ".scn";
    std::ofstream out(RootEnvironment::dir() / rel);
    out << "BEGIN_DESC\nwritten by the cone tests\nEND_DESC\n\n"
        << "BEGIN_ENVIRONMENT\n  System Sol\n  Date MJD 51982.5\nEND_ENVIRONMENT\n\n"
        << "BEGIN_FOCUS\n  Ship " << focus << "\nEND_FOCUS\n\n"
        << "BEGIN_SHIPS\n"
        << ships << "END_SHIPS\n";
    return rel;
}

// One ship block at rest at the origin with full tanks (loading a block empties every tank it
// does not list), with extra lines (item lines and the like).
inline std::string ship(const std::string& name, const std::string& cls,
                        const std::vector<std::string>& lines = {}) {
    // A circular orbit above the atmosphere: nothing but gravity and the cone's own motor acts.
    std::string s = name + ":" + cls + "\n  STATUS Orbiting Earth\n  RPOS 10000000.00 0.00 0.00\n" +
                    "  RVEL 0.00 0.00 6313.50\n  AROT 0.00 0.00 0.00\n  PRPLEVEL 0:1 1:1\n";
    for (const std::string& l : lines) s += "  " + l + "\n";
    return s + "END\n";
}

// Item lines of a vessel's saved block, in order.
inline std::vector<std::string> savedItemLines(OBJHANDLE h) {
    std::vector<std::string> out;
    for (std::string l : host::saveVesselState(h)) {
        const std::size_t b = l.find_first_not_of(" \t");
        l = b == std::string::npos ? "" : l.substr(b);
        if (l.rfind("PAYLOAD", 0) == 0 || l.rfind("STAGE", 0) == 0 || l.rfind("ENDSTAGE", 0) == 0) {
            out.push_back(l);
        }
    }
    return out;
}

inline const host::ThrusterGroup* group(const host::Vessel& v, THGROUP_TYPE type) {
    for (const auto& g : v.groups) {
        if (g->type == type) return g.get();
    }
    return nullptr;
}

inline double distance(const VECTOR3& a, const VECTOR3& b) { return dist(a, b); }

inline std::string vecText(const VECTOR3& v) {
    char b[96];
    // + 0.0 writes -0 as 0: a saved "-0.000" reads back as -0, the same value.
    std::snprintf(b, sizeof b, "(%.17g %.17g %.17g)", v.x + 0.0, v.y + 0.0, v.z + 0.0);
    return b;
}

// A particle stream's fields in the host's order, as one line to compare with the stream
// it should be.
inline std::string streamText(const PARTICLESTREAMSPEC& p) {
    char b[256];
    std::snprintf(b, sizeof b, "%u %g %g %g %g %g %g %g %d %d %g %g %d %g %g %s",
                  static_cast<unsigned>(p.flags), p.srcsize, p.srcrate, p.v0, p.srcspread,
                  p.lifetime, p.growthrate, p.atmslowdown, static_cast<int>(p.ltype),
                  static_cast<int>(p.levelmap), p.lmin, p.lmax, static_cast<int>(p.atmsmap), p.amin,
                  p.amax, p.tex == nullptr ? "default" : "own");
    return b;
}

}  // namespace conetest

#endif  // CONE_TEST_SUPPORT_H
