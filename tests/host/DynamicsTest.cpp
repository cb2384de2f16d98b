// The laws a vessel flies by, each checked against its textbook value: orbits, free fall, drag,
// torque, the ground, orbital elements, and a landed vessel's place across a save.
#include "HostWorld.h"

#include <cmath>
#include <filesystem>

namespace {

constexpr double kG = 6.67259e-11;  // the simulator's gravitational constant
constexpr double kMass = 5.973698968e24, kRadius = 6.37101e6;
constexpr double kMu = kG * kMass;
constexpr double kPi = 3.14159265358979323846;

class Dynamics : public HostWorld {
protected:
    static void SetUpTestSuite() {
        HostWorld::SetUpTestSuite();
        // Bodies of the Earth's mass and size: one bare and still, one with the Earth's
        // atmosphere and still, one bare and turning like the Earth.
        write("Config/Rock.cfg", "Mass = 5.973698968e+24\nSize = 6.37101e6\n");
        write("Config/Airy.cfg",
              "Mass = 5.973698968e+24\nSize = 6.37101e6\nModule_Atm = EarthAtmJ71G\n");
        write("Config/Earth.cfg", "Mass = 5.973698968e+24\nSize = 6.37101e6\n");
        write("Config/Spin.cfg",
              "Mass = 5.973698968e+24\nSize = 6.37101e6\nSidRotPeriod = 86164.10132\n"
              "SidRotOffset = 4.88948754\nObliquity = 0.4090928023\n");
    }

