// Deployment of the cone, the retro motor it grows once deployed, and items that reach a cone
// by message.
#include "ConeTestSupport.h"

#include <cmath>
#include <set>
#include <string>
#include <vector>

namespace conetest {
namespace {

using DeploymentTest = ConeTest;
using RetroTest = ConeTest;

// A cone that carries its astronaut from the scenario, so no crew set-up interferes.
OBJHANDLE loadCrewedCone(const std::string& cls = "AEROBELL") {
    host::loadScenario(writeScenario(
        "crewed-" + cls,
        ship("K1", cls, {"PAYLOAD K1-Suit mmu nasa_mmu 0.00 -0.40 0.20 212.00 0.00 1.00"}), "K1"));
    return host::find("K1");
}

TEST_F(DeploymentTest, KDeploysOverFourSecondsWithTheAnimationOneStepBehind) {
    OBJHANDLE cone = loadCrewedCone();
    const host::Vessel& k = V(cone);
    host::setStep(1.0);
    host::sendKeyEvent(OAPI_KEY_K);  // as at the end of the step before
    const double shown[] = {0.0, 0.25, 0.5, 0.75, 1.0, 1.0};
    for (int n = 0; n < 6; ++n) {
        host::step();
        EXPECT_EQ(k.animations[0]->state, shown[n]) << "after step " << n + 1;
        // The retro motor appears on the step after the one that completed the deployment.
        EXPECT_EQ(group(k, THGROUP_RETRO) != nullptr, n >= 4) << "after step " << n + 1;
    }
    host::sendKeyEvent(OAPI_KEY_K);  // deployed: nothing moves, no second motor
    host::runFor(3.0);
    EXPECT_EQ(k.animations[0]->state, 1.0);
    size_t retroThrusters = 0;
    for (const auto& t : k.thrusters) retroThrusters += t->resource == k.propellants[1].get();
    EXPECT_EQ(retroThrusters, 1u);  // made once
}

TEST_F(DeploymentTest, ALargeStepEndsTheDeploymentAtExactlyFull) {
    OBJHANDLE cone = loadCrewedCone();
    const host::Vessel& k = V(cone);
    host::setStep(7.0);
    host::sendKeyEvent(OAPI_KEY_K);
    host::step();
    host::step();
    EXPECT_EQ(k.animations[0]->state, 1.0);  // exactly full, never beyond
    EXPECT_NE(group(k, THGROUP_RETRO), nullptr);
}

TEST_F(RetroTest, MotorExhaustAndStream) {
    OBJHANDLE cone = loadCrewedCone();
    const host::Vessel& k = V(cone);
    host::pressKey(OAPI_KEY_K);
    host::runFor(5.0);
    const host::ThrusterGroup* g = group(k, THGROUP_RETRO);
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->thrusters.size(), 1u);
    const host::Thruster& t = *g->thrusters[0];

    const host::Exhaust* ex = nullptr;
    for (const host::Exhaust& e : k.exhausts) {
        if (e.thruster == &t) ex = &e;
    }
    ASSERT_NE(ex, nullptr);
    EXPECT_EQ(ex->lscale, 1.0);
    EXPECT_EQ(ex->wscale, 0.1);
    ASSERT_TRUE(ex->hasPosDir);
    EXPECT_EQ(vecText(ex->pos), vecText(_V(0, 0.02, 0.85)));
    EXPECT_EQ(vecText(ex->dir), vecText(_V(0, 0, 1)));
    SURFHANDLE tex = nullptr;
    for (const host::TextureRecord& r : host::records().textures) {
        if (r.kind == host::TextureRecord::EXHAUST && r.name == "exhaust_atrcs") tex = r.handle;
    }
    EXPECT_NE(tex, nullptr);
    EXPECT_EQ(ex->tex, tex);

