// The parts of the runner that decide what a user's files mean (flight scripts, a cone's item
// lines as the cone reads them) and what its plot keeps of a long flight. The commands
// themselves are tested end to end through check.cmake (see CMakeLists.txt).
#include "ConeItems.h"
#include "FlightScript.h"
#include "InputError.h"
#include "Plot.h"
#include "Readings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

using namespace runner;

namespace {

std::string errorOf(const std::string& text) {
    try {
        parseFlightScriptText(text, "f.flight", "/start");
    } catch (const InputError& e) {
        return e.what();
    }
    return "";
}

}  // namespace

TEST(FlightScript, ReadsCommandsInTimeOrderWithPathsFromTheStartFolder) {
    const FlightScript s = parseFlightScriptText(
        "# comment line\n"
        "\n"
        "25.0  key J   # trailing comment\n"
        "1     key k\n"
        "6.0   thrust retro 0.5\n"
        "6.0   thrust ATT_PITCHUP 1\n"
        "6.0   focus Cone-1-Suit\n"
        "26.0  save out/after.scn\n"
        "27.0  save /abs/x.scn ; a comment as in the simulator's files\n"
        "28.0  key F10\n"
        "28.0  key numpadenter\n",
        "f.flight", "/start");
    ASSERT_EQ(s.commands.size(), 9u);
    // Sorted by time; commands of equal time keep the order they were written in.
    EXPECT_EQ(s.commands[0].line, 4);
    EXPECT_EQ(s.commands[0].keyCode, 0x25);
    EXPECT_EQ(s.commands[1].groupType, 1);  // RETRO
    EXPECT_DOUBLE_EQ(s.commands[1].level, 0.5);
    EXPECT_EQ(s.commands[2].groupType, 3);  // ATT_PITCHUP
    EXPECT_EQ(s.commands[3].kind, ScriptCommand::Kind::Focus);
    EXPECT_EQ(s.commands[3].name, "Cone-1-Suit");
    EXPECT_EQ(s.commands[4].keyCode, 0x24);
    EXPECT_EQ(s.commands[5].path, "/start/out/after.scn");
    EXPECT_EQ(s.commands[6].path, "/abs/x.scn");
    // Every key the simulator names, beyond the main block too.
    EXPECT_EQ(s.commands[7].keyCode, 0x44);
    EXPECT_EQ(s.commands[8].keyCode, 0x9C);
    EXPECT_DOUBLE_EQ(s.lastTime(), 28.0);

    // A byte-order mark in front of the first line, as some editors write it, is not read.
    const FlightScript bom = parseFlightScriptText(
        "\xEF\xBB\xBF"
        "1 key K\n",
        "f.flight", "/");
    ASSERT_EQ(bom.commands.size(), 1u);
    EXPECT_EQ(bom.commands[0].keyCode, 0x25);
}

TEST(FlightScript, NamesFileAndLineOfEveryMistake) {
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"1 key K\n2 jump\n", "f.flight:2: unknown command 'jump'"},
        {"\n\nsoon key K\n", "f.flight:3: bad time 'soon'"},
        {"-1 key K\n", "f.flight:1: bad time '-1'"},
        {"1.5s key K\n", "f.flight:1: bad time '1.5s'"},
        {"nan key K\n", "f.flight:1: bad time 'nan'"},
        {"1\n", "f.flight:1: missing command"},
        {"1 key\n", "f.flight:1: 'key' takes one key name"},
        {"1 key K J\n", "f.flight:1: 'key' takes one key name"},
        {"1 key KK\n", "f.flight:1: unknown key 'KK'"},
        {"1 thrust RETRO\n", "f.flight:1: 'thrust' takes a group and a level"},
        {"1 thrust WARP 1\n", "f.flight:1: unknown thruster group 'WARP'"},
        {"1 thrust RETRO 1.5\n", "f.flight:1: bad thrust level '1.5'"},
        {"1 thrust RETRO full\n", "f.flight:1: bad thrust level 'full'"},
        {"1 focus\n", "f.flight:1: 'focus' takes one vessel name"},
        {"1 save a b\n", "f.flight:1: 'save' takes one file name"},
    };
    for (const auto& c : cases) {
        const std::string e = errorOf(c.text);
        EXPECT_EQ(e.rfind(c.message, 0), 0u) << "script: " << c.text << "error: " << e;
    }
}

TEST(ConeItems, RebuildNestingAndTheTableLimitAsTheConeReadsThem) {
    std::vector<std::string> lines = {
        "STATUS Orbiting Earth",
        "  STAGE Pod pm PodClass 0 0 -2 300 0 1",
        "  PAYLOAD Probe pr ProbeClass 0 1 -2 100 0 1",
        "  STAGE Inner im InnerClass 0 0 -3 50 0 1",
        "  PAYLOAD Deep dm DeepClass 0 0 -3 10 0 1",
        "  ENDSTAGE",
        "  ENDSTAGE",
        "  Stage Lower lm LowerClass 0 0 0 1 0 1",  // not an exact keyword: dropped
        "  ENDSTAGE",                               // nothing open: no effect
        "  PAYLOAD Top tm TopClass 4 0 0 40 0 1",
    };
    const ConeItems r = readSavedItems(lines);
    ASSERT_EQ(r.count(), 5);
    std::vector<int> parents;
    for (int i = 0; i < 5; ++i) parents.push_back(r.table()[i].parent);
    EXPECT_EQ(parents, (std::vector<int>{-1, 0, 0, 2, -1}));
    EXPECT_STREQ(r.table()[4].name, "Top");
    EXPECT_EQ(r.lineOf(4), 10);
    EXPECT_EQ(r.table().openStage(), -1);

    // The table holds 50 items; what comes after is dropped, closing lines included.
    ConeItems items;
    itemtable::Taken t;
    items.feed("STAGE S s SC 0 0 0 1 0 1", 1, &t);
    for (int i = 0; i < 49; ++i) items.feed("PAYLOAD P p PC 0 0 0 1 0 1", i + 2, &t);
    items.feed("PAYLOAD Extra p PC 0 0 0 1 0 1", 60, &t);
    EXPECT_EQ(t.effect, itemtable::Taken::kTableFull);
    items.feed("ENDSTAGE", 61, &t);
    EXPECT_EQ(t.effect, itemtable::Taken::kTableFull);
    EXPECT_EQ(items.table().openStage(), 0);
}

