// Items written to a scenario block and read back: generated table shapes keep their items,
// values and nesting.
#include "FrameworkWorld.h"

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

using Persistence = FrameworkWorld;

std::vector<std::string> itemLines(const std::vector<std::string>& block) {
    std::vector<std::string> out;
    for (const std::string& raw : block) {
        const std::string line = raw.substr(raw.find_first_not_of(" \t"));
        if (line.rfind("PAYLOAD", 0) == 0 || line.rfind("STAGE", 0) == 0 ||
            line.rfind("ENDSTAGE", 0) == 0) {
            out.push_back(line);
        }
    }
    return out;
}

// A random table: stages opened at random, levels closed at random (several at once, and
// stages left empty), numbers with two decimals so that they survive the writer exactly.
std::vector<std::string> randomTable(std::mt19937& rng, int items) {
    std::vector<std::string> lines;
    int depth = 0;
    std::uniform_int_distribution<int> coin(0, 99);
    std::uniform_int_distribution<int> cents(-99999, 99999);
    auto num = [&] {
        char b[32];
        std::snprintf(b, sizeof b, "%.2f", cents(rng) / 100.0);
        return std::string(b);
    };
    for (int i = 0; i < items; ++i) {
        const bool isStage = coin(rng) < 35;
        lines.push_back(std::string(isStage ? "STAGE" : "PAYLOAD") + " N" + std::to_string(i) +
                        " box " + (isStage ? "TestCarrier" : "Probe") + " " + num() + " " + num() +
                        " " + num() + " " + num() + " " + num() + " " + num());
        if (isStage) ++depth;
        int closes = coin(rng) < 40 ? std::uniform_int_distribution<int>(0, depth)(rng) : 0;
        for (; closes > 0; --closes, --depth) lines.push_back("ENDSTAGE");
    }
    return lines;
}

void expectSameTable(const TestCarrier& a, const TestCarrier& b) {
    for (int i = 0; i < COMMON_VESSEL_EX::kItemCount; ++i) {
        SCOPED_TRACE(i);
        const StageSlot& x = a.Item(i);
        const StageSlot& y = b.Item(i);
        ASSERT_EQ(x.present, y.present);
        if (!x.present) continue;
        EXPECT_EQ(x.kind, y.kind);
        EXPECT_EQ(x.parent, y.parent);
        EXPECT_STREQ(x.name, y.name);
        EXPECT_STREQ(x.className, y.className);
        EXPECT_EQ(x.mesh.fileName, y.mesh.fileName);
        EXPECT_EQ(x.mesh.offset.x, y.mesh.offset.x);
        EXPECT_EQ(x.mesh.offset.y, y.mesh.offset.y);
        EXPECT_EQ(x.mesh.offset.z, y.mesh.offset.z);
        EXPECT_EQ(x.mass, y.mass);
        EXPECT_EQ(x.angle, y.angle);
        EXPECT_EQ(x.fuel, y.fuel);
    }
}

TEST_F(Persistence, GeneratedTablesComeBackWithTheirNesting) {
    std::mt19937 rng(20261208);
    for (int round = 0; round < 60; ++round) {
        const int count = round < 10 ? round : std::uniform_int_distribution<int>(1, 55)(rng);
        SCOPED_TRACE(testing::Message() << "round " << round << ", " << count << " items");
        host::reset();
        TestCarrier& original = makeCarrier("Original");
        feed(original, randomTable(rng, count));
        const std::vector<std::string> saved =
            itemLines(host::saveVesselState(original.GetHandle()));
        TestCarrier& copy = makeCarrier("Copy");
        feed(copy, saved);
        expectSameTable(original, copy);
        // Every level is closed at the end of the table (a full table ignores closing lines).
        if (!copy.Item(COMMON_VESSEL_EX::kItemCount - 1).present) {
            EXPECT_EQ(copy.OpenStage(), -1);
        }
        if (HasFailure()) break;
    }
}

TEST_F(Persistence, WritesTwoDecimalsAndTheExpectedLines) {
    TestCarrier& c = makeCarrier("C");
    EXPECT_TRUE(itemLines(host::saveVesselState(c.GetHandle())).empty());
    feed(c, {"STAGE Pod-1 podshell PodClass 0 0 -1.2 350 0 0.5",
             "PAYLOAD Pod-1-Probe probe ProbeClass 0 0.3 -1.2 1234.567 90 1.005", "ENDSTAGE",
             "PAYLOAD Pilot-Suit mmu SuitClass 0 -0.4 0.2 120 0 1"});
    const std::vector<std::string> expected = {
        "STAGE Pod-1 podshell PodClass 0.00 0.00 -1.20 350.00 0.00 0.50",
        "PAYLOAD Pod-1-Probe probe ProbeClass 0.00 0.30 -1.20 1234.57 90.00 1.00",
        "ENDSTAGE ",  // the simulator's writer puts a blank after the key, the value being empty
        "PAYLOAD Pilot-Suit mmu SuitClass 0.00 -0.40 0.20 120.00 0.00 1.00"};
    EXPECT_EQ(itemLines(host::saveVesselState(c.GetHandle())), expected);
}

}  // namespace
