// The physics of one step: thrust and propellant as the simulator computes them, each free
// vessel's flight (Dynamics.cpp), docked vessels' bodies (Docking.cpp), and children carried
// along on their parents' points.
#include "World.h"

#include <algorithm>

namespace host {
namespace detail {

ThrusterGroup* groupOf(VesselRecord& v, THGROUP_TYPE type, bool make) {
    for (auto& g : v.groups)
        if (g->type == type) return g.get();
    if (!make) return nullptr;
    auto g = std::make_unique<ThrusterGroup>();
    g->type = type;
    v.groups.push_back(std::move(g));
    return v.groups.back().get();
}

void setThrusterLevel(Thruster& t, double level) {
    const double change = level - t.levelPermanent;
    t.levelPermanent = level;
    if (t.resource && t.resource->mass != 0.0)
        t.level = std::max(0.0, std::min(1.0, t.level + change));
    // The next thrust pass settles the level whatever it is.
    if (t.owner) static_cast<VesselRecord*>(t.owner)->thrustMayFire = true;
}

namespace {

// A thruster's force at a level (its own frame), scaled down by ambient pressure where it has a
// reference Isp.
VECTOR3 thrustForce(const VesselRecord& v, const Thruster& t, double level) {
    double f = t.maxThrust * level;
    if (t.ispRef > 0.0 && t.pRef > 0.0 && t.isp0 != 0.0)
        f *= std::max(0.0, 1.0 - v.readings.pressure * (t.isp0 - t.ispRef) / (t.pRef * t.isp0));
    return unit(t.dir) * f;
}

// The thrust of the step, its propellant drawn: force and torque into the vessel's body forces
// (its own frame), the force scaled down by ambient pressure where the thruster has a reference
// Isp. A thruster whose resource is missing or empty is shut off.
void thrust(VesselRecord& v, double dt) {
    DynamicState& d = v.dyn;
    bool mayFire = false;
    for (auto& tp : v.thrusters) {
        Thruster& t = *tp;
        t.level = std::max(0.0, std::min(1.0, t.levelPermanent));
        if (t.level != 0.0) {
            Propellant* p = t.resource;
            if (p && p->mass != 0.0) {
                p->mass -= t.maxThrust * t.level / (p->efficiency * t.isp0) * dt;
                if (p->mass < 0.0) p->mass = 0.0;
                const VECTOR3 F = thrustForce(v, t, t.level);
                d.flin += F;
                d.amom += crossp(F, t.pos);
                d.thrustEngaged = true;
            } else {
                t.level = t.levelPermanent = 0.0;
            }
        }
        if (t.levelPermanent > 0.0) mayFire = true;
    }
    v.thrustMayFire = mayFire;
}

}  // namespace

void keepStartingThrust() {
    for (Vessel* p : world().vessels) {
        VesselRecord& v = *static_cast<VesselRecord*>(p);
        DynamicState& d = v.dyn;
        d.thrustF0 = d.thrustM0 = VECTOR3{};
        d.startKnown = true;
        if (!v.thrustMayFire) continue;
        // As the thrust pass would find it, nothing drawn.
        for (const auto& tp : v.thrusters) {
            const Thruster& t = *tp;
            const double level = std::max(0.0, std::min(1.0, t.levelPermanent));
            if (level == 0.0 || !t.resource || t.resource->mass == 0.0) continue;
            const VECTOR3 F = thrustForce(v, t, level);
            d.thrustF0 += F;
            d.thrustM0 += crossp(F, t.pos);
        }
    }
}

void physics(double dt) {
    World& w = world();
    // The states of the step's start stay what the interface shows until the update is over.
    for (Vessel* p : w.vessels) keepStepStart(*static_cast<VesselRecord*>(p));
    w.stateUpdate = true;
    for (Vessel* p : w.vessels) {
        VesselRecord& v = *static_cast<VesselRecord*>(p);
        DynamicState& d = v.dyn;
        // The flight takes the mass from before the burn, as the simulator updates it after.
        const double mass = v.mass();
        d.flin = d.amom = VECTOR3{};
        d.thrustEngaged = false;
        if (v.thrustMayFire) thrust(v, dt);
        d.thrustF = d.flin;
        d.thrustM = d.amom;
        v.stepMass = mass;
        // A vessel on a parent goes where the parent takes it.
        if (v.ownPoint) continue;
        if (v.composite) {
            // Docked: its forces move the body it is part of, flown once all are known.
            bodyForces(v, dt, mass);
            continue;
        }
        flyVessel(v, dt, mass);
        carryChildren(v);
    }
    if (!w.composites.empty()) flyComposites(dt);
    scanDocking();
}

}  // namespace detail
}  // namespace host
