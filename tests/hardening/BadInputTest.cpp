// Inputs nobody should write, through the host into the real module: every one is read as the
// simulator reads it, or stops where the simulator would stop, and never crashes, cuts a written
// line or leaves an inconsistent item table.
#include "ItemTableCheck.h"
#include "PrivateRoot.h"

#include <host/Host.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class BadInput : public testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = testroot::copyBuiltRoot("hardening-input");
        host::setRoot(dir_.string());
    }
    static void TearDownTestSuite() { testroot::removeRoot(dir_); }
    void SetUp() override { host::reset(); }
    void TearDown() override { host::reset(); }

    static void write(const std::string& rel, const std::string& text) {
        fs::create_directories((dir_ / rel).parent_path());
        std::ofstream(dir_ / rel, std::ios::binary | std::ios::trunc) << text;
    }
    // A scenario of one cone at rest, its tanks full, holding the given block lines (from line
    // 14 on), with a line end of choice.
    static std::string scenario(const std::vector<std::string>& lines, const char* eol = "\n") {
        std::vector<std::string> all = {"BEGIN_DESC",
                                        "bad input",
                                        "END_DESC",
                                        "BEGIN_ENVIRONMENT",
                                        "  System Sol",
                                        "END_ENVIRONMENT",
                                        "BEGIN_FOCUS",
                                        "  Ship Cone",
                                        "END_FOCUS",
                                        "BEGIN_SHIPS",
                                        "Cone:AEROBELL",
                                        "  STATUS Orbiting Earth",
                                        "  RPOS 0.00 0.00 0.00",
                                        "  RVEL 0.00 0.00 0.00",
                                        "  AROT 0.00 0.00 0.00",
                                        "  PRPLEVEL 0:1 1:1"};
        for (const std::string& l : lines) all.push_back("  " + l);
        all.push_back("END");
        all.push_back("END_SHIPS");
        std::string text;
        for (const std::string& l : all) text += l + eol;
        return text;
    }
    // The lines of the last scenario loaded where the simulator did something silently.
    static std::vector<int> noticedLines() {
        std::vector<int> out;
        for (const host::Notice& n : host::scenario().notices) out.push_back(n.line);
        return out;
    }
    static const COMMON_VESSEL_EX& cone(const std::string& name) {
        const OBJHANDLE h = host::find(name);
        if (h == nullptr) throw std::runtime_error("no vessel " + name);
        return *static_cast<const COMMON_VESSEL_EX*>(
            static_cast<const VESSEL3*>(host::vessel(h).iface));
    }
    static int itemCount(const COMMON_VESSEL_EX& c) {
        int n = 0;
        for (int i = 0; i < COMMON_VESSEL_EX::kItemCount; ++i) n += c.Item(i).present ? 1 : 0;
        return n;
    }
    // Item lines of a vessel's saved block, without indentation.
    static std::vector<std::string> savedItems(const std::string& name) {
        std::vector<std::string> out;
        for (std::string l : host::saveVesselState(host::find(name))) {
            l = l.substr(l.find_first_not_of(' '));
            if (l.rfind("PAYLOAD", 0) == 0 || l.rfind("STAGE", 0) == 0 ||
                l.rfind("ENDSTAGE", 0) == 0)
                out.push_back(l);
        }
        return out;
    }
    // Saves the world, loads the saved file into an empty world and gives what that saves.
    static std::string saveAndReload(const std::string& first) {
        write("Scenarios/Tests/saved.scn", first);
        host::reset();
        host::loadScenario("Scenarios/Tests/saved.scn");
        return host::scenarioText();
    }

    static inline fs::path dir_;
};

