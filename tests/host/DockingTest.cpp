// Docked vessels: placed where their ports meet, flown as one body of their summed mass and
// inertia, kept docked across a save, parted into free vessels by undocking, joined by Dock.
#include "HostWorld.h"

#include <cmath>

namespace {

// Two classes without a module. A: 1000 kg, its port at +z pointing ahead; B: 3000 kg, its port
// at -z pointing back with its rotation reference along x, so that docked B is turned a quarter
// round the axis. Both carry a 10 kg tank, and a main thruster through their origin along +z
// (isp 1e7, so that the burn takes off 4 g of propellant in 10 s). Default inertia per unit
// mass: (2 size, 2 size, size).
constexpr double kMassA = 1010.0, kMassB = 3010.0;  // tanks full
constexpr double kThrustB = 4000.0;

class Docking : public HostWorld {
protected:
    static void SetUpTestSuite() {
        HostWorld::SetUpTestSuite();
        write("Config/Vessels/DockA.cfg",
              "Size = 2\nMass = 1000\nMaxFuel = 10\nIsp = 1e7\nMaxMainThrust = 2000\n"
              "DockRef = 0 0 2\nDockDir = 0 0 1\nDockRot = 0 1 0\n");
        write("Config/Vessels/DockB.cfg",
              "Size = 3\nMass = 3000\nMaxFuel = 10\nIsp = 1e7\nMaxMainThrust = 4000\n"
              "DockRef = 0 0 -3\nDockDir = 0 0 -1\nDockRot = 1 0 0\n");
        // B with its port 0.5 m off its axis.
        write("Config/Vessels/DockBOff.cfg",
              "Size = 3\nMass = 3000\nMaxFuel = 10\nIsp = 1e7\nMaxMainThrust = 4000\n"
              "DockRef = 0.5 0 -3\nDockDir = 0 0 -1\nDockRot = 1 0 0\n");
    }

