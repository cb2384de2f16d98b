#include "Readings.h"

#include <cmath>

namespace runner {

double propellantKg(const host::Vessel& v) {
    double m = 0.0;
    for (const auto& p : v.propellants) m += p->mass;
    return m;
}

const host::ThrusterGroup* findGroup(const host::Vessel& v, THGROUP_TYPE type) {
    // The simulator holds every standard group from the start; one without thrusters is none.
    for (const auto& g : v.groups)
        if (g->type == type && !g->thrusters.empty()) return g.get();
    return nullptr;
}

const host::Propellant* retroPropellant(const host::Vessel& v) {
    if (const host::ThrusterGroup* g = findGroup(v, THGROUP_RETRO))
        for (const host::Thruster* t : g->thrusters)
            if (t->resource) return t->resource;
    return v.defaultPropellant;
}

double retroLevel(const host::Vessel& v) {
    const host::ThrusterGroup* g = findGroup(v, THGROUP_RETRO);
    return g ? g->level() : 0.0;
}

std::optional<double> deployState(const host::Vessel& v) {
    if (v.animations.empty()) return std::nullopt;
    return v.animations.front()->state;
}

double speedMps(const host::Vessel& v) {
    return std::sqrt(v.vel.x * v.vel.x + v.vel.y * v.vel.y + v.vel.z * v.vel.z);
}

const host::Vessel* parentOf(const host::Vessel& v) {
    return v.parentPoint ? v.parentPoint->owner : nullptr;
}

}  // namespace runner
