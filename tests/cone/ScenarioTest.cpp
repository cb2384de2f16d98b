// A cone's scenario block: what reading takes and leaves to the host, item tables of many shapes
// written and read back, and flights of a scenario and of the scenario saved from it.
#include "ConeTestSupport.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace conetest {
namespace {

using PersistenceTest = ConeTest;
using LockstepTest = ConeTest;

std::string trimmed(const std::string& s) {
    const std::size_t b = s.find_first_not_of(" \t");
    return b == std::string::npos ? "" : s.substr(b);
}

TEST_F(PersistenceTest, ItemLinesGoToTheConeAndEverythingElseToTheHost) {
    host::loadScenario(writeScenario(
        "mixed-lines",
        ship("K1", "AEROBELL",
             {"PAYLOAD Heavy mmu nasa_mmu 0.00 -0.40 0.20 1234.567 0.00 1.00",
              "payload Lower mmu nasa_mmu 0 0 0 5 0 1",  // a candidate, but not an item line
              "Stagecoach rides", "FOO bar baz"}),
        "K1"));
    OBJHANDLE cone = host::find("K1");
    const host::Vessel& k = V(cone);
    ASSERT_EQ(k.meshes.size(), 2u);
    EXPECT_EQ(k.emptyMass, 100.0 + 1234.567);

    // Item-line candidates stay with the cone; the rest goes to the default reader, which
    // reads nothing of FOO (line 24).
    std::vector<int> unread;
    for (const host::Notice& n : host::scenario().notices)
        if (n.message.find("nothing reads") != std::string::npos) unread.push_back(n.line);
    EXPECT_EQ(unread, std::vector<int>{24});

    // The host's own state first, the items last, with two decimals.
    const std::vector<std::string> block = host::saveVesselState(cone);
    ASSERT_FALSE(block.empty());
    EXPECT_EQ(trimmed(block.back()),
              "PAYLOAD Heavy mmu nasa_mmu 0.00 -0.40 0.20 1234.57 0.00 1.00");
    EXPECT_EQ(savedItemLines(cone).size(), 1u);
}

// --- item tables of many shapes ---------------------------------------------------------------

struct ModelItem {
    bool stage;
    int parent;
    std::string fields;
    bool operator==(const ModelItem& o) const {
        return stage == o.stage && parent == o.parent && fields == o.fields;
    }
};

// How a reader nests item lines: each item under the open stage, ENDSTAGE back to its parent,
// nothing at all once 50 items are in.
std::vector<ModelItem> readModel(const std::vector<std::string>& lines) {
    std::vector<ModelItem> items;
    int open = -1;
    for (const std::string& raw : lines) {
        const std::string l = trimmed(raw);
        if (items.size() == 50) break;
        if (l.rfind("ENDSTAGE", 0) == 0) {
            if (open != -1) open = items[open].parent;
        } else if (l.rfind("PAYLOAD ", 0) == 0 || l.rfind("STAGE ", 0) == 0) {
            const bool stage = l[0] == 'S';
            items.push_back({stage, open, l.substr(stage ? 6 : 8)});
            if (stage) open = static_cast<int>(items.size()) - 1;
        }
    }
    return items;
}

// A table written as a careful author would: every level closed where it ends.
std::vector<std::string> generateTable(std::mt19937& rng, int count, int emptyStagePercent,
                                       int maxDrop) {
    std::vector<std::string> lines;
    int depth = 0;
    std::uniform_int_distribution<int> pct(0, 99);
    auto number = [&](int lo, int hi) {
        char b[32];
        std::snprintf(b, sizeof b, "%.2f", std::uniform_int_distribution<int>(lo, hi)(rng) / 100.0);
        return std::string(b);
    };
    for (int i = 0; i < count; ++i) {
        const bool stage = pct(rng) < 35;
        std::string l = std::string(stage ? "STAGE" : "PAYLOAD") + " I" + std::to_string(i) +
                        " mmu nasa_mmu " + number(-300, 300) + " " + number(-300, 300) + " " +
                        number(-900, 900) + " " + number(1, 50000) + " " + number(0, 9000) + " " +
                        number(0, 100);
        lines.push_back(l);
        if (stage) {
            ++depth;
            if (pct(rng) >= emptyStagePercent) continue;  // an empty stage: close it at once
        }
        if (depth > 0 && pct(rng) < 40) {
            int drop = std::uniform_int_distribution<int>(1, std::min(depth, maxDrop))(rng);
            for (; drop > 0; --drop, --depth) lines.push_back("ENDSTAGE");
        }
    }
    for (; depth > 0; --depth) lines.push_back("ENDSTAGE");
    return lines;
}

TEST_F(PersistenceTest, TablesOfManyShapesReadBackAsWritten) {
    std::mt19937 rng(20261208);
    struct Shape {
        int count, emptyStagePercent, maxDrop;
    };
    std::vector<std::vector<std::string>> tables;
    tables.push_back({});
    tables.push_back({"STAGE Empty mmu nasa_mmu 0.00 0.00 0.00 1.00 0.00 0.00", "ENDSTAGE",
                      "PAYLOAD After mmu nasa_mmu 0.00 0.00 0.00 1.00 0.00 0.00"});
    tables.push_back({"STAGE A mmu nasa_mmu 0.00 0.00 0.00 1.00 0.00 0.00",
                      "STAGE B mmu nasa_mmu 0.00 0.00 0.00 1.00 0.00 0.00",
                      "STAGE C mmu nasa_mmu 0.00 0.00 0.00 1.00 0.00 0.00",
                      "PAYLOAD D mmu nasa_mmu 0.00 0.00 0.00 1.00 0.00 0.00", "ENDSTAGE",
                      "ENDSTAGE", "ENDSTAGE",
                      "PAYLOAD E mmu nasa_mmu 0.00 0.00 0.00 1.00 0.00 0.00"});
    for (const Shape& s : {Shape{50, 0, 1}, Shape{50, 30, 5}, Shape{49, 50, 3}}) {
        tables.push_back(generateTable(rng, s.count, s.emptyStagePercent, s.maxDrop));
    }
    for (int i = 0; i < 30; ++i) {
        tables.push_back(generateTable(rng, std::uniform_int_distribution<int>(1, 20)(rng),
                                       std::uniform_int_distribution<int>(0, 60)(rng),
                                       std::uniform_int_distribution<int>(1, 6)(rng)));
    }
    // More than a full table: the surplus is dropped.
    tables.push_back(generateTable(rng, 55, 20, 4));

    for (std::size_t t = 0; t < tables.size(); ++t) {
        SCOPED_TRACE("table " + std::to_string(t));
        host::reset();
        host::loadScenario(writeScenario("shape", ship("K1", "AEROBELL", tables[t]), "K1"));
        const std::vector<std::string> saved = savedItemLines(host::find("K1"));
        const std::vector<ModelItem> want = readModel(tables[t]);
        ASSERT_EQ(readModel(saved), want);
        // Saved again after reading back: the very same lines.
        host::reset();
        host::loadScenario(writeScenario("shape-again", ship("K1", "AEROBELL", saved), "K1"));
        EXPECT_EQ(savedItemLines(host::find("K1")), saved);
    }
}

TEST_F(PersistenceTest, TheNestedStackReadsBackToTheSameTable) {
    host::loadScenario("Scenarios/Aerobell/NestedStack.scn");
    const std::vector<std::string> saved = savedItemLines(host::find("Carrier"));
    const std::vector<ModelItem> items = readModel(saved);
    ASSERT_EQ(items.size(), 6u);
    const int parents[] = {-1, 0, 0, 2, -1, -1};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(items[i].parent, parents[i]) << i;
    const std::string path = (RootEnvironment::dir() / "Scenarios/Tests/nested-saved.scn").string();
    host::saveScenario(path);
    host::reset();
    host::loadScenario(path);
    EXPECT_EQ(savedItemLines(host::find("Carrier")), saved);
}

// --- lockstep ------------------------------------------------------------------------------

std::string name(OBJHANDLE h) { return h == nullptr ? std::string("-") : host::vessel(h).name; }

// Everything the flight left in the host, by vessel name (handles differ between flights).
std::string snapshot() {
    std::string s;
    char b[128];
    auto num = [&](double d) {
        std::snprintf(b, sizeof b, " %.17g", d);
        s += b;
    };
    for (const host::Vessel* v : host::vessels()) {
        s += v->name + ":" + v->className + " pos" + vecText(v->pos) + " vel" + vecText(v->vel) +
             " rot" + vecText(v->arot);
        num(v->emptyMass);
        num(v->mass());
        for (const auto& p : v->propellants) num(p->mass);
        for (const host::MeshSlot& m : v->meshes) s += " " + m.meshName + vecText(m.offset);
        for (const auto& a : v->animations) num(a->state);
        for (const auto& g : v->groups) {
            s += " g" + std::to_string(g->type);
            num(g->thrusters.empty() ? 0.0 : g->thrusters[0]->level);
        }
        s += " th" + std::to_string(v->thrusters.size());
        s += " on " + (v->parentPoint ? v->parentPoint->owner->name : std::string("-")) + "\n";
    }
    const host::Records& r = host::records();
    for (const auto& c : r.creations) {
        num(c.time);
        s += " created " + c.name + ":" + c.className + vecText(c.status.rpos) +
             vecText(c.status.rvel) + vecText(c.status.arot) + "\n";
    }
    for (const auto& f : r.focusChanges) {
        num(f.time);
        s += " focus " + name(f.from) + ">" + name(f.to) + "\n";
    }
    for (const auto& a : r.attachments) {
        num(a.time);
        s += std::string(a.attach ? " attach " : " detach ") + name(a.parent) + ">" +
             name(a.child) + "\n";
    }
    for (const auto& k : r.keys) {
        num(k.time);
        s += " key " + name(k.vessel) + " " + std::to_string(k.key) + "=" +
             std::to_string(k.result) + "\n";
    }
    return s;
}

// The pilot's part, by step: deploy, fire the retro motor, release, dock or undock at the seat.
std::string fly(const std::string& path, const std::string& first) {
    host::reset();
    host::loadScenario(path);
    host::setPreStepHook([&first](double) {
        const long n = host::stepIndex();
        OBJHANDLE cone = host::find(first);
        if (n == 10) host::pressKey(OAPI_KEY_K);
        if (n == 60 && cone) {
            host::vessel(cone).iface->SetThrusterGroupLevel(THGROUP_RETRO, 1.0);
        }
        if (n == 120) host::pressKey(OAPI_KEY_J);
        if (n == 140 && cone) host::setFocus(cone);
        if (n == 141 || n == 160) host::pressKey(OAPI_KEY_S);
    });
    host::runFor(25.0);
    host::setPreStepHook(nullptr);
    return snapshot();
}

TEST_F(LockstepTest, ASavedScenarioFliesLikeItsOriginal) {
    struct Case {
        const char* path;
        const char* cone;
    };
    const Case cases[] = {
        {"Scenarios/Aerobell/Mmu.scn", "Mmu-1"},
        {"Scenarios/Aerobell/Gemini.scn", "Gemini-1"},
        {"Scenarios/Aerobell/Pod2001.scn", "Pod-2001"},
        {"Scenarios/Aerobell/DG3.scn", "DG3-1"},
        {"Scenarios/Aerobell/SeatDock.scn", "SeatCone"},
        {"Scenarios/Aerobell/NestedStack.scn", "Carrier"},
        {"Scenarios/Aerobell/Aerobell demo.scn", "Aerobell-1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        host::reset();
        host::loadScenario(c.path);
        const std::string saved =
            (RootEnvironment::dir() / "Scenarios/Tests/lockstep.scn").string();
        host::saveScenario(saved);

        const std::string original = fly(c.path, c.cone);
        const std::string again = fly(saved, c.cone);
        EXPECT_EQ(original, again);
        // The flight did what the pilot asked: the cone deployed and fired its motor.
        const host::Vessel& k = V(c.cone);
        EXPECT_EQ(k.animations[0]->state, 1.0);
        EXPECT_LT(k.propellants[1]->mass, k.propellants[1]->maxMass);
        EXPECT_EQ(k.iface->GetThrusterGroupLevel(THGROUP_RETRO),
                  k.propellants[1]->mass > 0.0 ? 1.0 : 0.0);
    }
}

// What a cone is doing, as the host sees it; positions aside, which the simulator writes rounded.
std::string coneState(const std::string& cone) {
    const host::Vessel& k = V(cone);
    const host::ThrusterGroup* retro = group(k, THGROUP_RETRO);
    char b[256];
    std::snprintf(b, sizeof b,
                  "anim %.17g retro %s %.17g tanks %.4f %.4f empty %.17g thrusters %zu",
                  k.animations[0]->state, retro ? "made" : "none",
                  retro ? k.iface->GetThrusterGroupLevel(THGROUP_RETRO) : -1.0,
                  k.propellants[0]->mass, k.propellants[1]->mass, k.emptyMass, k.thrusters.size());
    return b;
}

// A flight saved at any moment (a quicksave) resumes as it was: deploying, deployed with its
// motor made, or burning. The reloaded flight, given the rest of the pilot's commands, steps in
// lockstep with the original.
TEST_F(LockstepTest, AConeSavedInFlightResumesAsItWas) {
    const auto pilot = [](double start) {
        host::setPreStepHook([start](double t) {
            const double at = start + t;
            if (std::fabs(at - 1.0) < 1e-6) host::pressKey(OAPI_KEY_K);
            if (std::fabs(at - 6.0) < 1e-6)
                iface("Mmu-1")->SetThrusterGroupLevel(THGROUP_RETRO, 1.0);
        });
    };
    const std::string saved = (RootEnvironment::dir() / "Scenarios/Tests/quicksave.scn").string();
    for (double saveAt : {2.5, 5.5, 8.0}) {
        SCOPED_TRACE(saveAt);
        host::reset();
        host::loadScenario("Scenarios/Aerobell/Mmu.scn");
        pilot(0.0);
        host::runFor(saveAt);
        host::saveScenario(saved);
        std::vector<std::string> original;
        for (int i = 0; i < 250; ++i) {
            host::step();
            original.push_back(coneState("Mmu-1"));
        }
        host::reset();
        host::loadScenario(saved);
        pilot(saveAt);
        for (int i = 0; i < 250; ++i) {
            host::step();
            ASSERT_EQ(coneState("Mmu-1"), original[i]) << "step " << i + 1 << " after the save";
        }
    }
    host::setPreStepHook(nullptr);
}

}  // namespace
}  // namespace conetest