TEST_F(BadInput, CrlfFilesReadAsTheirLfTwins) {
    const std::vector<std::string> items = {
        "STAGE Pod Aerobell AEROBELL 0.00 0.00 -2.00 100.00 0.00 0.50",
        "PAYLOAD Pod-Probe mmu nasa_mmu 0.00 0.30 -2.00 40.00 90.00 1.00", "ENDSTAGE",
        "PAYLOAD Cone-Suit mmu nasa_mmu 0.00 -0.40 0.20 212.00 0.00 1.00"};
    write("Scenarios/Tests/lf.scn", scenario(items));
    write("Scenarios/Tests/crlf.scn", scenario(items, "\r\n"));
    host::loadScenario("Scenarios/Tests/lf.scn");
    const std::string lf = host::scenarioText();
    host::reset();
    host::loadScenario("Scenarios/Tests/crlf.scn");
    EXPECT_EQ(host::scenarioText(), lf);
    EXPECT_EQ(cone("Cone").Item(1).parent, 0);
    EXPECT_STREQ(cone("Cone").Item(2).className, "nasa_mmu");
}

TEST_F(BadInput, LinesOfAHundredThousandCharactersAreCutNotOverrun) {
    const std::string huge(100000, 'N');
    write("Scenarios/Tests/long.scn",
          scenario({"PAYLOAD " + huge + " mmu nasa_mmu 0 0 1 10 0 1",
                    "PAYLOAD Short " + huge + " nasa_mmu 0 0 1 10 0 1",
                    "STAGE S Aerobell AEROBELL 1 2 3 4 5 6 " + huge, "UNKNOWN " + huge}));
    host::loadScenario("Scenarios/Tests/long.scn");
    const COMMON_VESSEL_EX& c = cone("Cone");
    EXPECT_EQ(fuzzsupport::itemTableFault(c), "");
    ASSERT_EQ(itemCount(c), 3);
    EXPECT_EQ(std::string(c.Item(0).name), std::string(127, 'N'));
    // Beyond the 511 characters a line is read to, nothing was given: cleared values.
    EXPECT_STREQ(c.Item(0).className, "");
    EXPECT_EQ(c.Item(0).mass, 0.0);
    EXPECT_EQ(c.Item(1).mesh.fileName, std::string(127, 'N'));
    EXPECT_EQ(c.Item(2).mass, 4.0);
    for (const std::string& l : savedItems("Cone")) EXPECT_LE(l.size(), 511u) << l;
    // The line nothing reads is said at its line and gone after a save, as in the simulator.
    EXPECT_EQ(noticedLines(), std::vector<int>({20}));
    EXPECT_EQ(host::scenarioText().find("UNKNOWN"), std::string::npos);
}

TEST_F(BadInput, CutKeywordsAndMixedCaseReachNoItem) {
    // Lines shorter than a keyword go to the simulator, which reads nothing in them (they are
    // said and dropped); a keyword in another case is taken by the cone but enters nothing.
    write("Scenarios/Tests/cut.scn",
          scenario({"PAY", "STAG", "ENDSTAG", "Payload A mmu nasa_mmu 0 0 1 1 0 1", "ENDSTAGE"}));
    host::loadScenario("Scenarios/Tests/cut.scn");
    EXPECT_EQ(itemCount(cone("Cone")), 0);
    EXPECT_EQ(noticedLines(), std::vector<int>({17, 18, 19}));
    const std::string text = host::scenarioText();
    for (const char* dropped : {"\n  PAY\n", "\n  STAG\n", "\n  ENDSTAG\n", "Payload"})
        EXPECT_EQ(text.find(dropped), std::string::npos) << dropped;
}

TEST_F(BadInput, TenThousandItemLinesFillTheTableAndNoMore) {
    std::vector<std::string> lines;
    for (int i = 0; i < 10000; ++i)
        lines.push_back("PAYLOAD P" + std::to_string(i) + " mmu nasa_mmu 0 0 " +
                        std::to_string(i % 7) + " 1 0 1");
    write("Scenarios/Tests/many.scn", scenario(lines));
    host::loadScenario("Scenarios/Tests/many.scn");
    const COMMON_VESSEL_EX& c = cone("Cone");
    EXPECT_EQ(itemCount(c), 50);
    EXPECT_STREQ(c.Item(49).name, "P49");
    EXPECT_EQ(savedItems("Cone").size(), 50u);
    EXPECT_EQ(fuzzsupport::itemTableFault(c), "");
}