    // One Probe (200 kg, size 1.5, default cross sections and touchdown points) in a scenario.
    static OBJHANDLE probe(const std::string& body, const std::string& lines,
                           const std::string& name = "P") {
        host::loadScenario(write("Scenarios/dyn.scn", "BEGIN_SHIPS\n" + name + ":Probe\n  STATUS " +
                                                          body + "\n" + lines +
                                                          "END\nEND_SHIPS\n"));
        return host::find(name);
    }
};

double radius(const host::Vessel& v) { return length(v.pos); }

TEST_F(Dynamics, ACircularOrbitKeepsItsRadiusAndClosesAfterKeplersPeriod) {
    const double r = 7.0e6, v0 = std::sqrt(kMu / r), period = 2 * kPi * std::sqrt(r * r * r / kMu);
    OBJHANDLE h =
        probe("Orbiting Rock", "  RPOS 7000000 0 0\n  RVEL 0 0 " + std::to_string(v0) + "\n");
    const host::Vessel& v = host::vessel(h);
    const int steps = 60000;
    host::setStep(period / steps);
    double rmin = r, rmax = r;
    for (int i = 0; i < steps; ++i) {
        host::step();
        rmin = std::min(rmin, radius(v));
        rmax = std::max(rmax, radius(v));
    }
    EXPECT_NEAR(rmin, r, 1.0);
    EXPECT_NEAR(rmax, r, 1.0);
    expectNear(v.pos, _V(r, 0, 0), 10.0);
    expectNear(v.vel, _V(0, 0, v0), 0.01);
}

// Longer steps take higher orders, as the simulator picks them by the step's length: sixth
// order from 10 s (in sub-steps of at most 20 s), eighth from 100 s (of at most 200 s). Flown so,
// a circular orbit closes after Kepler's period within 2 cm (low orbit, steps of 50 s) and 5 cm
// (a geostationary one, steps of 200 s), where the fourth order leaves it 11 and 31 cm off.
TEST_F(Dynamics, LongStepsAreFlownAtTheHigherOrdersTheirLengthsCallFor) {
    struct Case {
        double r, dt, tolerance;
    };
    for (const Case& c : {Case{7.0e6, 50.0, 0.02}, Case{4.2164e7, 200.0, 0.05}}) {
        host::reset();
        const double v0 = std::sqrt(kMu / c.r), period = 2 * kPi * std::sqrt(c.r * c.r * c.r / kMu);
        OBJHANDLE h = probe("Orbiting Rock", "  RPOS " + std::to_string(c.r) + " 0 0\n  RVEL 0 0 " +
                                                 std::to_string(v0) + "\n");
        const host::Vessel& v = host::vessel(h);
        const int steps = static_cast<int>(std::lround(period / c.dt));
        host::setStep(period / steps);
        for (int i = 0; i < steps; ++i) host::step();
        expectNear(v.pos, _V(c.r, 0, 0), c.tolerance);
    }
}

TEST_F(Dynamics, AFreeFallFromRestInVacuumCoversHalfGTSquared) {
    const double r0 = kRadius + 1000.0, g = kMu / (r0 * r0);
    OBJHANDLE h = probe("Orbiting Rock", "  RPOS 0 0 " + std::to_string(r0) + "\n");
    host::setStep(0.01);
    host::runFor(10.0);
    // g grows by 0.03% over the 490 m fallen: half a metre at most.
    EXPECT_NEAR(r0 - radius(host::vessel(h)), 0.5 * g * 100.0, 0.2);
    EXPECT_NEAR(host::vessel(h).readings.gLoad, 0.0, 1e-12);
}

TEST_F(Dynamics, ABluntBodyFallingInAirReachesItsTerminalSpeed) {
    // Falling along its z axis the Probe shows cross section 20 m^2 with cw 0.1 (the
    // simulator's defaults): drag = 0.5 * 20 * 0.1 * q. At 1 km the standard atmosphere of 1976
    // has 1.1117 kg/m^3.
    const double m = 200.0, cwcs = 0.5 * 20.0 * 0.1, rho = 1.1117;
    const double r1 = kRadius + 1000.0, g = kMu / (r1 * r1);
    const double vt = std::sqrt(2.0 * m * g / (rho * cwcs));
    OBJHANDLE h = probe("Orbiting Airy", "  RPOS 0 0 " + std::to_string(kRadius + 2500.0) + "\n");
    const host::Vessel& v = host::vessel(h);
    host::setStep(0.05);
    VESSEL& sdk = *v.iface;
    while (sdk.GetAltitude() > 1000.0) host::step();
    EXPECT_NEAR(sdk.GetAtmDensity(), rho, 0.0005);
    EXPECT_NEAR(sdk.GetAirspeed(), vt, 0.01 * vt);
    EXPECT_NEAR(sdk.GetDynPressure(), 0.5 * rho * vt * vt, 0.02 * 0.5 * rho * vt * vt);
    VECTOR3 hv;
    EXPECT_TRUE(sdk.GetHorizonAirspeedVector(hv));  // straight down the local vertical
    expectNear(hv, _V(0, -sdk.GetAirspeed(), 0), 1e-6);
    EXPECT_NEAR(v.readings.gLoad, 1.0 * g / 9.80665, 0.03);  // drag carries its weight
}

TEST_F(Dynamics, ThrustOffTheCentreTurnsTheVesselByTorqueOverInertia) {
    OBJHANDLE h = probe("Orbiting Nowhere", "  RPOS 0 0 0\n");
    const host::Vessel& v = host::vessel(h);
    VESSEL* iface = v.iface;
    PROPELLANT_HANDLE tank = iface->CreatePropellantResource(1.0);
    // A new tank weighs in at the vessel's next update; setting its mass weighs it now.
    iface->SetPropellantMass(tank, 1.0);
    // 10 N pushing the nose (z = 2 m) up (+y): a pitch torque of 20 N m about x.
    THRUSTER_HANDLE th = iface->CreateThruster(_V(0, 0, 2), _V(0, 1, 0), 10.0, tank, 1e12);
    const double hstep = 0.1;
    host::setStep(hstep);
    // Lit as the flight script lights it, as a step begins.
    host::setPreStepHook([&](double) { iface->SetThrusterLevel(th, 1.0); });
    const int n = 10;
    for (int i = 0; i < n; ++i) host::step();
    host::setPreStepHook(nullptr);
    // Inertia per unit mass from the size 1.5: 3 m^2 about x; the mass 201 kg.
    const double alpha = 20.0 / (201.0 * 3.0);
    EXPECT_NEAR(v.vrot.x, alpha * n * hstep, 1e-9);
    EXPECT_NEAR(v.vrot.y, 0.0, 1e-12);
    EXPECT_NEAR(v.vrot.z, 0.0, 1e-12);
    // The simulator's second-order step (0.1 s, slow turn: one sub-step) is the midpoint rule
    // whose first stage takes the torque the step started with: step k turns by the angle
    // 2 atan(th_k/2) of th_k = (w_k-1 + a_k h/2) h (its quaternion step) and sets
    // w_k = w_k-1 + alpha h, with a_1 = 0 (lit after the step began) and a_k = alpha after. The
    // th_k add up to alpha h^2 (n^2 - 1)/2, half a step's turn short of alpha t^2 / 2 (as the
    // simulator flies it).
    double turn = 0.0;
    for (int k = 2; k <= n; ++k) turn += 2.0 * std::atan(0.5 * alpha * (k - 0.5) * hstep * hstep);
    EXPECT_NEAR(std::asin(v.rot.m23), turn, 1e-12);
}

// The simulator's second- and fourth-order levels turn the attitude as a quaternion by its
// first-order increment, normalised: each sub-step turns by 2 atan(w h/2), not by w h (measured
// in the simulator to the last digits: 15 deg/s, 0.1 s steps, one fourth-order sub-step, turns
// 1.495e-6 rad a step short; 5 deg/s, three second-order sub-steps, 6.2e-9 rad).
TEST_F(Dynamics, ASteadySpinTurnsAsTheSimulatorsQuaternionStepDoes) {
    struct Case {
        double degPerSecond;
        int substeps;
    };
    for (const Case& c : {Case{15.0, 1}, Case{5.0, 3}}) {
        host::reset();
        // About the z axis, a principal axis of the Probe: the spin stays as it is.
        OBJHANDLE h = probe("Orbiting Nowhere",
                            "  RPOS 0 0 0\n  VROT 0 0 " + std::to_string(c.degPerSecond) + "\n");
        const host::Vessel& v = host::vessel(h);
        const double hstep = 0.1, w = c.degPerSecond * kPi / 180.0, hs = hstep / c.substeps;
        host::setStep(hstep);
        const int n = 10;
        for (int i = 0; i < n; ++i) host::step();
        const double turn = n * c.substeps * 2.0 * std::atan(0.5 * w * hs);
        EXPECT_NEAR(std::fabs(std::atan2(v.rot.m12, v.rot.m11)), turn, 1e-13) << c.degPerSecond;
    }
}

// As in the simulator, a vessel's mass is its empty mass and propellant: a child on one of its
// points rides along without weighing on its flight (a module counts it where it should).
TEST_F(Dynamics, AnAttachedChildRidesWithoutWeighingOnItsParent) {
    OBJHANDLE a = make("A"), b = make("B");
    VESSEL& child = *host::vessel(b).iface;
    ATTACHMENTHANDLE point =
        child.CreateAttachment(true, _V(0, 0, 0), _V(0, -1, 0), _V(0, 0, 1), "C");
    ASSERT_TRUE(craft(a).AttachChild(b, craft(a).seat, point));
    craft(a).SetThrusterGroupLevel(THGROUP_MAIN, 1.0);
    host::setStep(0.01);
    host::runFor(1.0);
    // 100 N at an Isp of 1000 m/s for 1 s from 110 kg: the rocket equation's 1000 ln(110/109.9).
    EXPECT_NEAR(length(host::vessel(a).vel), 1000.0 * std::log(110.0 / 109.9), 1e-4);
    expectNear(host::vessel(b).vel, host::vessel(a).vel, 1e-12);
}

// Lift coefficient 1, no moment, no drag, whatever the angle.
void unitLift(VESSEL*, double, double, double, void*, double* cl, double* cm, double* cd) {
    *cl = 1.0;
    *cm = *cd = 0.0;
}

TEST_F(Dynamics, AnAirfoilLiftsAcrossTheAirflowAndAControlSurfaceTurnsTheVessel) {
    // Flying level at 1 km along its own z axis (the global z; the body still), 100 m/s through
    // air of 1.1117 kg/m^3: q = 5558.5 Pa. A wing of 2 m^2 with CL 1 pulls it along its y axis by
    // q S; an elevator of 1 m^2 (dCl 0.5) 2 m behind the centre, fully up, adds lift -0.5 q and
    // drag q there, so its moment turns the vessel about x.
    const double r = kRadius + 1000.0, q = 0.5 * 1.1117 * 100.0 * 100.0;
    OBJHANDLE h = probe("Orbiting Airy",
                        "  RPOS " + std::to_string(r) + " 0 0\n  RVEL 0 0 100\n  AROT 0 0 0\n");
    const host::Vessel& v = host::vessel(h);
    VESSEL& sdk = *v.iface;
    sdk.CreateAirfoil3(LIFT_VERTICAL, _V(0, 0, 0), unitLift, nullptr, 1.0, 2.0, 1.0);
    host::setStep(0.001);
    host::step();  // the air's readings are those of the step's start
    const double vy0 = v.vel.y;
    host::step();
    EXPECT_NEAR((v.vel.y - vy0) / 0.001, q * 2.0 / 200.0, 0.002 * q * 2.0 / 200.0);
    EXPECT_NEAR(sdk.GetLift(), q * 2.0, 0.01 * q);
    EXPECT_EQ(sdk.GetDrag(), 0.0);

    sdk.CreateControlSurface3(AIRCTRL_ELEVATOR, 1.0, 0.5, _V(0, 0, -2), AIRCTRL_AXIS_AUTO, 0.0);
    sdk.SetControlSurfaceLevel(AIRCTRL_ELEVATOR, 1.0, true);
    const double wx0 = v.vrot.x;
    host::step();
    EXPECT_EQ(sdk.GetControlSurfaceLevel(AIRCTRL_ELEVATOR), 1.0);
    // Lift -0.5 q along y at z = -2: a moment (F x r).x = Fy * rz = 0.5 q * 2 = q (the drag
    // along -z acts on the axis); inertia 3 m^2 per kg from the size 1.5.
    EXPECT_NEAR((v.vrot.x - wx0) / 0.001, q / (200.0 * 3.0), 0.01 * q / (200.0 * 3.0));
}

TEST_F(Dynamics, AVesselLoweredOntoTheGroundComesToRestOnItsTouchdownPoints) {
    // Points 2 m below the centre, each as stiff as 20 N/m per kilogram of empty mass: it
    // stands 2 m high less its weight shared by the three springs.
    OBJHANDLE h = probe("Orbiting Rock", "  RPOS 0 " + std::to_string(kRadius + 2.5) + " 0\n");
    const host::Vessel& v = host::vessel(h);
    v.iface->SetTouchdownPoints(_V(0, -2, 1), _V(-0.866, -2, -0.5), _V(0.866, -2, -0.5));
    host::setStep(0.05);
    host::runFor(30.0);
    const double g = kMu / (kRadius * kRadius);
    EXPECT_EQ(v.status, 1);
    EXPECT_TRUE(v.readings.groundContact);
    EXPECT_NEAR(v.readings.altitude, 2.0 - 200.0 * g / (3 * 20.0 * 200.0), 0.002);
    EXPECT_NEAR(v.readings.latitude, kPi / 2, 1e-6);
    EXPECT_LT(length(v.vel), 1e-9);
}

TEST_F(Dynamics, AVesselUpsideDownComesToRestOnItsHullVertices) {
    // Gear 2 m below the centre, four hull vertices 1 m above it, each as stiff as 2e4 N/m;
    // turned over (its y axis down) it falls onto the hull vertices, which share its weight.
    OBJHANDLE h = probe("Orbiting Rock",
                        "  RPOS 0 " + std::to_string(kRadius + 1.5) + " 0\n  AROT 0 0 180\n");
    const host::Vessel& v = host::vessel(h);
    const double k = 2e4, d = 2e3;
    const TOUCHDOWNVTX vtx[] = {
        {_V(0, -2, 1), k, d, 0.5, 0.1},        {_V(-0.866, -2, -0.5), k, d, 0.5, 0.1},
        {_V(0.866, -2, -0.5), k, d, 0.5, 0.1}, {_V(1, 1, 1), k, d, 0.5, 0.5},
        {_V(-1, 1, 1), k, d, 0.5, 0.5},        {_V(1, 1, -1), k, d, 0.5, 0.5},
        {_V(-1, 1, -1), k, d, 0.5, 0.5},
    };
    v.iface->SetTouchdownPoints(vtx, 7);
    EXPECT_EQ(v.iface->GetTouchdownPointCount(), 7u);
    host::setStep(0.02);
    host::runFor(30.0);
    const double g = kMu / (kRadius * kRadius);
    EXPECT_EQ(v.status, 1);
    EXPECT_NEAR(v.readings.altitude, 1.0 - 200.0 * g / (4 * k), 0.002);
}

TEST_F(Dynamics, ElementsOfAKnownOrbitGiveItsState) {
    // a 8000 km, e 0.1, in the reference plane, at periapsis on the x axis at the epoch.
    OBJHANDLE h = probe("Orbiting Rock", "  ELEMENTS 8000000 0.1 0 0 0 0 51544.5\n");
    const host::Vessel& v = host::vessel(h);
    const double mu = kG * (kMass + 200.0), rp = 7.2e6;
    expectNear(v.pos, _V(rp, 0, 0), 1e-3);
    expectNear(v.vel, _V(0, 0, std::sqrt(mu * 1.1 / rp)), 1e-6);
    // Half a period later it is at apoapsis, on the other side.
    OBJHANDLE q = probe("Orbiting Rock", "  ELEMENTS 8000000 0.1 0 0 0 180 51544.5\n", "Q");
    expectNear(host::vessel(q).pos, _V(-8.8e6, 0, 0), 1e-3);
}

TEST_F(Dynamics, ALandedVesselSavedAndReloadedStaysWhereItWas) {
    // A class without tanks or module has never had its mass summed when the simulator sets it
    // down: it stands on unpressed points (saved there as ALT 2.000).
    write("Config/Vessels/Tankless.cfg", "Mass = 200\n");
    host::loadScenario(write("Scenarios/tankless.scn",
                             "BEGIN_SHIPS\nT:Tankless\n  STATUS Landed Spin\n"
                             "  POS -80.6 28.6\nEND\nEND_SHIPS\n"));
    EXPECT_NEAR(host::vessel(host::find("T")).readings.altitude, 2.0, 1e-9);
    host::reset();
    OBJHANDLE h = probe("Landed Spin", "  POS -80.6 28.6\n  HEADING 30\n");
    host::runFor(100.0);
    const host::Vessel& v = host::vessel(h);
    EXPECT_EQ(v.status, 1);
    const VECTOR3 pos = v.pos;
    const MATRIX3 rot = v.rot;
    // On the default points (2 m below the centre, 1e6 N/m each) pressed in by its 200 kg (its
    // tank emptied sums its mass), as the simulator saves it (ALT 1.999).
    EXPECT_NEAR(v.readings.altitude, 2.0 - 200.0 * kMu / (kRadius * kRadius) / 3e6, 1e-7);
    EXPECT_NEAR(v.readings.longitude * 180 / kPi, -80.6, 1e-9);
    EXPECT_NEAR(v.readings.latitude * 180 / kPi, 28.6, 1e-9);
    const std::string saved = root + "/Scenarios/landed-saved.scn";
    host::saveScenario(saved);
    const std::string text = read(saved);
    EXPECT_NE(text.find("  STATUS Landed Spin\n  POS -80.6000000 28.6000000\n  HEADING 30.00\n"),
              std::string::npos)
        << text;
    host::reset();
    host::loadScenario(saved);
    const host::Vessel& w = host::vessel(host::find("P"));
    EXPECT_EQ(w.status, 1);
    // The clock starts again at 0: 100 s on, the body has turned as far. The file keeps the
    // place to 1e-7 degree (1 cm) and the attitude to 1e-3 degree.
    host::runFor(100.0);
    expectNear(w.pos, pos, 0.02);
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(w.rot.data[i], rot.data[i], 2e-5);
    // Set down again by its module, or made standing by oapiCreateVessel (the simulator sums
    // its mass before it sets a status down), it is weighed: its weight presses the points in.
    auto pressed = [](const host::Vessel& x) {
        return 2.0 - x.mass() * kMu / (kRadius * kRadius) / 3e6;
    };
    VESSELSTATUS st;
    w.iface->GetStatus(st);
    w.iface->DefSetState(&st);
    EXPECT_NEAR(w.readings.altitude, pressed(w), 1e-7);
    const host::Vessel& q = host::vessel(host::createVessel("Q", "Probe", st));
    EXPECT_NEAR(q.readings.altitude, pressed(q), 1e-7);
}

// A vessel landed at a base's pad with no POS stands at the pad; a later POS moves it, a later
// vessel on the pad takes it over, a pad the base lacks puts it at the base's own place. A vessel
// that names the base and stands within 30 m of a pad's centre holds that pad and is refuelled
// (Near, 29.99 m north of pad 4; Off, 30.01 m south, is neither). Every line expected here is
// what the simulator itself saved for this scenario (the same bases and pads in its own
// configuration), flown for three 0.1 s steps.
TEST_F(Dynamics, AVesselPutOnAPadStandsWhereTheSimulatorPutsIt) {
    host::setRoot(AEROBELL_SIM_DIR);
    host::loadScenario("Scenarios/Tests/pads.scn");
    // The pad the base lacks is noticed (the simulator says nothing), at its line only.
    std::vector<int> noticed;
    for (const host::Notice& n : host::scenario().notices)
        if (n.message.find("has no pad") != std::string::npos) noticed.push_back(n.line);
    EXPECT_EQ(noticed, std::vector<int>{41});
    host::runFor(0.3);
    const std::string saved = root + "/pads-saved.scn";
    host::saveScenario(saved);
    const std::string text = read(saved);
    for (const char* block : {
             "Pad-1:Probe\n  STATUS Landed Earth\n  BASE Habana:1\n"
             "  POS -82.4000000 22.9994604\n  HEADING 0.00\n",
             "Taken:Probe\n  STATUS Landed Earth\n  POS -82.3988276 22.9994604\n  HEADING 0.00\n",
             "Taker:Probe\n  STATUS Landed Earth\n  BASE Habana:2\n"
             "  POS 10.0000000 20.0000000\n  HEADING 0.00\n",
             "Turned:Probe\n  STATUS Landed Earth\n  BASE Habana:3\n"
             "  POS -82.3994138 23.0005396\n  HEADING 45.00\n",
             "Far:Probe\n  STATUS Landed Earth\n  BASE Woomera:2\n"
             "  POS 136.4760021 -30.9733847\n  HEADING 0.00\n",
             "NoPad:Probe\n  STATUS Landed Earth\n  POS -82.4000000 23.0000000\n  HEADING 0.00\n",
             "Near:Probe\n  STATUS Landed Earth\n  BASE Habana:4\n",
             "  PRPLEVEL 0:1.000000\n  NAVFREQ 0 0\nEND\nTaken:Probe",
             "Off:Probe\n  STATUS Landed Earth\n  POS -82.3982414 23.0002697\n",
             "  PRPLEVEL 0:0.300000\n  NAVFREQ 0 0\nEND\nEND_SHIPS",
         })
        EXPECT_NE(text.find(block), std::string::npos) << block << "\nin\n" << text;
}

// A celestial body's handle gives the body's radius and mass, and its place and velocity in the
// global frame, where a vessel's global state less its body's is its state relative to the
// body, between steps and in a step's update alike.
TEST_F(Dynamics, ABodysHandleGivesItsSizeMassAndGlobalState) {
    host::loadScenario(write("Scenarios/body.scn",
                             "BEGIN_SHIPS\nC:Craft\n  STATUS Orbiting Earth\n"
                             "  RPOS 7e6 0 0\n  RVEL 0 0 7500\nEND\nEND_SHIPS\n"));
    OBJHANDLE h = host::find("C");
    const host::Vessel& c = host::vessel(h);
    VESSELSTATUS status;
    c.iface->GetStatus(status);
    OBJHANDLE earth = status.rbody;
    EXPECT_EQ(oapiGetSize(earth), kRadius);
    EXPECT_EQ(oapiGetMass(earth), kMass);
    // The vessel's state relative to the body, from the two global states.
    const auto relative = [&](VECTOR3& pos, VECTOR3& vel) {
        VECTOR3 g, gv, e, ev;
        oapiGetGlobalPos(h, &g);
        oapiGetGlobalVel(h, &gv);
        oapiGetGlobalPos(earth, &e);
        oapiGetGlobalVel(earth, &ev);
        EXPECT_NEAR(length(e) / 1.495978707e11, 1.0, 0.02);  // the Earth round the Sun
        EXPECT_NEAR(length(ev), 29800.0, 600.0);
        pos = g - e;
        vel = gv - ev;
    };
    VECTOR3 pos, vel;
    relative(pos, vel);
    expectNear(pos, c.pos, 1e-4);  // 1e-4 m of 1.5e11 m: the sum's rounding
    expectNear(vel, c.vel, 1e-9);
    // In the update the interface shows the step's start, the body's as the vessel's.
    VESSELSTATUS shown{};
    Craft::onPostStep = [&](Craft& k, double) {
        k.GetStatus(shown);
        relative(pos, vel);
    };
    host::step();
    expectNear(pos, shown.rpos, 1e-4);
    expectNear(vel, shown.rvel, 1e-9);
}

// The Earth moves through the global frame round the Sun, so a vessel placed from positions of
// two moments is misplaced by its motion: one made in the update of a step (the post-step
// callbacks) from the state its maker shows there (the step's start) lags behind by the Earth's
// motion in the step, as in the simulator; one made between steps is where it was put.
TEST_F(Dynamics, TheEarthMovesRoundTheSunAndAVesselMadeInTheUpdateLagsBehindIt) {
    const double r = 7.0e6, v0 = std::sqrt(kMu / r);
    host::loadScenario(write("Scenarios/sun.scn",
                             "BEGIN_ENVIRONMENT\n  Date MJD 51544.5\nEND_ENVIRONMENT\nBEGIN_SHIPS\n"
                             "C:Craft\n  STATUS Orbiting Earth\n  RPOS " +
                                 std::to_string(r) + " 0 0\n  RVEL 0 0 " + std::to_string(v0) +
                                 "\nEND\nEND_SHIPS\n"));
    OBJHANDLE h = host::find("C");
    const host::Vessel& c = host::vessel(h);
    // At J2000 the Earth is 0.9833 AU from the Sun, two days before perihelion, at 30.29 km/s
    // across the line to the Sun (to the low-precision formula's 1e-4 AU).
    VECTOR3 g, gv;
    oapiGetGlobalPos(h, &g);
    oapiGetGlobalVel(h, &gv);
    const VECTOR3 earth = g - c.pos, earthVel = gv - c.vel;
    EXPECT_NEAR(length(earth) / 1.495978707e11, 0.9833, 1e-4);
    EXPECT_NEAR(length(earthVel), 30287.0, 20.0);
    EXPECT_NEAR(dotp(earth, earthVel), 0.0, 1e-3 * length(earth) * length(earthVel));

    OBJHANDLE lagging = nullptr;
    VECTOR3 shownStart{};
    Craft::onPostStep = [&](Craft& k, double) {
        if (lagging) return;
        VESSELSTATUS vs;
        k.GetStatus(vs);
        shownStart = vs.rpos;
        lagging = oapiCreateVessel("Late", "Craft", vs);
    };
    const VECTOR3 start = c.pos;
    host::setStep(0.1);
    host::step();
    ASSERT_NE(lagging, nullptr);
    VECTOR3 g1, gv1;
    oapiGetGlobalPos(h, &g1);
    oapiGetGlobalVel(h, &gv1);
    const VECTOR3 earthStep = (g1 - c.pos) - earth;
    // The Earth's 3 km of the step, as its velocity gives them.
    expectNear(earthStep, earthVel * 0.1, 0.01);
    expectNear(shownStart, start, 0.0);  // the update shows the step's start
    expectNear(host::vessel(lagging).pos, start - earthStep, 1e-6);
    EXPECT_GT(dist(host::vessel(lagging).pos, c.pos), 2000.0);

    VESSELSTATUS vs;
    c.iface->GetStatus(vs);
    OBJHANDLE between = oapiCreateVessel("Now", "Craft", vs);
    expectNear(host::vessel(between).pos, c.pos, 0.0);
}

}  // namespace