    // A and B, free of any body (no gravity), B written 100 m away and turned anyhow: the
    // scenario's docking places it. `extraA`/`extraB`: further lines of each block.
    static void load(const std::string& extraA, const std::string& extraB,
                     const std::string& classB = "DockB") {
        host::loadScenario(write("Scenarios/dock.scn",
                                 "BEGIN_SHIPS\nA:DockA\n  STATUS Orbiting Nowhere\n  RPOS 0 0 0\n"
                                 "  RVEL 0 0 100\n  PRPLEVEL 0:1\n" +
                                     extraA + "END\nB:" + classB +
                                     "\n  STATUS Orbiting Nowhere\n  RPOS 0 100 0\n"
                                     "  RVEL 5 0 0\n  AROT 10 20 30\n  PRPLEVEL 0:1\n" +
                                     extraB + "END\nEND_SHIPS\n"));
    }
    static const host::Vessel& A() { return host::vessel(host::find("A")); }
    static const host::Vessel& B() { return host::vessel(host::find("B")); }
    static VESSEL& iface(const char* name) { return *host::vessel(host::find(name)).iface; }
    // The port's place and direction in the global frame.
    static VECTOR3 portPos(const host::Vessel& v) { return v.pos + mul(v.rot, v.docks[0]->pos); }
    static VECTOR3 portDir(const host::Vessel& v) { return mul(v.rot, v.docks[0]->dir); }
    static VECTOR3 momentum() { return A().vel * A().mass() + B().vel * B().mass(); }
};

TEST_F(Docking, ADockedPairMeetsAtItsPortsAndGainsTheThrustOverTheSummedMass) {
    // One side's DOCKINFO docks both; the first vessel stays, its mate comes to it.
    load("  DOCKINFO 0:0,B\n", "  THLEVEL 0:1\n");
    expectNear(A().pos, _V(0, 0, 0));
    expectNear(portPos(B()), portPos(A()), 1e-12);
    expectNear(portDir(B()), -portDir(A()), 1e-12);
    expectNear(mul(B().rot, B().docks[0]->rot), mul(A().rot, A().docks[0]->rot), 1e-12);
    expectNear(B().vel, A().vel, 1e-12);  // not turning: one velocity
    EXPECT_EQ(iface("A").GetDockStatus(iface("A").GetDockHandle(0)), host::find("B"));
    EXPECT_EQ(iface("B").GetDockStatus(iface("B").GetDockHandle(0)), host::find("A"));
    EXPECT_EQ(iface("B").DockingStatus(0), 1u);

    // B's thrust pushes both: 4000 N for 10 s over 4020 kg (less 4 g of burnt propellant).
    const VECTOR3 gap = B().pos - A().pos;
    host::runFor(10.0);
    const double dv = kThrustB * 10.0 / (kMassA + kMassB);
    expectNear(A().vel, _V(0, 0, 100 + dv), 2e-5);
    expectNear(B().vel, A().vel, 1e-9);
    expectNear(B().pos - A().pos, gap, 1e-9);
}

TEST_F(Docking, ThrustOffTheCommonCentreTurnsThePairByTheTorqueOverItsCombinedInertia) {
    // B's port 0.5 m off its axis: its thrust passes the pair's centre of mass at a distance.
    load("  DOCKINFO 0:0,B\n", "  THLEVEL 0:1\n", "DockBOff");
    // In A's frame B sits at (0, -0.5, 5), turned a quarter round z (its y is A's -x).
    const double M = kMassA + kMassB;
    const VECTOR3 rB = _V(0, -0.5, 5), cg = rB * (kMassB / M);
    const VECTOR3 a = -cg, b = rB - cg;
    // About x: A's own 2 size (4), B's own about its y (6), and each place's parallel axis.
    const double Ix = kMassA * (4 + a.y * a.y + a.z * a.z) + kMassB * (6 + b.y * b.y + b.z * b.z);
    const double torque = kThrustB * (b.z * 0 - 1.0 * b.y);  // F x r, F along z: -F r_y
    host::step();
    EXPECT_NEAR(A().vrot.x, torque / Ix * 0.1, 1e-6 * torque / Ix);
    EXPECT_NEAR(A().vrot.y, 0.0, 1e-15);
    EXPECT_NEAR(A().vrot.z, 0.0, 1e-15);
}

TEST_F(Docking, ASavedPairIsWrittenDockedAndReloadsAsOneBody) {
    load("  DOCKINFO 0:0,B\n", "  THLEVEL 0:1\n");
    host::runFor(3.0);
    const VECTOR3 velA = A().vel, posB = B().pos;
    const std::string text = host::scenarioText();
    EXPECT_NE(text.find("  THLEVEL 0:1.000000\n  DOCKINFO 0:0,A\n  NAVFREQ 0 0\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("  PRPLEVEL 0:1.000000\n  DOCKINFO 0:0,B\n"), std::string::npos) << text;

    host::reset();
    host::loadScenario(write("Scenarios/docked-saved.scn", text));
    EXPECT_EQ(iface("A").GetDockStatus(iface("A").GetDockHandle(0)), host::find("B"));
    expectNear(A().vel, velA, 1e-4);  // four decimals written
    expectNear(B().pos, posB, 2e-3);  // three decimals, B placed again at A's port
    host::runFor(1.0);
    const double dv = kThrustB * 1.0 / (kMassA + kMassB);
    expectNear(A().vel, velA + _V(0, 0, dv), 2e-4);
}

TEST_F(Docking, UndockingPartsTwoVesselsWithTheBodysMotionPushedApartAlongThePort) {
    // The pair spinning about A's x axis.
    load("  VROT 20 0 0\n  DOCKINFO 0:0,B\n", "");
    // The first vessel's velocity becomes the pair's centre's (A itself swings round it).
    expectNear(momentum() / (kMassA + kMassB), _V(0, 0, 100), 1e-9);
    host::runFor(1.0);
    const VECTOR3 p0 = momentum(), w0 = mul(A().rot, A().vrot);
    const VECTOR3 velA = A().vel, velB = B().vel, axis = portDir(A());
    EXPECT_TRUE(iface("A").Undock(0));
    EXPECT_EQ(iface("A").GetDockStatus(iface("A").GetDockHandle(0)), nullptr);
    EXPECT_EQ(iface("B").DockingStatus(0), 0u);
    EXPECT_FALSE(iface("A").Undock(0));
    // Momentum kept, 0.2 m/s between them along A's port axis, shared by mass; each keeps the
    // turn it had.
    expectNear(momentum(), p0, 1e-9);
    expectNear(A().vel, velA - axis * (0.2 * kMassB / (kMassA + kMassB)), 1e-12);
    expectNear(B().vel, velB + axis * (0.2 * kMassA / (kMassA + kMassB)), 1e-12);
    expectNear(mul(B().rot, B().vrot), w0, 1e-12);
    // Free now: each flies on with its own velocity, B's spin no longer bound to A's.
    const VECTOR3 b0 = B().pos, v = B().vel;
    host::step();
    expectNear(B().pos, b0 + v * 0.1, 1e-9);
}

TEST_F(Docking, ADeletedVesselLetsItsMateGoWithoutAPush) {
    load("  VROT 20 0 0\n  DOCKINFO 0:0,B\n", "");
    host::runFor(1.0);
    const VECTOR3 velA = A().vel;
    EXPECT_TRUE(host::deleteVessel(host::find("B")));
    host::step();
    EXPECT_EQ(host::find("B"), nullptr);
    EXPECT_EQ(iface("A").DockingStatus(0), 0u);
    expectNear(A().vel, velA, 1e-12);  // no gravity here, and no push
}

TEST_F(Docking, DockJoinsTwoFreeVesselsAtTheirPortsKeepingMomentum) {
    load("", "");
    const VECTOR3 p0 = momentum();
    // Mode 0: the vessels are joined where the target comes to this one's port.
    EXPECT_EQ(iface("A").Dock(host::find("B"), 0, 0, 0), 0);
    expectNear(portPos(B()), portPos(A()), 1e-12);
    expectNear(momentum(), p0, 1e-9);
    EXPECT_EQ(iface("B").GetDockStatus(iface("B").GetDockHandle(0)), host::find("A"));
    EXPECT_EQ(iface("A").Dock(host::find("B"), 0, 0, 0), 1);
    // B came sideways at 5 m/s: the pair turns, and moves as one.
    EXPECT_GT(length(A().vrot), 0.0);
    const VECTOR3 gap = tmul(A().rot, B().pos - A().pos);
    host::runFor(1.0);
    expectNear(tmul(A().rot, B().pos - A().pos), gap, 1e-9);
}

TEST_F(Docking, PortsThatMeetCatchEachOtherOnceTheyStopClosingIn) {
    // B 1 m short of A's port, lined up, closing in at 0.2 m/s and drifting sideways at 1 cm/s.
    host::loadScenario(write("Scenarios/approach.scn",
                             "BEGIN_SHIPS\nA:DockA\n  STATUS Orbiting Nowhere\n  RPOS 0 0 0\n"
                             "  RVEL 0 0 100\nEND\nB:DockB\n  STATUS Orbiting Nowhere\n"
                             "  RPOS 0 -0.5 6\n  RVEL 0 0.01 99.8\n  AROT 0 0 -90\nEND\n"
                             "END_SHIPS\n"));
    const VECTOR3 p0 = momentum();
    double gap = 1.0;
    while (!iface("A").DockingStatus(0) && host::simTime() < 10.0) {
        gap = portPos(B()).z - portPos(A()).z;
        host::step();
    }
    // Caught in the step after the ports passed each other (within the half metre).
    EXPECT_EQ(iface("B").GetDockStatus(iface("B").GetDockHandle(0)), host::find("A"));
    EXPECT_GT(gap, -0.5);
    EXPECT_LT(gap, 0.0);
    expectNear(portPos(B()), portPos(A()), 1e-9);
    expectNear(momentum(), p0, 1e-9);
}

TEST_F(Docking, ADockinfoNamingNoVesselLeavesThePortFreeAndACheckSaysSo) {
    load("  DOCKINFO 0:0,Bx 3:0,B\n", "");
    EXPECT_EQ(iface("A").DockingStatus(0), 0u);
    EXPECT_EQ(iface("B").DockingStatus(0), 0u);
    std::vector<std::string> notes;
    for (const host::Notice& n : host::scenario().notices)
        if (n.message.find("DOCKINFO") != std::string::npos) notes.push_back(n.message);
    EXPECT_EQ(notes,
              (std::vector<std::string>{
                  "DOCKINFO names port 3 of a vessel with 1: the simulator ignores the entry",
                  "DOCKINFO names no vessel 'Bx': the simulator leaves port 0 free"}));
}

}  // namespace
