// The crew a cone takes from its class, and how the pilot lets it go and docks it again.
#include "ConeTestSupport.h"

#include <cmath>
#include <string>

namespace conetest {
namespace {

using CrewTest = ConeTest;
using KeyTest = ConeTest;

struct CrewClass {
    const char* cone;
    const char* crewClass;
    const char* mesh;
    VECTOR3 offset;
    double itemMass;
    bool seated;    // released onto the seat by the cone itself
    bool seatable;  // its class has a BUTT point to sit by
    double retro;
};

// The simulator's nasa_mmu has no attachment point: S never seats it.
const CrewClass kClasses[] = {
    {"AEROBELL", "nasa_mmu", "mmu", _V(0, -0.4, 0.2), 212.0, false, false, 12.5},
    {"AEROBELLGEM", "gemini_leva", "gem-eva1", _V(0, 0, 0), 150.0, true, true, 12.5},
    {"AEROBELL2001", "2001/Astro2001", "2001/2001Astro", _V(0, -0.2, 0), 130.0, true, true, 18.0},
    {"AEROBELLDG3", "DGIIIMmu", "DGIIIMmu", _V(0, 0, -0.1), 200.0, false, true, 12.5},
};

const VECTOR3 kPos = _V(1200.0, -3400.0, 560.0);
const VECTOR3 kVel = _V(12.5, -7.25, 3.0);
const VECTOR3 kRot = _V(0.3, -0.2, 0.5);

// Where a point of the cone's frame is now (the cone moves).
VECTOR3 placeOnCone(const host::Vessel& cone, const VECTOR3& local) {
    return cone.pos + mul(host::rotationFromAngles(cone.arot), local);
}

bool attachedToSeat(const host::Vessel& child, const host::Vessel& cone) {
    return child.parentPoint != nullptr && child.parentPoint->owner == &cone &&
           child.parentPoint->id == "SEAT" && child.ownPoint != nullptr &&
           child.ownPoint->id.rfind("BUTT", 0) == 0;
}

// Flies each class as a pilot would: the crew the class gives, J or the cone itself releasing
// it, S docking and releasing it at the seat.
TEST_F(CrewTest, EachClassCarriesReleasesAndDocksItsAstronaut) {
    for (const CrewClass& c : kClasses) {
        SCOPED_TRACE(c.cone);
        host::reset();
        OBJHANDLE cone = makeVessel("K1", c.cone, kPos, kVel, kRot);
        ASSERT_NE(cone, nullptr);
        const host::Vessel& k = V(cone);
        host::setFocus(cone);
        host::step();

        ASSERT_EQ(k.propellants.size(), 2u);
        EXPECT_EQ(k.propellants[1]->maxMass, c.retro);
        EXPECT_EQ(k.propellants[1]->mass, c.retro);
        // Items that come from the class are not written to the scenario.
        EXPECT_TRUE(savedItemLines(cone).empty());

        OBJHANDLE suit = nullptr;
        if (!c.seated) {
            // Carried as an item until J.
            ASSERT_EQ(k.meshes.size(), 2u);
            EXPECT_EQ(k.meshes[1].meshName, c.mesh);
            EXPECT_EQ(vecText(k.meshes[1].offset), vecText(c.offset));
            EXPECT_EQ(k.emptyMass, 100.0 + c.itemMass);
            EXPECT_EQ(host::records().creations.size(), 1u);  // the cone itself

            EXPECT_EQ(host::sendKeyEvent(OAPI_KEY_J), 1);
            ASSERT_EQ(host::records().creations.size(), 2u);
            const host::CreationRecord& r = host::records().creations[1];
            EXPECT_EQ(r.name, "K1-Suit");
            EXPECT_EQ(r.className, c.crewClass);
            suit = r.result;
            ASSERT_NE(suit, nullptr);
            const host::Vessel& s = V(suit);
            EXPECT_LT(dist(s.pos, placeOnCone(k, c.offset)), 1e-6);
            EXPECT_EQ(vecText(s.vel), vecText(k.vel));  // no separation velocity at all
            EXPECT_LT(dist(s.arot, k.arot), 1e-9);
            EXPECT_EQ(host::focus(), suit);
            EXPECT_EQ(k.emptyMass, 100.0);
            EXPECT_EQ(k.meshes.size(), 1u);

            // Back on the cone, S takes the astronaut onto the seat, if it can sit.
            host::setFocus(cone);
            EXPECT_EQ(host::sendKeyEvent(OAPI_KEY_S), 0);
            if (!c.seatable) {
                EXPECT_EQ(s.parentPoint, nullptr);
                host::step();
                EXPECT_EQ(k.emptyMass, 100.0);
                continue;
            }
            EXPECT_TRUE(attachedToSeat(s, k));
        } else {
            // Set up, released and docked by the cone as the first step begins, before the
            // update of the step: a vessel the simulator makes during the update is placed a
            // step's motion of the Earth away from the seat.
            ASSERT_EQ(host::records().creations.size(), 2u);
            const host::CreationRecord& r = host::records().creations[1];
            EXPECT_EQ(r.name, "K1-Suit");
            EXPECT_EQ(r.className, c.crewClass);
            suit = r.result;
            ASSERT_NE(suit, nullptr);
            EXPECT_TRUE(attachedToSeat(V(suit), k));
            EXPECT_EQ(host::focus(), cone);
            EXPECT_EQ(k.meshes.size(), 1u);
        }
        const host::Vessel& s = V(suit);
        // Seated, the astronaut sits where it rode as an item.
        EXPECT_LT(dist(s.pos, placeOnCone(k, c.offset)), 1e-6);
        host::step();
        EXPECT_EQ(k.emptyMass, 100.0 + s.mass());

        // S releases the seated astronaut and hands it the focus; S from the cone docks it again.
        host::runFor(1.1);
        host::setFocus(cone);
        EXPECT_EQ(host::sendKeyEvent(OAPI_KEY_S), 0);
        EXPECT_EQ(s.parentPoint, nullptr);
        EXPECT_EQ(host::focus(), suit);
        EXPECT_EQ(k.emptyMass, 100.0);
        host::runFor(1.1);
        host::setFocus(cone);
        EXPECT_EQ(host::sendKeyEvent(OAPI_KEY_S), 0);
        EXPECT_TRUE(attachedToSeat(s, k));
        // However long it flies, the cone takes no second astronaut.
        host::runFor(2.0);
        EXPECT_EQ(host::records().creations.size(), 2u);
        EXPECT_EQ(k.meshes.size(), 1u);
    }
}

// The Earth moves round the Sun, some 3 km in a step of 0.1 s: the astronaut still leaves the
// cone where it rode, by J, and the crew a cone seats itself reaches the seat (a vessel placed
// from positions of two moments would be a step's motion of the Earth away, and the seat would
// not find it).
TEST_F(CrewTest, ReleasesLandWhereTheItemIsWhileTheEarthMoves) {
    for (const CrewClass& c : kClasses) {
        SCOPED_TRACE(c.cone);
        host::reset();
        host::setStep(0.1);
        host::loadScenario(writeScenario("moving-earth", ship("K1", c.cone), "K1"));
        const host::Vessel& k = V("K1");
        host::runFor(1.0);
        if (c.seated) {
            EXPECT_TRUE(attachedToSeat(V("K1-Suit"), k));
        } else {
            EXPECT_EQ(host::sendKeyEvent(OAPI_KEY_J), 1);
            EXPECT_LT(dist(V("K1-Suit").pos, placeOnCone(k, c.offset)), 1e-6);
        }
    }
}

// At steps of 0.1 s a cone that has come down keeps bouncing on its touchdown points, in free
// flight with its centre under the mean radius. J then sets the astronaut down on the ground
// beside it, where it stays, rather than where the simulator puts a free vessel placed inside
// the Earth (637 km above it).
TEST_F(CrewTest, JOnAConeBouncingOnTheGroundSetsTheAstronautDownBesideIt) {
    host::loadScenario(writeScenario(
        "bouncing", "Ground:Probe\n  STATUS Landed Earth\n  POS -66.7 65.2\nEND\n", "Ground"));
    VESSELSTATUS vs;
    V("Ground").iface->GetStatus(vs);
    // Ten metres over the ground, moving with it.
    vs.status = 0;
    vs.rpos = vs.rpos * ((length(vs.rpos) + 10.0) / length(vs.rpos));
    vs.vrot = vs.arot = _V(0, 0, 0);
    OBJHANDLE cone = host::createVessel("K1", "AEROBELL", vs);
    const host::Vessel& k = V(cone);
    host::setFocus(cone);
    for (int i = 0; i < 100 && !k.readings.groundContact; ++i) host::step();
    host::runFor(3.0);
    ASSERT_EQ(k.status, 0) << "still bouncing";
    ASSERT_LT(k.readings.altitude, 0.0);

    EXPECT_EQ(host::sendKeyEvent(OAPI_KEY_J), 1);
    const host::Vessel& s = V("K1-Suit");
    EXPECT_EQ(s.status, 1);
    // Beside it over the ground: the bouncing cone's centre dips metres under the surface.
    const VECTOR3 up = k.pos * (1.0 / length(k.pos));
    const VECTOR3 apart = s.pos - k.pos;
    EXPECT_LT(length(apart - up * dotp(apart, up)), 3.0);
    // Standing on the default touchdown points, 2 m under its centre.
    EXPECT_NEAR(s.readings.altitude, 2.0, 0.01);
    const VECTOR3 place = _V(s.readings.longitude, s.readings.latitude, s.readings.altitude);
    host::runFor(5.0);
    EXPECT_EQ(s.status, 1);
    EXPECT_EQ(vecText(_V(s.readings.longitude, s.readings.latitude, s.readings.altitude)),
              vecText(place));
}

// The crew check takes the cone for a bare one when its mass is the bare cone's up to the last
// bits that a sum of the same doubles in another order changes (the simulator sums a vessel's
// mass so), and not when a gram of anything is added.
TEST_F(CrewTest, TheCrewCheckToleratesRoundingButNoRealMass) {
    OBJHANDLE cone = makeVessel("K1", "AEROBELL");
    const host::Vessel& k = V(cone);
    k.iface->SetEmptyMass(100.001);
    host::runFor(1.0);
    EXPECT_EQ(k.meshes.size(), 1u);
    k.iface->SetEmptyMass(99.999);
    host::runFor(1.0);
    EXPECT_EQ(k.meshes.size(), 1u);

    k.iface->SetEmptyMass(std::nextafter(std::nextafter(100.0, 200.0), 200.0));
    host::step();
    ASSERT_EQ(k.meshes.size(), 2u);
    EXPECT_EQ(k.meshes[1].meshName, "mmu");
    EXPECT_EQ(k.emptyMass, 312.0);
}

TEST_F(CrewTest, NoCrewWhenTheAstronautIsOutOrTheClassHasNoKey) {
    // An astronaut of the cone's name already flies: the cone stays empty.
    ASSERT_NE(makeVessel("K1-Suit", "nasa_mmu", _V(50, 0, 0)), nullptr);
    OBJHANDLE cone = makeVessel("K1", "AEROBELLGEM");
    host::runFor(1.0);
    EXPECT_EQ(V(cone).meshes.size(), 1u);
    EXPECT_EQ(V(cone).emptyMass, 100.0);
    EXPECT_EQ(host::records().creations.size(), 2u);

    // The key lies beyond the characters that count.
    OBJHANDLE late = makeVessel("K2", "ABCDEFGHIJKLMNOPQRSTUVWXYZ012AEROBELL");
    ASSERT_NE(late, nullptr);
    host::runFor(1.0);
    EXPECT_EQ(V(late).meshes.size(), 1u);
    EXPECT_EQ(V(late).emptyMass, 100.0);
    EXPECT_EQ(host::find("K2-Suit"), nullptr);

    // The class key is matched without regard to case.
    ASSERT_NE(makeVessel("K3", "aerobellgem"), nullptr);
    host::runFor(0.2);
    EXPECT_NE(host::find("K3-Suit"), nullptr);
    EXPECT_EQ(V(host::find("K3-Suit")).className, "gemini_leva");
}

// The crew's name is cut to a name field's length where it is entered and where it is looked
// up, so a cone with a long name finds the astronaut it released and takes no second one.
TEST_F(CrewTest, LongConeNamesStillFindTheirAstronaut) {
    const std::string name(125, 'N');
    const std::string crew = (name + "-Suit").substr(0, 127);
    OBJHANDLE cone = makeVessel(name, "AEROBELL");
    host::setFocus(cone);
    host::step();
    ASSERT_EQ(V(cone).meshes.size(), 2u);
    EXPECT_EQ(host::sendKeyEvent(OAPI_KEY_J), 1);
    ASSERT_EQ(host::records().creations.size(), 2u);  // the cone, then its crew
    EXPECT_EQ(host::records().creations[1].name, crew);
    ASSERT_NE(host::find(crew), nullptr);

    // A new cone of that name (read back from the saved world) looks for the same cut name.
    const std::string saved = (RootEnvironment::dir() / "Scenarios/Tests/long-name.scn").string();
    host::saveScenario(saved);
    host::reset();
    host::loadScenario(saved);
    host::runFor(1.0);
    EXPECT_EQ(V(name).meshes.size(), 1u);
    EXPECT_EQ(V(name).emptyMass, 100.0);
}

// Letting the last item go settles the crew: the cone does not take on an astronaut from its
// class afterwards, and so keeps its deployment and its burning retro motor, also once saved
// and loaded again.
TEST_F(CrewTest, ReleasingTheLastItemKeepsTheConeAsItFlies) {
    host::loadScenario(writeScenario(
        "last-item",
        ship("K1", "AEROBELL", {"PAYLOAD Probe mmu nasa_mmu 0.00 0.00 -1.00 80.00 0.00 1.00"}),
        "K1"));
    OBJHANDLE cone = host::find("K1");
    const host::Vessel& k = V(cone);
    host::pressKey(OAPI_KEY_K);
    host::runFor(5.0);
    ASSERT_NE(group(k, THGROUP_RETRO), nullptr);
    k.iface->SetThrusterGroupLevel(THGROUP_RETRO, 1.0);
    host::step();

    host::setFocus(cone);
    EXPECT_EQ(host::sendKeyEvent(OAPI_KEY_J), 1);
    EXPECT_NE(host::find("Probe"), nullptr);
    host::runFor(1.0);
    EXPECT_EQ(k.meshes.size(), 1u);
    EXPECT_EQ(k.emptyMass, 100.0);
    EXPECT_EQ(host::find("K1-Suit"), nullptr);
    EXPECT_EQ(k.iface->GetThrusterGroupLevel(THGROUP_RETRO), 1.0);
    EXPECT_EQ(k.animations[0]->state, 1.0);

    const std::string saved =
        (RootEnvironment::dir() / "Scenarios/Tests/last-item-saved.scn").string();
    host::saveScenario(saved);
    host::reset();
    host::loadScenario(saved);
    const host::Vessel& again = V("K1");
    host::runFor(1.0);
    EXPECT_EQ(again.emptyMass, 100.0);
    EXPECT_EQ(again.meshes.size(), 1u);
    EXPECT_EQ(host::find("K1-Suit"), nullptr);
    EXPECT_EQ(again.iface->GetThrusterGroupLevel(THGROUP_RETRO), 1.0);
    EXPECT_EQ(again.animations[0]->state, 1.0);
}

// J never asks the simulator for a vessel it would stop on (no class file) or whose scenario
// block it could not read back (a name with ':' or ';'): the item stays aboard and the
// simulator's log says why.
TEST_F(CrewTest, JKeepsAnItemTheSimulatorCouldNotMakeOrSave) {
    host::loadScenario(writeScenario(
        "unreleasable",
        ship("K1", "AEROBELL", {"PAYLOAD Lost mmu NoSuchClass 0.00 0.00 -1.00 80.00 0.00 1.00"}) +
            ship("K2", "AEROBELL", {"PAYLOAD Car:go mmu nasa_mmu 0.00 0.00 -2.00 80.00 0.00 1.00"}),
        "K1"));
    for (const char* cone : {"K1", "K2"}) {
        host::setFocus(host::find(cone));
        EXPECT_EQ(host::sendKeyEvent(OAPI_KEY_J), 1);
        host::runFor(1.1);
        const std::vector<std::string> items = savedItemLines(host::find(cone));
        ASSERT_EQ(items.size(), 1u) << cone;
        EXPECT_EQ(V(cone).emptyMass, 180.0) << cone;
        ASSERT_FALSE(host::records().log.empty());
        const std::string item = items[0].substr(8, items[0].find(' ', 8) - 8);
        EXPECT_NE(host::records().log.back().find("'" + item + "'"), std::string::npos)
            << host::records().log.back();
    }
    EXPECT_TRUE(host::records().creations.empty());
}

// A class whose astronaut goes straight to the seat, with the astronaut's class not installed: the
// transfer is refused once (one line in the log says why), the astronaut stays aboard with its
// mass, the seat stays free, and the cone flies on without asking again.
TEST_F(CrewTest, ASeatTransferTheSimulatorCannotMakeLeavesTheAstronautAboard) {
    const fs::path cfg = RootEnvironment::dir() / "Config/Vessels/gemini_leva.cfg";
    const fs::path aside = RootEnvironment::dir() / "gemini_leva.cfg.aside";
    fs::rename(cfg, aside);
    OBJHANDLE cone = makeVessel("K1", "AEROBELLGEM", kPos, kVel, kRot);
    host::step();
    const std::size_t logged = host::records().log.size();
    host::runFor(2.0);
    fs::rename(aside, cfg);

    const host::Vessel& k = V(cone);
    EXPECT_EQ(host::find("K1-Suit"), nullptr);
    EXPECT_EQ(k.emptyMass, 100.0 + 150.0);
    ASSERT_EQ(k.meshes.size(), 2u);
    EXPECT_EQ(k.meshes[1].meshName, "gem-eva1");
    ASSERT_FALSE(k.attachments.empty());
    EXPECT_EQ(k.attachments[0]->attached, nullptr);
    ASSERT_GE(logged, 1u);
    EXPECT_NE(host::records().log[logged - 1].find("'K1-Suit'"), std::string::npos)
        << host::records().log[logged - 1];
    EXPECT_EQ(host::records().log.size(), logged) << "the transfer was tried again";
}

// The simulator takes a name already taken; a lookup by name then finds the older vessel.
TEST_F(CrewTest, JGivesTheFocusToTheVesselItMadeUnderATakenName) {
    host::loadScenario(
        writeScenario("taken-name",
                      ship("k1-suit", "nasa_mmu") +
                          ship("K1", "AEROBELL",
                               {"PAYLOAD K1-Suit mmu nasa_mmu 0.00 -0.40 0.20 212.00 0.00 1.00"}),
                      "K1"));
    const OBJHANDLE older = host::find("K1-Suit");
    EXPECT_EQ(host::sendKeyEvent(OAPI_KEY_J), 1);
    ASSERT_EQ(host::records().creations.size(), 1u);
    const OBJHANDLE made = host::records().creations[0].result;
    EXPECT_NE(made, older);
    EXPECT_EQ(host::focus(), made);
}

// Releasing a seated astronaut leaves the items still aboard in the cone's mass.
TEST_F(CrewTest, SeatReleaseKeepsTheOtherItemsMass) {
    host::loadScenario(
        writeScenario("seat-and-cargo",
                      ship("K1", "AEROBELL",
                           {"PAYLOAD Cargo DGIIIMmu DGIIIMmu 2.00 0.00 0.00 50.00 0.00 1.00",
                            "PAYLOAD K1-Suit mmu AerobellCrew 0.00 -0.40 0.20 212.00 0.00 1.00"}),
                      "K1"));
    OBJHANDLE cone = host::find("K1");
    const host::Vessel& k = V(cone);
    EXPECT_EQ(k.emptyMass, 362.0);
    EXPECT_EQ(host::sendKeyEvent(OAPI_KEY_J), 1);
    OBJHANDLE suit = host::find("K1-Suit");
    ASSERT_NE(suit, nullptr);
    EXPECT_EQ(k.emptyMass, 150.0);
    host::setFocus(cone);
    host::sendKeyEvent(OAPI_KEY_S);
    host::step();
    EXPECT_EQ(k.emptyMass, 150.0 + V(suit).mass());
    host::runFor(1.1);
    host::setFocus(cone);
    host::sendKeyEvent(OAPI_KEY_S);
    EXPECT_EQ(V(suit).parentPoint, nullptr);
    EXPECT_EQ(k.emptyMass, 150.0);
}

TEST_F(KeyTest, OnlyTheFirstKeyDownIsServedWhateverTheEvent) {
    host::loadScenario(writeScenario(
        "keys",
        ship("K1", "AEROBELL", {"PAYLOAD K1-Suit mmu nasa_mmu 0.00 -0.40 0.20 212.00 0.00 1.00"}),
        "K1"));
    OBJHANDLE cone = host::find("K1");
    const host::Vessel& k = V(cone);

    // K held with J: K wins; J is not served.
    host::holdKey(OAPI_KEY_K, true);
    EXPECT_EQ(host::sendKeyEvent(OAPI_KEY_J), 1);
    EXPECT_TRUE(host::records().creations.empty());
    // Refused within the key delay, still consumed.
    EXPECT_EQ(host::sendKeyEvent(OAPI_KEY_K), 1);
    host::holdKey(OAPI_KEY_K, false);
    host::runFor(1.0);
    EXPECT_GT(k.animations[0]->state, 0.0);  // the first K started the deployment

    // The event's own key does not matter: J held serves J.
    host::holdKey(OAPI_KEY_J, true);
    EXPECT_EQ(host::sendKeyEvent(OAPI_KEY_A), 1);
    host::holdKey(OAPI_KEY_J, false);
    ASSERT_EQ(host::records().creations.size(), 1u);
    EXPECT_EQ(host::focus(), host::find("K1-Suit"));

    // J with nothing left: consumed, the focus stays, the cone stays as it is.
    host::setFocus(cone);
    host::runFor(1.1);
    EXPECT_EQ(host::sendKeyEvent(OAPI_KEY_J), 1);
    EXPECT_EQ(host::records().creations.size(), 1u);
    EXPECT_EQ(host::focus(), cone);
    EXPECT_EQ(k.meshes.size(), 1u);
    EXPECT_EQ(k.emptyMass, 100.0);

    // No key of the cone's: not consumed.
    EXPECT_EQ(host::sendKeyEvent(OAPI_KEY_A), 0);
}

// The simulator's key delay is one for the whole process: K on a second cone within a second of
// K on the first is refused there, and is served once the second has passed.
TEST_F(KeyTest, TheKeyDelayIsSharedByEveryCone) {
    const std::string suit = "PAYLOAD %-Suit mmu nasa_mmu 0.00 -0.40 0.20 212.00 0.00 1.00";
    const auto crewed = [&](const std::string& name) {
        std::string line = suit;
        line.replace(line.find('%'), 1, name);
        return ship(name, "AEROBELL", {line});
    };
    host::loadScenario(writeScenario("two-cones", crewed("K1") + crewed("K2"), "K1"));
    const host::Vessel& k2 = V("K2");
    host::sendKeyEvent(OAPI_KEY_K);
    host::step();
    host::setFocus(host::find("K2"));
    EXPECT_EQ(host::sendKeyEvent(OAPI_KEY_K), 1);  // refused, still consumed
    host::runFor(1.1);
    EXPECT_EQ(k2.animations[0]->state, 0.0);
    EXPECT_GT(V("K1").animations[0]->state, 0.0);
    host::sendKeyEvent(OAPI_KEY_K);
    host::runFor(1.0);
    EXPECT_GT(k2.animations[0]->state, 0.0);
}

}  // namespace
}  // namespace conetest