TEST_F(BadInput, NestingFiftyDeepSurvivesARoundTrip) {
    std::vector<std::string> lines;
    for (int i = 0; i < 50; ++i)
        lines.push_back("STAGE S" + std::to_string(i) + " Aerobell AEROBELL 0 0 -1 10 0 1");
    write("Scenarios/Tests/deep.scn", scenario(lines));
    host::loadScenario("Scenarios/Tests/deep.scn");
    for (int i = 0; i < 50; ++i) ASSERT_EQ(cone("Cone").Item(i).parent, i - 1);
    EXPECT_EQ(cone("Cone").OpenStage(), 49);
    const std::vector<std::string> saved = savedItems("Cone");
    ASSERT_EQ(saved.size(), 100u);  // every level closes at the end of the table
    // The simulator's writer puts a blank after the key, the value being empty.
    EXPECT_EQ(saved[50], "ENDSTAGE ");

    saveAndReload(host::scenarioText());
    const COMMON_VESSEL_EX& again = cone("Cone");
    for (int i = 0; i < 50; ++i) EXPECT_EQ(again.Item(i).parent, i - 1);
    // A full table ignores closing lines too, so the innermost stage stays open; it is
    // forgotten as soon as a release frees a slot.
    EXPECT_EQ(again.OpenStage(), 49);
    EXPECT_EQ(fuzzsupport::itemTableFault(again), "");
}

TEST_F(BadInput, NanAndInfinityReadAsZeroAndAreNeverWritten) {
    write("Scenarios/Tests/nan.scn",
          scenario({"PAYLOAD A mmu nasa_mmu nan inf -inf 1e300 -nan 0.5",
                    "PAYLOAD B mmu nasa_mmu NAN(0x1) INFINITY 1e11 -1e12 0x10 1e-320"}));
    host::loadScenario("Scenarios/Tests/nan.scn");
    const std::vector<std::string> saved = savedItems("Cone");
    ASSERT_EQ(saved.size(), 2u);
    EXPECT_EQ(saved[0], "PAYLOAD A mmu nasa_mmu 0.00 0.00 0.00 0.00 0.00 0.50");
    EXPECT_EQ(saved[1], "PAYLOAD B mmu nasa_mmu 0.00 0.00 100000000000.00 0.00 16.00 0.00");
    EXPECT_EQ(fuzzsupport::itemTableFault(cone("Cone")), "");
}

TEST_F(BadInput, BinaryGarbageIsReadOrRefusedButNeverCrashes) {
    std::mt19937 random(20261208);
    int flown = 0;
    for (int round = 0; round < 30; ++round) {
        std::string bytes(1 + random() % 4000, '\0');
        for (char& b : bytes) b = static_cast<char>(random() % 256);
        // As a whole scenario, as the lines of a cone's block, as a class file and a mesh.
        write("Scenarios/Tests/garbage.scn", bytes);
        host::reset();
        try {
            host::loadScenario("Scenarios/Tests/garbage.scn");
        } catch (const host::Stop& stop) {
            // Where the simulator would stop: reported with the file, never a crash.
            EXPECT_EQ(stop.file, "Scenarios/Tests/garbage.scn") << "round " << round;
        }
        std::string block = bytes;
        for (char& b : block) {
            if (b == '\0') b = ' ';
        }
        for (std::size_t p = 0; p < block.size(); p += 97) block.insert(p, "\nPAYLOAD ");
        write("Scenarios/Tests/garbage-block.scn", scenario({block}));
        write("Config/Vessels/Garbage.cfg", bytes);
        write("Meshes/garbage.msh", bytes);
        host::reset();
        host::setRoot(dir_.string());  // forget the classes and meshes read before
        try {
            host::loadScenario("Scenarios/Tests/garbage-block.scn");
        } catch (const host::Stop&) {
            continue;  // the block held something the simulator would stop on
        }
        const COMMON_VESSEL_EX& c = cone("Cone");
        ASSERT_EQ(fuzzsupport::itemTableFault(c), "") << "round " << round;
        VESSELSTATUS s = host::defaultStatus();
        host::createVessel("Garbage", "Garbage", s);
        EXPECT_EQ(oapiLoadMeshGlobal("garbage"), nullptr) << "round " << round;
        host::step();
        host::sendKeyEvent(OAPI_KEY_J);
        ASSERT_EQ(fuzzsupport::itemTableFault(c), "") << "round " << round;
        for (const std::string& l : savedItems("Cone")) ASSERT_LE(l.size(), 511u);
        ++flown;
    }
    EXPECT_GE(flown, 10) << "too few garbage blocks reached the cone to mean anything";
}