    const host::ParticleStream* s = nullptr;
    for (const auto& p : k.streams) {
        if (p->kind == host::ParticleStream::EXHAUST && p->thruster == &t) s = p.get();
    }
    ASSERT_NE(s, nullptr);
    ASSERT_TRUE(s->hasPos);
    EXPECT_EQ(vecText(s->pos), vecText(_V(0, 0, 1)));
    ASSERT_TRUE(s->hasSpec);
    EXPECT_EQ(streamText(s->spec), "0 0.25 1000 150 0.3 0.25 16 0 0 3 0 1 1 -0.01 0.1 default");
}

// What the burn does: the whole tank spent changes the cone's velocity against its own +z axis
// (the motor pushes towards -z, through the centre of mass, so the attitude holds) by the rocket
// equation's amount, 2500 m/s × ln(m0 / m1) for 12.5 kg of propellant. Far above the atmosphere
// only gravity acts besides, and a twin flight that never fires takes it out.
TEST_F(RetroTest, TheBurnChangesTheVelocityByTheRocketEquation) {
    struct Flight {
        VECTOR3 velocity, axis;  // the cone's +z axis, global
        double massBefore = 0.0, massAfter = 0.0;
    };
    const auto fly = [](bool fire) {
        host::reset();
        const host::Vessel& k = V(loadCrewedCone());
        host::pressKey(OAPI_KEY_K);
        host::runFor(5.0);
        Flight f;
        f.massBefore = k.iface->GetMass();
        if (fire) k.iface->SetThrusterGroupLevel(THGROUP_RETRO, 1.0);
        host::runFor(20.0);  // 2000 N at 2500 m/s empties the tank in 15.6 s
        f.massAfter = k.iface->GetMass();
        k.iface->GetGlobalVel(f.velocity);
        k.iface->GlobalRot(_V(0, 0, 1), f.axis);
        return f;
    };
    const Flight burn = fly(true);
    const Flight coast = fly(false);

    EXPECT_NEAR(burn.massBefore - burn.massAfter, 12.5, 1e-9);
    EXPECT_EQ(coast.massAfter, coast.massBefore);
    const VECTOR3 dv = burn.velocity - coast.velocity;
    const double expected = 2500.0 * std::log(burn.massBefore / burn.massAfter);
    // The simulator gives the step that empties the tank its full thrust: up to one step's
    // impulse more. Gravity's share of the difference between the flights stays below 0.01 m/s.
    const double lastStep = 2000.0 * host::stepLength() / burn.massAfter;
    EXPECT_GT(length(dv), expected - 0.01) << vecText(dv);
    EXPECT_LT(length(dv), expected + lastStep + 0.01) << vecText(dv);
    EXPECT_LT(dotp(dv / length(dv), burn.axis), -0.9999) << vecText(dv) << vecText(burn.axis);
}

// Once fired, the motor burns at full level on every step until its propellant is gone,
// whatever level anyone sets in between; never fired, it stays cold.
TEST_F(RetroTest, AFiredMotorBurnsAtFullLevelUntilEmpty) {
    for (const char* cls : {"AEROBELL", "AEROBELL2001"}) {
        SCOPED_TRACE(cls);
        host::reset();
        OBJHANDLE cone = loadCrewedCone(cls);
        const host::Vessel& k = V(cone);
        host::pressKey(OAPI_KEY_K);
        host::runFor(5.0);
        ASSERT_NE(group(k, THGROUP_RETRO), nullptr);
        const host::Propellant& tank = *k.propellants[1];
        const double full = tank.maxMass;

        host::runFor(2.0);  // a level of exactly 0 never latches
        EXPECT_EQ(k.iface->GetThrusterGroupLevel(THGROUP_RETRO), 0.0);
        EXPECT_EQ(tank.mass, full);

        k.iface->SetThrusterGroupLevel(THGROUP_RETRO, 1e-9);
        host::step();
        int steps = 0, throttled = 0;
        while (tank.mass > 0.0 && steps < 1000) {
            EXPECT_EQ(k.iface->GetThrusterGroupLevel(THGROUP_RETRO), 1.0) << "step " << steps;
            // Set between steps, a zero level holds for that one step's thrust only.
            if (steps % 7 == 3) {
                k.iface->SetThrusterGroupLevel(THGROUP_RETRO, 0.0);
                ++throttled;
            }
            host::step();
            ++steps;
        }
        EXPECT_EQ(tank.mass, 0.0);
        // 2000 N at 2500 m/s burns 0.8 kg/s at full level: the tank lasts capacity / 0.8 s.
        EXPECT_NEAR((steps - throttled) * host::stepLength(), full / 0.8,
                    host::stepLength() + 1e-9);

        // Empty, the motor gives no more thrust (in vacuum nothing but gravity acts) and the
        // simulator drops its level to 0.
        host::runFor(1.0);
        EXPECT_EQ(k.iface->GetThrusterGroupLevel(THGROUP_RETRO), 0.0);
        EXPECT_EQ(k.readings.gLoad, 0.0);
    }
}

// A released stage that is itself a cone carries its contents on: after its first step they are
// in its meshes and its mass, and it takes on no crew of its own. Each item weighs what the
// vessel it becomes weighs, so no mass appears or vanishes on any release.
TEST_F(DeploymentTest, AReleasedConeStageCarriesItsContentsOn) {
    host::loadScenario("Scenarios/Aerobell/NestedStack.scn");
    OBJHANDLE carrier = host::find("Carrier");
    ASSERT_NE(carrier, nullptr);
    const host::Vessel& c = V(carrier);
    EXPECT_EQ(c.meshes.size(), 7u);
    EXPECT_DOUBLE_EQ(c.emptyMass, 100.0 + 107.25 + 211.8 + 113.5 + 211.8 + 200 + 211.8);
    const auto total = [] {
        double m = 0.0;
        for (const host::Vessel* v : host::vessels()) m += v->mass();
        return m;
    };
    const double before = total();
    // A cone loads each mesh its items show once (oapiLoadMesh gives it a mesh of its own),
    // shares it among them, and deletes it once no item shows it.
    const auto itemMeshesShown = [] {
        std::size_t n = 0;
        for (const host::Vessel* v : host::vessels()) {
            if (v->moduleName != "Aerobell") continue;
            std::set<MESHHANDLE> shown;
            for (std::size_t i = 1; i < v->meshes.size(); ++i) shown.insert(v->meshes[i].handle);
            n += shown.size();
        }
        return n;
    };
    EXPECT_EQ(host::liveMeshCount(), 3u);  // Aerobell, mmu, and DGIII's mesh
    EXPECT_EQ(host::liveMeshCount(), itemMeshesShown());

    const char* released[] = {"Carrier-Suit", "Carrier-Cargo", "Pod-1-Inner", "Pod-1"};
    for (const char* name : released) {
        host::setFocus(carrier);
        EXPECT_EQ(host::sendKeyEvent(OAPI_KEY_J), 1);
        ASSERT_NE(host::find(name), nullptr) << name;
        EXPECT_EQ(host::focus(), host::find(name));
        host::runFor(1.1);
        EXPECT_NEAR(total(), before, 1e-9) << "after releasing " << name;
        EXPECT_EQ(host::liveMeshCount(), itemMeshesShown()) << "after releasing " << name;
    }
    EXPECT_EQ(c.meshes.size(), 1u);
    EXPECT_EQ(c.emptyMass, 100.0);

    struct Stage {
        const char* name;
        const char* item;
        double itemMass;
    };
    for (const Stage& s :
         {Stage{"Pod-1-Inner", "Pod-1-Inner-Suit", 211.8}, Stage{"Pod-1", "Pod-1-Probe", 211.8}}) {
        SCOPED_TRACE(s.name);
        const host::Vessel& v = V(s.name);
        EXPECT_EQ(v.className, "AEROBELL");
        ASSERT_EQ(v.meshes.size(), 2u);
        EXPECT_EQ(v.meshes[1].meshName, "mmu");
        EXPECT_EQ(v.emptyMass, 100.0 + s.itemMass);
        const std::vector<std::string> lines = savedItemLines(host::find(s.name));
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].rfind(std::string("PAYLOAD ") + s.item + " mmu nasa_mmu ", 0), 0u)
            << lines[0];
    }
    EXPECT_EQ(host::find("Pod-1-Suit"), nullptr);
    EXPECT_EQ(host::find("Pod-1-Inner-Suit"), nullptr);
    // The probe rode 0.3 m above its stage; the stage carries it there.
    EXPECT_EQ(vecText(V("Pod-1").meshes[1].offset), vecText(_V(0, 0.3, 0)));

    // The simulator stops when the last vessel goes: the astronaut keeps the focus and stays.
    host::setFocus(host::find("Carrier-Suit"));
    const std::vector<host::Vessel*> all = host::vessels();
    for (host::Vessel* v : all)
        if (v->moduleName == "Aerobell") host::deleteVessel(v);
    EXPECT_EQ(host::liveMeshCount(), 0u) << "ovcExit leaves no mesh behind";
}

}  // namespace
}  // namespace conetest
