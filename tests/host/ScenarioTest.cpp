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
    "  System Sol\n"
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

TEST_F(Scenario, FilesAreWrittenBackAsRead) {
    const std::string bundled = std::string(AEROBELL_SIM_DIR) + "/Scenarios/Tests/probes.scn";
    host::loadScenario(bundled);
    EXPECT_EQ(host::scenarioText(), read(bundled));
    const host::Vessel& probe2 = host::vessel(host::find("Probe-2"));
    ASSERT_NE(probe2.parentPoint, nullptr);
    EXPECT_EQ(probe2.parentPoint->owner->name, "Probe-1");

    host::reset();
    host::loadScenario(write("Scenarios/craft.scn", kCraftScenario));
    EXPECT_EQ(host::scenarioText(), kCraftScenario);
    EXPECT_EQ(craft(host::find("Burner")).note, "keep me");
    EXPECT_EQ(host::vessel(host::find("Burner")).unknownLines, std::vector<std::string>{"XPDR 12"});
    EXPECT_EQ(host::vessel(host::find("Side")).className, "probe");

    std::vector<std::string> block = host::saveVesselState(host::find("Burner"));
    ASSERT_FALSE(block.empty());
    EXPECT_EQ(block.back(), "  NOTE keep me");
    EXPECT_EQ(host::vessel(host::find("Burner")).lastSave, block);

    // The same scenario with CRLF line ends reads the same.
    std::string crlf;
    for (char c : std::string(kCraftScenario)) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    host::reset();
    host::loadScenario(write("Scenarios/crlf.scn", crlf));
    EXPECT_EQ(host::scenarioText(), kCraftScenario);
}

TEST_F(Scenario, SavedWorldFliesLikeTheOriginal) {
    auto burn = [] {
        host::vessel(host::find("Burner")).iface->SetThrusterGroupLevel(THGROUP_MAIN, 1.0);
        host::runFor(5.0);
        return host::scenarioText();
    };
    const std::string original = write("Scenarios/orig.scn", kCraftScenario);
    host::loadScenario(original);
    VESSELSTATUS turned = host::defaultStatus();
    turned.arot = _V(0.1234567891, -1.3456789, 3.0001);  // no short decimal in degrees
    turned.rvel = _V(0.1, 0.2, 0.3);
    host::createVessel("Turned", "Craft", turned);
    host::runFor(2.0);  // coast, save mid-flight, then burn
    const host::Vessel before = [] {
        const host::Vessel& v = host::vessel(host::find("Turned"));
        host::Vessel copy;
        copy.pos = v.pos;
        copy.vel = v.vel;
        copy.arot = v.arot;
        return copy;
    }();
    const std::string saved = root + "/Scenarios/saved.scn";
    host::saveScenario(saved);
    const std::string flown = burn();

    host::reset();
    host::loadScenario(saved);
    const host::Vessel& reloaded = host::vessel(host::find("Turned"));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(reloaded.pos.data[i], before.pos.data[i]);
        EXPECT_EQ(reloaded.vel.data[i], before.vel.data[i]);
        EXPECT_EQ(reloaded.arot.data[i], before.arot.data[i]);
    }
    EXPECT_EQ(burn(), flown);
}

TEST_F(Scenario, OverlongLinesAreKept) {
    const std::string longLine = "LOG " + std::string(100000, 'x');
    std::string text = "BEGIN_SHIPS\nA:Probe\n  " + longLine + "\nEND\nEND_SHIPS\n";
    host::loadScenario(write("Scenarios/long.scn", text));
    EXPECT_EQ(host::vessel(host::find("A")).unknownLines, std::vector<std::string>{longLine});
}

TEST_F(Scenario, BadFilesGiveOneErrorWithFileAndLine) {
    struct Case {
        const char* what;
        std::string text;
        int line;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"block without END", "BEGIN_SHIPS\nA:Probe\n  RPOS 0 0 0\n", 2, "has no END"},
        {"no END_SHIPS", "BEGIN_SHIPS\nA:Probe\nEND\n", 1, "without END_SHIPS"},
        {"no END_DESC", "BEGIN_DESC\ntext\n", 1, "without END_DESC"},
        {"unknown class", "BEGIN_SHIPS\nA:Probe\nEND\nB:Nope\nEND\nEND_SHIPS\n", 4, "unknown vessel class"},
        {"no NAME:CLASS", "BEGIN_SHIPS\njunk\nEND\nEND_SHIPS\n", 2, "expected NAME:CLASS"},
        {"duplicate name", "BEGIN_SHIPS\nA:Probe\nEND\nA:Probe\nEND\nEND_SHIPS\n", 4, "exists already"},
        {"garbage number", "BEGIN_SHIPS\nA:Probe\n  RPOS 1 x 3\nEND\nEND_SHIPS\n", 3, "RPOS"},
        {"overflowing number", "BEGIN_SHIPS\nA:Probe\n  AROT 1e999 0 0\nEND\nEND_SHIPS\n", 3, "AROT"},
        {"garbage level", "BEGIN_SHIPS\nA:Probe\n\n  PRPLEVEL 0:half\nEND\nEND_SHIPS\n", 4, "PRPLEVEL"},
        {"parent missing", "BEGIN_SHIPS\nA:Probe\n  ATTACHED 0:0,Ghost\nEND\nEND_SHIPS\n", 3, "Ghost"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        host::reset();
        const std::string path = write("Scenarios/bad.scn", c.text);
        try {
            host::loadScenario(path);
            ADD_FAILURE() << "no error";
        } catch (const host::Error& e) {
            EXPECT_EQ(e.file, path);
            EXPECT_EQ(e.line, c.line);
            EXPECT_NE(e.message.find(c.message), std::string::npos) << e.what();
        }
    }
    // Structural errors are found before any vessel is made.
    host::reset();
    EXPECT_THROW(host::loadScenario(write("Scenarios/bad.scn", cases[3].text)), host::Error);
    EXPECT_EQ(oapiGetVesselCount(), 0u);
    EXPECT_THROW(host::loadScenario("Scenarios/missing.scn"), host::Error);

    // A class file with a bad number refuses the class, naming its own line.
    write("Config/Vessels/Broken.cfg", "Size = 2\nMass = heavy\n");
    try {
        host::loadScenario(write("Scenarios/bad.scn", "BEGIN_SHIPS\nA:Broken\nEND\nEND_SHIPS\n"));
        ADD_FAILURE() << "no error";
    } catch (const host::Error& e) {
        EXPECT_EQ(e.line, 2);
        EXPECT_NE(e.message.find("Broken.cfg:2"), std::string::npos) << e.what();
    }
}

}  // namespace
