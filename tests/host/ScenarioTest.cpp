// Scenario files: what is read is written back, a saved world flies like the original, and bad
// files give one error naming file and line.
#include "HostWorld.h"

namespace {

using Scenario = HostWorld;

const char* const kCraftScenario =
    "BEGIN_DESC\n"
    "A craft burning, a probe beside it.\n"
    "END_DESC\n"
    "\n"
    "BEGIN_ENVIRONMENT\n"
    "  Script  later.lua\n"
    "  System Sol\n"
    "  Date JD 2451545.0\n"
    "  Note: nothing the simulator reads\n"
    "END_ENVIRONMENT\n"
    "\n"
    "BEGIN_FOCUS\n"
    "  Ship Burner\n"
    "END_FOCUS\n"
    "\n"
    "BEGIN_SHIPS\n"
    "Burner:Craft\n"
    "  STATUS Orbiting Earth\n"
    "  RPOS 6500000.25 -3 0.1\n"
    "  RVEL 0 7800.5 0\n"
    "  AROT 12.5 -30 170\n"
    "  VROT 0 0 0\n"
    "  PRPLEVEL 0:0.3\n"
    "  XPDR 12\n"
    "  NOTE keep me\n"
    "END\n"
    "Side:probe\n"
    "  STATUS Landed Moon\n"
    "  RPOS 1 2 3\n"
    "  RVEL 0 0 0\n"
    "  AROT 0 0 0\n"
    "  VROT 0 0 0\n"
    "  PRPLEVEL 0:0\n"
    "END\n"
    "END_SHIPS\n";

const char* const kCraftSaved =
    "BEGIN_DESC\n"
    "A craft burning, a probe beside it.\n"
    "END_DESC\n"
    "\n"
    "BEGIN_ENVIRONMENT\n"
    "  System Sol\n"
    "  Date MJD 51544.5000000000\n"  // the date of the save, ten decimals of a day
    "  Script later.lua\n"
    "END_ENVIRONMENT\n"
    "\n"
    "BEGIN_FOCUS\n"
    "  Ship Burner\n"
    "END_FOCUS\n"
    "\n"
    "BEGIN_SHIPS\n"
    "Burner:Craft\n"
    "  STATUS Orbiting Earth\n"
    "  RPOS 6500000.250 -3.000 0.100\n"
    "  RVEL 0.0000 7800.5000 0.0000\n"
    "  AROT 12.500 -30.000 170.000\n"
    "  PRPLEVEL 0:0.300000\n"
    "  NAVFREQ 0 0\n"
    "  NOTE keep me\n"
    "END\n"
    "Side:probe\n"
    "  STATUS Landed Moon\n"
    "  POS 0.0000000 0.0000000\n"
    "  HEADING 0.00\n"
    "  ALT 0.000\n"
    "  AROT 0.000 -0.000 0.000\n"
    "  NAVFREQ 0 0\n"
    "END\n"
    "END_SHIPS\n";

TEST_F(Scenario, SavesAreTheSimulatorsTextAndReadBackTheSame) {
    // The environment in the simulator's order and form; fixed decimals, no VROT at rest,
    // PRPLEVEL of non-empty resources only, XPDR read and not written (the class has no
    // transponder).
    host::loadScenario(write("Scenarios/craft.scn", kCraftScenario));
    EXPECT_EQ(host::scenarioText(), kCraftSaved);
    EXPECT_EQ(craft(host::find("Burner")).note, "keep me");
    const std::string saved = root + "/Scenarios/craft-saved.scn";
    host::saveScenario(saved);
    host::reset();
    host::loadScenario(saved);
    EXPECT_EQ(host::scenarioText(), kCraftSaved);

    // The same scenario with CRLF line ends reads the same.
    std::string crlf;
    for (char c : std::string(kCraftScenario))
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    host::reset();
    host::loadScenario(write("Scenarios/crlf.scn", crlf));
    EXPECT_EQ(host::scenarioText(), kCraftSaved);
}

// Numbers a module writes through the simulator: six decimals, the zeros after the first cut,
// rounded as written (so a value below half a millionth reads back as 0, its sign kept).
TEST_F(Scenario, NumbersAreWrittenWithSixDecimalsAndTheirTrailingZerosCut) {
    FILEHANDLE f = oapiOpenFile("numbers.txt", FILE_OUT, ROOT);
    oapiWriteScenario_float(f, const_cast<char*>("A"), 0.0);
    oapiWriteScenario_float(f, const_cast<char*>("B"), 2.0 / 3.0);
    oapiWriteScenario_float(f, const_cast<char*>("C"), -1e-7);
    oapiWriteScenario_float(f, const_cast<char*>("D"), 1e20);
    oapiWriteScenario_float(f, const_cast<char*>("E"), 1.0000005);
    oapiWriteScenario_vec(f, const_cast<char*>("V"), _V(100.0, -2.5, 0.9999996));
    oapiCloseFile(f, FILE_OUT);
    EXPECT_EQ(read(root + "/numbers.txt"),
              "  A 0.0\n  B 0.666667\n  C -0.0\n  D 100000000000000000000.0\n  E 1.000001\n"
              "  V 100.0 -2.5 1.0\n");
}

TEST_F(Scenario, SavedWorldFliesLikeTheOriginalWithinTheWrittenDecimals) {
    auto burn = [] {
        host::vessel(host::find("Burner")).iface->SetThrusterGroupLevel(THGROUP_MAIN, 1.0);
        host::runFor(5.0);
        return host::vessel(host::find("Burner")).vel;
    };
    host::loadScenario(write("Scenarios/orig.scn", kCraftScenario));
    VESSELSTATUS turned = host::defaultStatus();
    turned.arot = _V(0.1234567891, -1.3456789, 3.0001);
    turned.rvel = _V(0.1, 0.2, 0.3);
    host::createVessel("Turned", "Craft", turned);
    host::runFor(2.0);  // coast, save mid-flight, then burn
    const host::Vessel& v = host::vessel(host::find("Turned"));
    const VECTOR3 pos = v.pos, vel = v.vel, arot = v.arot;
    const std::string saved = root + "/Scenarios/saved.scn";
    host::saveScenario(saved);
    // The save is dated when it was made, so that the flight resumes at its own time.
    EXPECT_NE(host::scenarioText().find("\n  Date MJD 51544.5000231481\n"), std::string::npos);
    const VECTOR3 flown = burn();

    host::reset();
    host::loadScenario(saved);
    const host::Vessel& reloaded = host::vessel(host::find("Turned"));
    expectNear(reloaded.pos, pos, 5e-4);
    expectNear(reloaded.vel, vel, 5e-5);
    expectNear(reloaded.arot, arot, 5e-4 * RAD);
    expectNear(burn(), flown, 1e-4);
}

// The class file's generic keys as the simulator reads them: a base class's file first, the
// default attitude thrusters after the engines (so THLEVEL counts them), touchdown points, the
// transponder and the docking ports' systems, which a save then writes.
TEST_F(Scenario, ClassKeysBuildTheVesselAndShowInItsSave) {
    write("Config/Vessels/KeyedBase.cfg",
          "Size = 2\nMass = 500\nPropellantResource1 = 100\nMaxMainThrust = 1000\n");
    write("Config/Vessels/Keyed.cfg",
          "ClassName = Keyed\nBaseClass = Vessels\\KeyedBase\nMaxAttitudeThrust = 10\n"
          "TouchdownPoints = 0 -1 2  -1 -1 -1  1 -1 -1\nEnableXPDR = TRUE\nXPDR = 466\n"
          "BEGIN_DOCKLIST\n0 0 5  0 0 1  0 1 0  44\n0 0 -5  0 0 -1  0 1 0\nEND_DOCKLIST\n");
    const std::string ship =
        "BEGIN_ENVIRONMENT\n  System Sol\nEND_ENVIRONMENT\nBEGIN_SHIPS\nK:Keyed\n"
        "  STATUS Orbiting Earth\n  RPOS 7000000 0 0\n  RVEL 0 7500 0\n  PRPLEVEL 0:1\n"
        "  THLEVEL 7:0.5\n";
    host::loadScenario(write("Scenarios/keyed.scn", ship + "END\nEND_SHIPS\n"));
    const host::Vessel& k = host::vessel(host::find("K"));
    EXPECT_EQ(k.mass(), 600.0);
    ASSERT_EQ(k.thrusters.size(), 19u);  // main, six linear, six pairs that turn it
    EXPECT_EQ(k.thrusters[7]->maxThrust, 5.0);
    expectNear(k.thrusters[7]->pos, _V(0, 0, 2), 0.0);  // a pitch pair at the size
    expectNear(k.touchdown[0], _V(0, -1, 2), 0.0);
    const std::string saved = host::scenarioText();
    EXPECT_NE(saved.find("  THLEVEL 7:0.500000\n  IDS 0:44 20\n  NAVFREQ 0 0\n  XPDR 466\nEND"),
              std::string::npos)
        << saved;

    // The scenario's own transponder step and systems take the place of the class's.
    host::reset();
    host::loadScenario(
        write("Scenarios/keyed.scn", ship + "  IDS 1:3:5 7:1\n  XPDR 12\nEND\nEND_SHIPS\n"));
    EXPECT_NE(host::scenarioText().find("  IDS 0:44 20 1:3 5\n  NAVFREQ 0 0\n  XPDR 12\n"),
              std::string::npos);
}

TEST_F(Scenario, FilesTheSimulatorWritesLoadFlyAndSave) {
    write("Config/Vessels/Orphaned.cfg",
          "ClassName = Orphaned\nModule = NoSuchModule\nMass = 50\n");
    const std::string text =
        "BEGIN_HUD\n"
        "  TYPE Orbit\n"
        "END_HUD\n"
        "BEGIN_SHIPS\n"
        "Probe\n"                               // no class: the class is the name
        "  STATUS Orbiting Earth  ; comment\n"  // cut at ';'
        "  RPOS 1 2 3\n"
        "  ELEMENTS 6500000 0 0 0 0 0 51544\n"
        "end\n"
        "probe:Probe\n"  // a taken name, in another case
        "  STATUS Landed Earth\n"
        "  POS 10 20\n"
        "  PRPLEVEL 0:0.5\n"
        "END\n"
        "Kid:Probe\n"
        "  ATTACHED 0:0,PROBE\n"  // own point 0, the parent's point 0
        "  PRPLEVEL 0:1\n"
        "END\n"
        "Orphan:Orphaned\n"  // its module is not here: the plain VESSEL
        "  STRAY line nothing reads\n"
        "END\n"
        "END_SHIPS\n"
        "BEGIN_ENVIRONMENT\n"  // found wherever it stands
        "  System Sol\n"
        "END_ENVIRONMENT\n";
    host::loadScenario(write("Scenarios/simulator.scn", text));
    ASSERT_EQ(oapiGetVesselCount(), 4u);
    const OBJHANDLE first = host::find("PROBE");
    EXPECT_EQ(host::vessel(first).className, "Probe");
    EXPECT_EQ(host::vessel(first).refBody, "Earth");
    EXPECT_EQ(host::vessel(first).iface->GetPropellantMass(
                  host::vessel(first).iface->GetPropellantHandleByIndex(0)),
              0.0);
    EXPECT_EQ(host::vessel(host::vessels()[1]).status, 1);
    EXPECT_EQ(host::vessel(host::vessels()[1]).iface->GetFuelMass(), 25.0);
    const host::Vessel& kid = host::vessel(host::find("Kid"));
    ASSERT_NE(kid.parentPoint, nullptr);
    EXPECT_EQ(kid.parentPoint->owner, first);
    EXPECT_FALSE(host::vessel(host::find("Orphan")).moduleMade);

    host::runFor(1.0);
    const std::string saved = host::scenarioText();
    EXPECT_NE(saved.find("BEGIN_HUD\n  TYPE Orbit\nEND_HUD\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("Probe:Probe\n  STATUS Orbiting Earth\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("  ATTACHED 0:0,Probe\n  PRPLEVEL 0:1.000000\n"), std::string::npos)
        << saved;
    EXPECT_EQ(saved.find("STRAY"), std::string::npos) << saved;
    EXPECT_EQ(saved.find("ELEMENTS"), std::string::npos) << saved;
    std::vector<int> noticed;
    for (const host::Notice& n : host::scenario().notices) noticed.push_back(n.line);
    EXPECT_EQ(noticed, (std::vector<int>{6, 5, 20})) << "the cut, Probe's empty tank, STRAY";
}

TEST_F(Scenario, TheFocusShipIsNamedExactlyElseTheFirstVesselTakesIt) {
    const auto load = [](const std::string& ship) {
        host::reset();
        host::loadScenario(write("Scenarios/focus.scn", "BEGIN_FOCUS\n  Ship " + ship +
                                                            "\nEND_FOCUS\nBEGIN_SHIPS\n"
                                                            "First:Probe\n  PRPLEVEL 0:1\nEND\n"
                                                            "Side:Probe\n  PRPLEVEL 0:1\nEND\n"
                                                            "END_SHIPS\nBEGIN_ENVIRONMENT\n"
                                                            "  System Sol\nEND_ENVIRONMENT\n"));
        std::string notices;
        for (const host::Notice& n : host::scenario().notices)
            notices += std::to_string(n.line) + ": " + n.message + "\n";
        return notices;
    };
    EXPECT_EQ(load("Side"), "");
    EXPECT_EQ(host::vessel(host::focus()).name, "Side");
    EXPECT_EQ(load("side"),
              "2: the focus ship 'side' is no vessel's name ('Side' differs from it in case "
              "only): the simulator gives the focus to the first vessel, 'First'\n");
    EXPECT_EQ(host::vessel(host::focus()).name, "First");
}

TEST_F(Scenario, WhereTheSimulatorWouldStopTheFlightEndsWithFileAndLine) {
    struct Case {
        const char* what;
        std::string text;
        int line;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"no class file", "BEGIN_SHIPS\nA:Probe\nEND\nB:Nope\nEND\nEND_SHIPS\n", 4,
         "no class file for vessel 'B'"},
        {"empty header", "BEGIN_SHIPS\nA:Probe\nEND\n   ; only a comment\nEND\nEND_SHIPS\n", 4,
         "no class file for vessel ''"},
        {"a base the body lacks",
         "BEGIN_SHIPS\nA:Probe\n  STATUS Landed Earth\n  BASE habana:1\nEND\nEND_SHIPS\n", 4,
         "base 'habana' not found on body 'Earth' (vessel 'A')"},
        {"a listed base without its file",
         "BEGIN_SHIPS\nA:Probe\n  STATUS Landed Earth\n  BASE Foo:1\nEND\nEND_SHIPS\n", 4,
         "base 'Foo' not found on body 'Earth' (vessel 'A')"},
        {"point past the parent's",
         "BEGIN_SHIPS\nA:Probe\nEND\nB:Probe\n  ATTACHED 0:1,A\nEND\nEND_SHIPS\n", 5,
         "does not have"},
    };
    write("Config/Earth.cfg", "BEGIN_SURFBASE\nDIR Earth\\Base\nFoo:-80 10\nEND_SURFBASE\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        host::reset();
        const std::string path = write("Scenarios/stop.scn", c.text);
        try {
            host::loadScenario(path);
            ADD_FAILURE() << "no stop";
        } catch (const host::Stop& e) {
            EXPECT_EQ(e.file, path);
            EXPECT_EQ(e.line, c.line);
            EXPECT_NE(e.reason.find(c.reason), std::string::npos) << e.what();
            EXPECT_EQ(
                std::string(e.what()).rfind(
                    path + ":" + std::to_string(c.line) + ": the simulator would stop here: ", 0),
                0u);
        }
        EXPECT_THROW(host::scenarioText(), host::Stop);  // nothing is saved after a stop
    }
    // A body the root does not configure is not modelled, its bases unknown: no stop.
    host::reset();
    EXPECT_NO_THROW(host::loadScenario(
        write("Scenarios/mars.scn",
              "BEGIN_SHIPS\nA:Probe\n  STATUS Landed Mars\n  BASE Olympus:1\nEND\nEND_SHIPS\n")));
    host::reset();
    EXPECT_THROW(host::loadScenario("Scenarios/missing.scn"), host::Error);

    // The body's bases are the base files in its folder, each by the name it gives itself.
    write("Config/Earth/Base/Cuba.cfg", "\nBASE-V2.0\nName = Habana\n");
    host::setRoot(root);
    host::loadScenario(write("Scenarios/base.scn",
                             "BEGIN_SHIPS\nA:Probe\n  STATUS Landed Earth\n"
                             "  BASE Habana:1\nEND\nEND_SHIPS\n"));
    EXPECT_EQ(host::stopped(), nullptr);

    // A base listed by name and place is the file Config/<name>.cfg, whose name takes over (its
    // place too, where it gives one): the simulator saved this pad's vessel at this place.
    write("Config/Earth.cfg",
          "Mass = 5.973698968e+24\nSize = 6.37101e6\nBEGIN_SURFBASE\nFoo:-80 10\nEND_SURFBASE\n");
    write("Config/Foo.cfg",
          "BASE-V2.0\nName = Bar\nBEGIN_OBJECTLIST\nLPAD1\n  POS 60 0 120\nEND\nEND_OBJECTLIST\n");
    host::setRoot(root);
    host::loadScenario(write("Scenarios/listed.scn",
                             "BEGIN_SHIPS\nA:Probe\n  STATUS Landed Earth\n"
                             "  BASE Bar:1\nEND\nEND_SHIPS\n"));
    const std::string text = host::scenarioText();
    EXPECT_NE(text.find("  BASE Bar:1\n  POS -79.9989042 9.9994604\n"), std::string::npos) << text;
}

// The simulator starts from the solar system the environment names and stops at once without
// one; lint says so at the section, or at the first line without a section.
TEST_F(Scenario, AScenarioNamingNoSolarSystemIsNoticed) {
    const std::string ships = "BEGIN_SHIPS\nA:Probe\n  PRPLEVEL 0:1\nEND\nEND_SHIPS\n";
    const struct {
        std::string text;
        std::vector<int> lines;
    } cases[] = {
        {ships, {1}},
        {"\nBEGIN_ENVIRONMENT\n  Date MJD 51982.5\nEND_ENVIRONMENT\n" + ships, {2}},
        {"BEGIN_ENVIRONMENT\n  System\nEND_ENVIRONMENT\n" + ships, {1}},
        {"BEGIN_ENVIRONMENT\n  system Sol\nEND_ENVIRONMENT\n" + ships, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        host::reset();
        host::loadScenario(write("Scenarios/env.scn", c.text));
        std::vector<int> noticed;
        for (const host::Notice& n : host::scenario().notices) {
            noticed.push_back(n.line);
            EXPECT_NE(n.message.find("solar system"), std::string::npos) << n.message;
        }
        EXPECT_EQ(noticed, c.lines);
    }
}

}  // namespace