TEST_F(BadInput, EmptyFilesGiveEmptyResults) {
    // No vessel to take the focus: the simulator would stop, and nothing may be saved after.
    write("Scenarios/Tests/empty.scn", "");
    try {
        host::loadScenario("Scenarios/Tests/empty.scn");
        FAIL() << "loaded";
    } catch (const host::Stop& e) {
        EXPECT_EQ(e.file, "Scenarios/Tests/empty.scn") << e.what();
    }
    EXPECT_TRUE(host::vessels().empty());
    ASSERT_NE(host::stopped(), nullptr);
    EXPECT_THROW(host::scenarioText(), host::Stop);
    host::reset();

    write("Config/Vessels/Blank.cfg", "");
    write("Meshes/blank.msh", "");
    host::setRoot(dir_.string());
    const OBJHANDLE h = host::createVessel("Blank-1", "Blank", host::defaultStatus());
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(host::vessel(h).moduleName, "");
    EXPECT_EQ(oapiLoadMeshGlobal("blank"), nullptr);
}

TEST_F(BadInput, AScenarioWithoutEndShipsLoadsWhatItHolds) {
    // The simulator reads ships until the file ends; a save closes the list again.
    const std::string whole = scenario({"PAYLOAD Cone-Suit mmu nasa_mmu 0 -0.4 0.2 212 0 1"});
    std::string text = whole;
    text.erase(text.find("END_SHIPS"));
    write("Scenarios/Tests/open.scn", text);
    write("Scenarios/Tests/closed.scn", whole);
    host::loadScenario("Scenarios/Tests/closed.scn");
    const std::string closed = host::scenarioText();
    host::reset();
    host::loadScenario("Scenarios/Tests/open.scn");
    ASSERT_EQ(host::vessels().size(), 1u);
    EXPECT_STREQ(cone("Cone").Item(0).name, "Cone-Suit");
    EXPECT_EQ(host::scenarioText(), closed);
}

TEST_F(BadInput, ANulByteEndsItsLineAndTheBlockGoesOn) {
    // The simulator hands a line on as a C string: a NUL ends it there (the fields after it
    // are not given), and the lines after it are read as written.
    const std::string nul = std::string("PAYLOAD A mmu nasa_mmu 0 0 1") + '\0' + " 5 0 1";
    write("Scenarios/Tests/nul.scn", scenario({nul, "PAYLOAD B mmu nasa_mmu 0 0 2 7 0 1"}));
    host::loadScenario("Scenarios/Tests/nul.scn");
    const COMMON_VESSEL_EX& c = cone("Cone");
    ASSERT_EQ(itemCount(c), 2);
    EXPECT_EQ(c.Item(0).mesh.offset.z, 1.0);
    EXPECT_EQ(c.Item(0).mass, 0.0);
    EXPECT_EQ(c.Item(1).mass, 7.0);
    EXPECT_EQ(fuzzsupport::itemTableFault(c), "");
    EXPECT_EQ(host::scenarioText().find('\0'), std::string::npos);
}

}  // namespace
