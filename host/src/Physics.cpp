// The physics of one step, as simple as the host's world is: thrust and propellant as the
// simulator computes them, straight flight without gravity or drag, and children carried along
// on their parents' points.
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

// The thrust of the step in the vessel's frame, its propellant drawn. A thruster whose resource
// is missing or empty is shut off.
VECTOR3 thrust(VesselRecord& v, double dt) {
    VECTOR3 force{};
    bool mayFire = false;
    for (auto& tp : v.thrusters) {
        Thruster& t = *tp;
        t.level = std::max(0.0, std::min(1.0, t.levelPermanent));
        if (t.level != 0.0) {
            Propellant* p = t.resource;
            if (p && p->mass != 0.0) {
                const double f = t.maxThrust * t.level;
                p->mass -= f / (p->efficiency * t.isp0) * dt;
                if (p->mass < 0.0) p->mass = 0.0;
                force += unit(t.dir) * f;
            } else {
                t.level = t.levelPermanent = 0.0;
            }
        }
        if (t.levelPermanent > 0.0) mayFire = true;
    }
    v.thrustMayFire = mayFire;
    return force;
}

void carryChildren(VesselRecord& v) {
    for (auto& a : v.attachments)
        if (!a->toParent && a->attached && a->attached->parentPoint == a.get())
            placeChild(*static_cast<VesselRecord*>(a->attached));
}

}  // namespace

void physics(double dt) {
    World& w = world();
    for (Vessel* p : w.vessels) {
        VesselRecord& v = *static_cast<VesselRecord*>(p);
        VECTOR3 force{};
        double mass = 0.0;
        if (v.thrustMayFire) {
            mass = v.mass();  // the acceleration takes the mass from before the burn
            force = thrust(v, dt);
        }
        // A vessel on a parent goes where the parent takes it.
        if (v.ownPoint) continue;
        const bool pushed = force.x != 0.0 || force.y != 0.0 || force.z != 0.0;
        if (v.status == 1) {
            // Landed, it stays until an engine lifts it off; then it flies from the next step.
            if (pushed) v.status = 0;
            carryChildren(v);
            continue;
        }
        if (pushed && mass > 0.0) v.vel += mul(v.rot, force) * (dt / mass);
        v.pos += v.vel * dt;
        carryChildren(v);
    }
}

}  // namespace detail
}  // namespace host
