// A flight saved at any moment and read back goes on as the flight that was never saved, and the
// seat holds one vessel: what a cone carries, who sits on its seat and whether its crew question
// is settled survive a save, and nothing is conjured or lost on the way.
#include "ConeTestSupport.h"

#include <functional>
#include <string>
#include <vector>

namespace conetest {
namespace {

using ResumeTest = ConeTest;
using SeatTest = ConeTest;

// One ship block in low orbit, tanks full unless the lines say otherwise.
std::string orbiting(const std::string& name, const std::string& cls,
                     const std::vector<std::string>& lines = {}) {
    std::string s = name + ":" + cls +
                    "\n  STATUS Orbiting Earth\n  RPOS 6578000.00 0.00 0.00\n"
                    "  RVEL 0.00 7784.00 0.00\n  AROT 0.00 0.00 0.00\n";
    bool levels = false;
    for (const std::string& l : lines) levels = levels || l.rfind("PRPLEVEL", 0) == 0;
    if (!levels) s += "  PRPLEVEL 0:1 1:1\n";
    for (const std::string& l : lines) s += "  " + l + "\n";
    return s + "END\n";
}

// What one step left of every vessel, in the simulator's index order.
struct Seen {
    std::string id;  // name, class, meshes with their offsets, and the seat it hangs on
    double emptyMass, mass;
    VECTOR3 pos, vel;
};

std::vector<Seen> look() {
    std::vector<Seen> out;
    for (const host::Vessel* v : host::vessels()) {
        std::string id = v->name + ":" + v->className;
        for (const host::MeshSlot& m : v->meshes) id += " " + m.meshName + vecText(m.offset);
        id += " on " + (v->parentPoint ? v->parentPoint->owner->name : std::string("-"));
        out.push_back({id, v->emptyMass, v->mass(), v->pos, v->vel});
    }
    return out;
}

// Flies `before` from the scenario and then `steps` steps, once straight on and once through a
// save read back in its place. Both flights must agree at every step within what the file's
// decimals carry (positions 3, velocities 4, tank levels 6), and end with the same item lines.
void expectResumesAsNeverSaved(const std::string& scenario, const std::function<void()>& before,
                               int steps) {
    const std::string saved = (RootEnvironment::dir() / "Scenarios/Tests/resume.scn").string();
    std::vector<std::vector<Seen>> straight;
    std::vector<std::vector<std::string>> itemsAtEnd[2];
    for (int pass = 0; pass < 2; ++pass) {
        host::reset();
        host::loadScenario(scenario);
        before();
        if (pass == 1) {
            host::saveScenario(saved);
            host::reset();
            host::loadScenario(saved);
        }
        for (int i = 0; i < steps; ++i) {
            host::step();
            const std::vector<Seen> now = look();
            if (pass == 0) {
                straight.push_back(now);
                continue;
            }
            ASSERT_EQ(now.size(), straight[i].size()) << "step " << i + 1;
            for (std::size_t k = 0; k < now.size(); ++k) {
                const Seen& a = straight[i][k];
                const Seen& b = now[k];
                SCOPED_TRACE("step " + std::to_string(i + 1) + ", " + a.id);
                ASSERT_EQ(b.id, a.id);
                ASSERT_NEAR(b.emptyMass, a.emptyMass, 1e-4);
                ASSERT_NEAR(b.mass, a.mass, 1e-4);
                ASSERT_LT(dist(b.pos, a.pos), 1e-2);
                ASSERT_LT(dist(b.vel, a.vel), 1e-3);
            }
        }
        for (host::Vessel* v : host::vessels()) itemsAtEnd[pass].push_back(savedItemLines(v));
    }
    EXPECT_EQ(itemsAtEnd[1], itemsAtEnd[0]);
}

// Deploys the cone, fires its motor and lets it burn for the given time.
void fireRetro(const std::string& cone, double burn = 0.5) {
    host::setFocus(host::find(cone));
    host::pressKey(OAPI_KEY_K);
    host::runFor(5.0);
    iface(cone)->SetThrusterGroupLevel(THGROUP_RETRO, 1.0);
    host::runFor(burn);
}

// The first step after a reload burns with the mass the cone has: its crew from the class and
// a vessel on its seat weigh in that step already. A motor fired just before the save, not yet
// held at full level by a step, burns too.
TEST_F(ResumeTest, AReloadDuringTheBurnWeighsWhatTheConeCarries) {
    const std::string classCrew =
        writeScenario("class-crew-burn", orbiting("K1", "AEROBELL"), "K1");
    expectResumesAsNeverSaved(
        classCrew, [] { fireRetro("K1"); }, 20);
    expectResumesAsNeverSaved(
        classCrew, [] { fireRetro("K1", 0.0); }, 20);
    expectResumesAsNeverSaved(
        "Scenarios/Aerobell/SeatDock.scn",
        [] {
            host::sendKeyEvent(OAPI_KEY_J);
            host::setFocus(host::find("SeatCone"));
            host::sendKeyEvent(OAPI_KEY_S);
            ASSERT_NE(V("SeatCone-Suit").parentPoint, nullptr);
            fireRetro("SeatCone");
        },
        20);
}

// The simulator saves thrust levels by thruster index: a cone has the same thrusters however
// often it was configured, so a reloaded cone (configured again on loading and by its crew
// set-up) fires on with the thrusters it fired, and its retro motor takes no stray level.
TEST_F(ResumeTest, AttitudeThrustersFireOnAfterAReload) {
    host::loadScenario(
        writeScenario("rcs", orbiting("K1", "AEROBELL", {"DEPLOY 1 0", "RETRO 0"}), "K1"));
    host::step();
    iface("K1")->SetThrusterGroupLevel(THGROUP_ATT_PITCHUP, 1.0);
    host::step();
    const std::string saved = (RootEnvironment::dir() / "Scenarios/Tests/rcs-saved.scn").string();
    host::saveScenario(saved);
    host::reset();
    host::loadScenario(saved);
    host::step();
    const host::Vessel& k = V("K1");
    EXPECT_EQ(k.iface->GetThrusterGroupLevel(THGROUP_ATT_PITCHUP), 1.0);
    EXPECT_EQ(k.iface->GetThrusterGroupLevel(THGROUP_RETRO), 0.0);
    EXPECT_EQ(k.thrusters.size(), 23u);  // 22 attitude thrusters and the motor
}

// The cone's own state lines as a user may edit them: a deployment out of range is clamped, one
// halted part-way stays halted, one without a finite number is not taken (the cone is stowed), a
// level out of range is not resumed, and a word that only begins like the cone's keywords is not
// one of them.
TEST_F(ResumeTest, EditedStateLinesReadAsTheNearestStateTheConeCanBeIn) {
    struct Case {
        const char* line;
        double deployState;
        bool motor;
    };
    const Case cases[] = {
        {"DEPLOY 7 0", 1.0, false}, {"DEPLOY -2 1", 0.0, false},    {"DEPLOY nan 1", 0.0, false},
        {"DEPLOY", 0.0, false},     {"DEPLOYED 0.5 0", 0.0, false}, {"RETRO 0 1.5", 0.0, true},
        {"RETROFIT 1", 0.0, false}, {"DEPLOY 0.5 0", 0.5, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        host::reset();
        host::loadScenario(writeScenario("edited", orbiting("K1", "AEROBELL", {c.line}), "K1"));
        const host::Vessel& k = V("K1");
        ASSERT_FALSE(k.animations.empty());
        EXPECT_EQ(k.animations[0]->state, c.deployState);
        EXPECT_EQ(group(k, THGROUP_RETRO) != nullptr, c.motor);
        host::step();
        EXPECT_EQ(k.iface->GetThrusterGroupLevel(THGROUP_RETRO), 0.0);
        EXPECT_EQ(k.animations[0]->state, c.deployState);  // a halted deployment stays halted
    }
}

// A stage released by J is saved before it has stepped: the contents sent to it are saved with
// it, so it neither loses them nor takes a crew from its class instead.
TEST_F(ResumeTest, ASaveRightAfterAStageLeavesKeepsItsContents) {
    expectResumesAsNeverSaved(
        "Scenarios/Aerobell/Stacked.scn",
        [] {
            host::sendKeyEvent(OAPI_KEY_J);
            host::runFor(1.1);
            host::setFocus(host::find("Carrier"));
            host::sendKeyEvent(OAPI_KEY_J);
            ASSERT_NE(host::find("Pod-1"), nullptr);
        },
        20);
    EXPECT_EQ(savedItemLines(host::find("Pod-1")),
              std::vector<std::string>{
                  "PAYLOAD Pod-1-Pilot mmu nasa_mmu 0.00 0.30 0.00 211.80 90.00 1.00"});
}

// A cone of the 2001 kind whose crew set-up runs again after a reload keeps the motor and the
// tank its file describes: the motor burns, on the propellant left.
TEST_F(ResumeTest, A2001ConeResumedBurnsOnTheTankItHas) {
    host::loadScenario(writeScenario(
        "pod2001-resumed",
        orbiting("P1", "AEROBELL2001", {"PRPLEVEL 0:1 1:0.5", "DEPLOY 1 0", "RETRO 0"}), "P1"));
    const host::Vessel& p = V("P1");
    host::step();
    ASSERT_NE(host::find("P1-Suit"), nullptr);  // the crew set-up ran again
    p.iface->SetThrusterGroupLevel(THGROUP_RETRO, 1.0);
    host::runFor(1.0);
    ASSERT_EQ(p.propellants.size(), 2u);
    EXPECT_EQ(p.propellants[1]->maxMass, 18.0);
    EXPECT_LT(p.propellants[1]->mass, 9.0);
    EXPECT_GT(p.propellants[1]->mass, 8.0);
    EXPECT_LT(p.vel.z, -1.0);  // the motor pushes along the cone's -z, here the global -z
    EXPECT_EQ(p.iface->GetThrusterGroupLevel(THGROUP_RETRO), 1.0);
}

// A vessel docked by S settles the crew question at once: a save right after keeps the crew
// the class gave as an item, and the seat.
TEST_F(ResumeTest, ADockingSettlesTheCrewAndKeepsTheClassCrew) {
    expectResumesAsNeverSaved(
        writeScenario(
            "dock-on-class-crew",
            orbiting("K1", "AEROBELL") +
                "Pilot:AerobellCrew\n  STATUS Orbiting Earth\n  RPOS 6578000.00 -0.40 0.20\n"
                "  RVEL 0.00 7784.00 0.00\n  AROT 0.00 0.00 0.00\n  PRPLEVEL 0:1\nEND\n",
            "K1"),
        [] {
            host::step();
            host::sendKeyEvent(OAPI_KEY_S);
            ASSERT_NE(V("Pilot").parentPoint, nullptr);
        },
        10);
    EXPECT_EQ(V("K1").meshes.size(), 2u);
}

// An astronaut who is not "<cone>-Suit" and leaves the seat by S settles the crew question,
// also once the scenario is saved and read back: the empty cone conjures nobody.
TEST_F(ResumeTest, ASeatReleaseSettlesTheCrewAcrossASave) {
    host::loadScenario(writeScenario(
        "seated-pilot",
        orbiting("K1", "AEROBELL") + orbiting("Pilot", "AerobellCrew", {"ATTACHED 0:0,K1"}), "K1"));
    host::step();
    ASSERT_NE(V("Pilot").parentPoint, nullptr);
    host::sendKeyEvent(OAPI_KEY_S);
    ASSERT_EQ(V("Pilot").parentPoint, nullptr);
    const std::string saved = (RootEnvironment::dir() / "Scenarios/Tests/seat-left.scn").string();
    host::saveScenario(saved);
    host::reset();
    host::loadScenario(saved);
    host::runFor(1.0);
    EXPECT_EQ(V("K1").emptyMass, 100.0);
    EXPECT_EQ(V("K1").meshes.size(), 1u);
    EXPECT_EQ(host::find("K1-Suit"), nullptr);
}

// An item aboard is carried whatever its mass: the cone takes no crew from its class for it,
// and keeps writing it.
TEST_F(ResumeTest, AnItemOfNoMassIsCarried) {
    const std::string tag = "PAYLOAD Tag mmu nasa_mmu 0.00 0.00 1.00 0.00 0.00 1.00";
    host::loadScenario(writeScenario("weightless", orbiting("K1", "AEROBELL", {tag}), "K1"));
    host::runFor(1.0);
    EXPECT_EQ(V("K1").emptyMass, 100.0);
    EXPECT_EQ(V("K1").meshes.size(), 2u);
    EXPECT_EQ(savedItemLines(host::find("K1")), std::vector<std::string>{tag});
}

// An item line without all its words is written with the words it has, so it reads back as the
// same item and is written the same again; a released stage hands it over in the same form.
TEST_F(ResumeTest, AnItemLineMissingWordsReadsBackAsWritten) {
    const std::vector<std::string> lines = {
        "STAGE Pod Aerobell AEROBELL 0.00 0.00 -2.00 100.00 0.00 1.00", "PAYLOAD OnlyName",
        "ENDSTAGE "};  // the simulator writes the blank after a key of empty value
    host::loadScenario(writeScenario("short-line", orbiting("K1", "AEROBELL", lines), "K1"));
    EXPECT_EQ(savedItemLines(host::find("K1")), lines);
    const std::string saved = (RootEnvironment::dir() / "Scenarios/Tests/short-saved.scn").string();
    host::saveScenario(saved);
    host::reset();
    host::loadScenario(saved);
    EXPECT_EQ(savedItemLines(host::find("K1")), lines);

    host::setFocus(host::find("K1"));
    host::sendKeyEvent(OAPI_KEY_J);
    host::step();
    EXPECT_EQ(savedItemLines(host::find("Pod")), std::vector<std::string>{"PAYLOAD OnlyName"});
}

// S takes no vessel seated on another cone and never docks over the seat's occupant: with the
// seat taken, S lets its occupant go.
TEST_F(SeatTest, STakesOnlyAFreeVesselOntoAFreeSeat) {
    // Two cones at one place; Pilot sits on A, Spare stands with its BUTT point at both seats.
    host::loadScenario(writeScenario(
        "two-seats",
        orbiting("A", "AEROBELL", {"CREW RELEASED"}) +
            orbiting("B", "AEROBELL", {"CREW RELEASED"}) +
            orbiting("Pilot", "AerobellCrew", {"ATTACHED 0:0,A"}) +
            "Spare:AerobellCrew\n  STATUS Orbiting Earth\n  RPOS 6578000.00 -0.40 0.20\n"
            "  RVEL 0.00 7784.00 0.00\n  AROT 0.00 0.00 0.00\n  PRPLEVEL 0:1\nEND\n",
        "B"));
    const host::Vessel& pilot = V("Pilot");
    const host::Vessel& spare = V("Spare");
    ASSERT_EQ(pilot.parentPoint->owner->name, "A");
    host::sendKeyEvent(OAPI_KEY_S);  // B: Pilot sits elsewhere, Spare is free
    EXPECT_EQ(pilot.parentPoint->owner->name, "A");
    ASSERT_NE(spare.parentPoint, nullptr);
    EXPECT_EQ(spare.parentPoint->owner->name, "B");

    host::setFocus(host::find("A"));
    host::sendKeyEvent(OAPI_KEY_S);  // A: its occupant goes
    EXPECT_EQ(pilot.parentPoint, nullptr);
    host::runFor(1.1);
    host::setFocus(host::find("B"));
    host::sendKeyEvent(
        OAPI_KEY_S);  // B: Pilot, now free and first in line, does not displace Spare
    EXPECT_EQ(pilot.parentPoint, nullptr);
    EXPECT_EQ(spare.parentPoint, nullptr);
    EXPECT_EQ(V("B").emptyMass, 100.0);
}

// Each step the cone weighs what its seat holds: a seated astronaut deleted no longer counts,
// and two cones that set up their crews side by side seat each its own astronaut.
TEST_F(SeatTest, TheSeatHoldsWhatSitsOnItNow) {
    host::loadScenario(writeScenario(
        "deleted-pilot",
        orbiting("K1", "AEROBELL") + orbiting("Pilot", "AerobellCrew", {"ATTACHED 0:0,K1"}), "K1"));
    host::step();
    EXPECT_EQ(V("K1").emptyMass, 100.0 + V("Pilot").mass());
    ASSERT_TRUE(host::deleteVessel(host::find("Pilot")));
    host::step();
    EXPECT_EQ(V("K1").emptyMass, 100.0);

    host::reset();
    host::loadScenario(writeScenario(
        "gem-pair", orbiting("G1", "AEROBELLGEM") + orbiting("G2", "AEROBELLGEM"), "G1"));
    host::step();
    for (const char* cone : {"G1", "G2"}) {
        const host::Vessel& suit = V(std::string(cone) + "-Suit");
        ASSERT_NE(suit.parentPoint, nullptr) << cone;
        EXPECT_EQ(suit.parentPoint->owner->name, cone);
    }
}

// J with nothing left to release keeps the seated astronaut in the cone's mass.
TEST_F(SeatTest, JWithNothingAboardKeepsTheSeatedMass) {
    host::loadScenario(writeScenario(
        "seated-j",
        orbiting("K1", "AEROBELL") + orbiting("Pilot", "AerobellCrew", {"ATTACHED 0:0,K1"}), "K1"));
    host::step();
    const double seated = V("K1").emptyMass;
    ASSERT_EQ(seated, 100.0 + V("Pilot").mass());
    EXPECT_EQ(host::sendKeyEvent(OAPI_KEY_J), 1);
    EXPECT_EQ(V("K1").emptyMass, seated);
}

}  // namespace
}  // namespace conetest