// The simulator hands a line over without the blanks and tabs around it, and nothing else: a
// keyword after any other white space is no item line for the cone.
TEST(ConeItems, TakeTheLinesAsTheSimulatorHandsThemOver) {
    EXPECT_EQ(asHandedOver(" \t PAYLOAD a b c 0 0 0 1 0 1 \t; comment"),
              "PAYLOAD a b c 0 0 0 1 0 1");
    for (const char* white : {"\v", "\f", "\r"}) {
        ConeItems items;
        const std::string line =
            asHandedOver(std::string("  ") + white + "PAYLOAD a b c 0 0 0 1 0 1");
        EXPECT_EQ(items.feed(line, 1, nullptr), itemtable::BlockRoute::kSimulator);
        EXPECT_EQ(items.count(), 0);
    }
}

// A million steps keep at most two points per bucket, in time order, and the one step that
// stands out either way is still among them.
TEST(Decimated, KeepsEveryPeakAndDipOfALongFlightInBoundedPoints) {
    Decimated d;
    const long steps = 1000000;
    for (long i = 0; i < steps; ++i) {
        const double t = 0.1 * static_cast<double>(i);
        const double v = i == 777777 ? 50.0 : i == 123457 ? -50.0 : std::sin(1e-4 * t);
        d.add(i, t, v);
    }
    const std::vector<Decimated::Point> pts = d.points();
    ASSERT_LE(pts.size(), 2 * Decimated::kBuckets);
    EXPECT_GE(pts.size(), Decimated::kBuckets);
    bool peak = false, dip = false;
    for (std::size_t i = 0; i < pts.size(); ++i) {
        if (i > 0) {
            EXPECT_LE(pts[i - 1].t, pts[i].t);
        }
        peak = peak || (pts[i].v == 50.0 && pts[i].t == 0.1 * 777777);
        dip = dip || (pts[i].v == -50.0 && pts[i].t == 0.1 * 123457);
    }
    EXPECT_TRUE(peak);
    EXPECT_TRUE(dip);
    EXPECT_DOUBLE_EQ(pts.front().t, 0.0);
    EXPECT_DOUBLE_EQ(pts.back().t, 0.1 * (steps - 1));
}

// The glow of a re-entry stream: p = 0.5 rho^0.6 v^3 through the stream's atmosphere map.
TEST(Readings, ReentryLevelMapsTheAtmosphericParameterAsTheGraphicsClientDoes) {
    host::Vessel v;
    EXPECT_FALSE(reentryLevel(v));  // no stream, no reading
    auto stream = std::make_unique<host::ParticleStream>();
    stream->kind = host::ParticleStream::REENTRY;
    stream->hasSpec = true;
    stream->spec.atmsmap = PARTICLESTREAMSPEC::ATM_PLIN;
    stream->spec.amin = 6e7;
    stream->spec.amax = 1.2e8;
    v.streams.push_back(std::move(stream));
    // rho 1e-4 kg/m^3 (rho^0.6 = 10^-2.4), 7000 m/s: p = 0.5 * 0.0039811 * 3.43e11 = 6.8275e8.
    v.readings.density = 1e-4;
    v.readings.airspeed = 7000.0;
    EXPECT_EQ(*reentryLevel(v), 1.0);
    v.readings.airspeed = 4000.0;  // p = 0.5 * 0.0039811 * 6.4e10 = 1.274e8, above amax
    EXPECT_EQ(*reentryLevel(v), 1.0);
    v.readings.airspeed = 3500.0;  // p = 0.5 * 0.0039811 * 4.2875e10 = 8.5345e7
    EXPECT_NEAR(*reentryLevel(v), (8.5345e7 - 6e7) / 6e7, 1e-3);
    v.readings.airspeed = 1000.0;  // p below amin
    EXPECT_EQ(*reentryLevel(v), 0.0);
    v.streams[0]->spec.atmsmap = PARTICLESTREAMSPEC::ATM_PLOG;
    v.streams[0]->spec.amin = 1e6;
    v.streams[0]->spec.amax = 1e9;
    v.readings.airspeed = 3500.0;  // log(85.345) / log(1000)
    EXPECT_NEAR(*reentryLevel(v), std::log(85.345) / std::log(1000.0), 1e-4);
    v.streams[0]->spec.atmsmap = PARTICLESTREAMSPEC::ATM_FLAT;
    v.streams[0]->spec.amin = 0.25;
    EXPECT_EQ(*reentryLevel(v), 0.25);
}
