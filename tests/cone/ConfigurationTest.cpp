// What building and configuring a cone asks of the host.
#include "ConeTestSupport.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace conetest {
namespace {

const auto* const kRoot = ::testing::AddGlobalTestEnvironment(new RootEnvironment);

using ConstructionTest = ConeTest;
using ConfigurationTest = ConeTest;

bool meshLoaded(const std::string& name, bool global) {
    for (const host::MeshLoadRecord& r : host::records().meshLoads) {
        if (r.name == name && r.global == global && r.handle != nullptr) return true;
    }
    return false;
}

SURFHANDLE texture(host::TextureRecord::Kind kind, const std::string& name) {
    for (const host::TextureRecord& t : host::records().textures) {
        if (t.kind == kind && t.name == name) return t.handle;
    }
    return nullptr;
}

TEST_F(ConstructionTest, ConeOwnsItsMeshesTanksAndSeat) {
    OBJHANDLE h = makeVessel("C1", "AEROBELL");
    ASSERT_NE(h, nullptr);
    const host::Vessel& v = V(h);

    EXPECT_TRUE(meshLoaded("Aerobell", true));
    EXPECT_TRUE(meshLoaded("mmu", true));
    EXPECT_NE(texture(host::TextureRecord::EXHAUST, "exhaust_atrcs"), nullptr);

    ASSERT_EQ(v.propellants.size(), 2u);
    EXPECT_EQ(v.propellants[0]->maxMass, 1.0);
    EXPECT_EQ(v.propellants[0]->mass, 1.0);
    EXPECT_EQ(v.propellants[1]->maxMass, 12.5);
    EXPECT_EQ(v.propellants[1]->mass, 12.5);

    ASSERT_EQ(v.attachments.size(), 1u);
    const host::Attachment& seat = *v.attachments[0];
    EXPECT_FALSE(seat.toParent);
    EXPECT_EQ(seat.id, "SEAT");
    EXPECT_EQ(vecText(seat.pos), vecText(_V(0, 0, 0)));
    EXPECT_EQ(vecText(seat.dir), vecText(_V(0, -1, 0)));
    EXPECT_EQ(vecText(seat.rot), vecText(_V(0, 0, 1)));
    EXPECT_FALSE(seat.loose);
    EXPECT_EQ(v.flightModelGiven, 1);
}

// The larger tank comes with the class (matched as the crew set-up matches it), so a cone read
// back from a scenario has it although its crew set-up never runs again.
TEST_F(ConstructionTest, TheRetroTankFollowsTheClassKey) {
    struct Case {
        const char* cls;
        double retro;
    };
    const Case cases[] = {
        {"AEROBELL2001", 18.0}, {"aerobell2001", 18.0},  // the host finds the class file without
                                                         // regard to case
        {"AEROBELL", 12.5},     {"AEROBELLGEM", 12.5},  {"AEROBELLDG3", 12.5},
    };
    int n = 0;
    for (const Case& c : cases) {
        OBJHANDLE h = makeVessel("T" + std::to_string(n++), c.cls);
        ASSERT_NE(h, nullptr) << c.cls;
        ASSERT_EQ(V(h).propellants.size(), 2u) << c.cls;
        EXPECT_EQ(V(h).propellants[1]->maxMass, c.retro) << c.cls;
        EXPECT_EQ(V(h).propellants[1]->mass, c.retro) << c.cls;
    }
}

TEST_F(ConfigurationTest, BareConeBodyAndEffects) {
    const host::Vessel& v = V(makeVessel("C1", "AEROBELL"));
    EXPECT_EQ(v.emptyMass, 100.0);
    EXPECT_EQ(v.size, 8.0);
    EXPECT_EQ(vecText(v.cameraOffset), vecText(_V(0, 0.5, -0.4)));
    EXPECT_EQ(vecText(v.pmi), vecText(_V(2.28, 2.15, 4.09)));
    EXPECT_EQ(vecText(v.crossSections), vecText(_V(5.3, 5.3, 42.15)));
    EXPECT_EQ(vecText(_V(v.cw[0], v.cw[1], v.cw[2])), vecText(_V(0.7, 0.7, 0.9)));
    EXPECT_EQ(v.cw[3], 0.9);
    EXPECT_EQ(vecText(v.rotDrag), vecText(_V(0.5, 0.5, 0.3)));
    EXPECT_EQ(v.pitchMomentScale, -0.0001);
    EXPECT_EQ(v.bankMomentScale, -0.0001);
    EXPECT_EQ(vecText(v.touchdown[0]) + vecText(v.touchdown[1]) + vecText(v.touchdown[2]),
              vecText(_V(0, 17, -1)) + vecText(_V(10, 10, -1)) + vecText(_V(-10, -10, -1)));
    ASSERT_EQ(v.propellants.size(), 2u);
    EXPECT_EQ(v.defaultPropellant, v.propellants[1].get());
    ASSERT_FALSE(v.meshes.empty());
    EXPECT_EQ(v.meshes[0].meshName, "Aerobell");
    EXPECT_EQ(v.meshes[0].visibility, 3);
    // The retro motor waits for the deployment.
    EXPECT_EQ(group(v, THGROUP_RETRO), nullptr);

    EXPECT_TRUE(v.reentry.set);
    EXPECT_NE(v.reentry.tex, nullptr);
    EXPECT_EQ(v.reentry.tex, texture(host::TextureRecord::REENTRY, "reentry"));
    EXPECT_EQ(vecText(_V(v.reentry.plimit, v.reentry.lscale, v.reentry.wscale)),
              vecText(_V(600000, 1, 1)));
    EXPECT_NE(texture(host::TextureRecord::PARTICLE, "Contrail2"), nullptr);
    const host::ParticleStream* s = nullptr;
    for (const auto& p : v.streams) {
        if (p->kind == host::ParticleStream::REENTRY) s = p.get();
    }
    ASSERT_NE(s, nullptr);
    ASSERT_TRUE(s->hasSpec);
    EXPECT_EQ(streamText(s->spec), "0 20 20 0 0.03 0.5 100 3 1 0 1 1 1 6e+07 1.2e+08 default");
}

// The attitude thrusters are checked by what they do: each rotation group turns the cone about
// one axis without pushing it, each translation group pushes it along one axis without
// turning it. A thruster with a wrong direction or in the wrong group breaks one of these.
TEST_F(ConfigurationTest, AttitudeGroupsTurnAndPushAboutTheirOwnAxes) {
    const host::Vessel& v = V(makeVessel("C1", "AEROBELL"));
    ASSERT_EQ(v.thrusters.size(), 22u);
    ASSERT_EQ(v.propellants.size(), 2u);
    for (const auto& t : v.thrusters) {
        EXPECT_EQ(t->resource, v.propellants[0].get());  // never the retro tank
        EXPECT_EQ(t->maxThrust, 5.0);
        EXPECT_EQ(t->isp0, 40000.0);
        EXPECT_EQ(t->ispRef, 400000.0);
        EXPECT_EQ(t->pRef, 101400.0);
    }

    struct Expect {
        THGROUP_TYPE type;
        size_t members;
        VECTOR3 force;   // net force per unit thrust
        VECTOR3 torque;  // sum of position x direction
    };
    const Expect expected[] = {
        {THGROUP_ATT_PITCHUP, 2, _V(0, 0, 0), _V(-31, 0, 0)},
        {THGROUP_ATT_PITCHDOWN, 2, _V(0, 0, 0), _V(31, 0, 0)},
        {THGROUP_ATT_YAWLEFT, 2, _V(0, 0, 0), _V(0, -31, 0)},
        {THGROUP_ATT_YAWRIGHT, 2, _V(0, 0, 0), _V(0, 31, 0)},
        {THGROUP_ATT_BANKLEFT, 2, _V(0, 0, 0), _V(0, 0, 5.4)},
        {THGROUP_ATT_BANKRIGHT, 2, _V(0, 0, 0), _V(0, 0, -5.4)},
        {THGROUP_ATT_UP, 2, _V(0, 2, 0), _V(0, 0, 0)},
        {THGROUP_ATT_DOWN, 2, _V(0, -2, 0), _V(0, 0, 0)},
        {THGROUP_ATT_RIGHT, 2, _V(2, 0, 0), _V(0, 0, 0)},
        {THGROUP_ATT_LEFT, 2, _V(-2, 0, 0), _V(0, 0, 0)},
        {THGROUP_ATT_FORWARD, 1, _V(0, 0, 1), _V(0, 0, 0)},
        {THGROUP_ATT_BACK, 1, _V(0, 0, -1), _V(0, 0, 0)},
    };
    // Six opposed pairs: every group type of the attitude control, nothing else.
    EXPECT_EQ(v.groups.size(), 12u);
    std::vector<const host::Thruster*> used;
    for (const Expect& e : expected) {
        const host::ThrusterGroup* g = group(v, e.type);
        ASSERT_NE(g, nullptr) << e.type;
        ASSERT_EQ(g->thrusters.size(), e.members) << e.type;
        VECTOR3 force = _V(0, 0, 0), torque = _V(0, 0, 0);
        for (const host::Thruster* t : g->thrusters) {
            force += t->dir;
            torque += crossp(t->pos, t->dir);
            used.push_back(t);
        }
        EXPECT_LT(dist(force, e.force), 1e-12) << e.type << " force " << vecText(force);
        EXPECT_LT(dist(torque, e.torque), 1e-12) << e.type << " torque " << vecText(torque);
    }
    std::sort(used.begin(), used.end());
    EXPECT_EQ(std::unique(used.begin(), used.end()), used.end()) << "a thruster in two groups";
    EXPECT_EQ(used.size(), 22u);
}

std::string componentText(const host::AnimationComponent& c) {
    char b[320];
    const MGROUP_TRANSFORM* t = c.transform;
    std::string s = std::to_string(c.state0) + ".." + std::to_string(c.state1) +
                    (c.parent ? " child" : " top") + " mesh " + std::to_string(t->mesh) + " groups";
    for (UINT i = 0; i < t->ngrp; ++i) s += " " + std::to_string(t->grp[i]);
    if (t->Type() == MGROUP_TRANSFORM::ROTATE) {
        const auto* r = static_cast<const MGROUP_ROTATE*>(t);
        std::snprintf(b, sizeof b, " rotate about %s%s by %.9g", vecText(r->ref).c_str(),
                      vecText(r->axis).c_str(), static_cast<double>(r->angle));
    } else if (t->Type() == MGROUP_TRANSFORM::SCALE) {
        const auto* sc = static_cast<const MGROUP_SCALE*>(t);
        std::snprintf(b, sizeof b, " scale about %s by %s", vecText(sc->ref).c_str(),
                      vecText(sc->scale).c_str());
    } else {
        std::snprintf(b, sizeof b, " other");
    }
    return s + b;
}

TEST_F(ConfigurationTest, DeploymentAnimation) {
    const host::Vessel& v = V(makeVessel("C1", "AEROBELL"));
    ASSERT_EQ(v.animations.size(), 1u);
    const host::Animation& a = *v.animations[0];
    EXPECT_EQ(a.initialState, 1.0);  // the mesh as loaded shows the deployed cone
    EXPECT_EQ(a.state, 0.0);
    ASSERT_EQ(a.components.size(), 2u);
    char angle[32];
    std::snprintf(angle, sizeof angle, "%.9g",
                  static_cast<double>(static_cast<float>(68 * PI / 180)));
    EXPECT_EQ(componentText(*a.components[0]),
              "0.050000..0.900000 top mesh 0 groups 0 1 rotate about " + vecText(_V(0, 0, -0.45)) +
                  vecText(_V(1, 0, 0)) + " by " + angle);
    EXPECT_EQ(componentText(*a.components[1]),
              "0.700000..0.750000 top mesh 0 groups 2 3 scale about " + vecText(_V(0, 0, 0)) +
                  " by " + vecText(_V(1000, 1000, 10)));
    // The bundled cone mesh has the four groups the animation moves and, as loaded, shows the
    // deployed cone: the scaled skirt spans the class's 8 m, so state 0 shrinks it to millimetres.
    const auto* mesh = static_cast<const host::Mesh*>(oapiLoadMeshGlobal("Aerobell"));
    ASSERT_NE(mesh, nullptr);
    ASSERT_GE(mesh->groups, 4);
    for (int g : {2, 3}) {
        double lo = 0.0, hi = 0.0;
        for (const VECTOR3& p : mesh->vertices[g]) {
            lo = std::min(lo, p.x);
            hi = std::max(hi, p.x);
        }
        EXPECT_NEAR(hi - lo, 8.0, 0.5) << "group " << g;
    }
}

// A cone read from a scenario is configured twice and a second cone configures its own
// animation: still one animation each, built from the very same two components.
TEST_F(ConfigurationTest, AnimationComponentsAreMadeOncePerProcess) {
    host::loadScenario(writeScenario(
        "two-cones",
        ship("A", "AEROBELL", {"PAYLOAD A-Suit mmu nasa_mmu 0.00 -0.40 0.20 212.00 0.00 1.00"}) +
            ship("B", "AEROBELLGEM"),
        "A"));
    OBJHANDLE c = makeVessel("C", "AEROBELL2001");
    ASSERT_NE(c, nullptr);
    const host::Vessel& a = V("A");
    const host::Vessel& b = V("B");
    ASSERT_EQ(a.animations.size(), 1u);
    ASSERT_EQ(b.animations.size(), 1u);
    ASSERT_EQ(V(c).animations.size(), 1u);
    for (const host::Vessel* v : {&a, &b, &V(c)}) {
        ASSERT_EQ(v->animations[0]->components.size(), 2u) << v->name;
        EXPECT_EQ(v->animations[0]->components[0]->transform,
                  a.animations[0]->components[0]->transform);
        EXPECT_EQ(v->animations[0]->components[1]->transform,
                  a.animations[0]->components[1]->transform);
    }
    // The visuals reset and rebuild the meshes as the configuration left them (the cone's own
    // mesh seen from the cockpit too, the item at its offset) and touch nothing else.
    for (bool created : {true, false}) {
        if (created) {
            host::visualCreated(host::find("A"));
        } else {
            host::visualDestroyed(host::find("A"));
        }
        EXPECT_EQ(a.animations.size(), 1u);
        ASSERT_EQ(a.meshes.size(), 2u);
        EXPECT_EQ(a.meshes[0].meshName, "Aerobell");
        EXPECT_EQ(a.meshes[0].visibility, 3);
        EXPECT_EQ(vecText(a.meshes[1].offset), vecText(_V(0, -0.4, 0.2)));
        EXPECT_EQ(a.meshes[1].visibility, 1);
    }
}

}  // namespace
}  // namespace conetest
