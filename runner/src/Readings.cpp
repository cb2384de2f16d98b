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

const host::Propellant* retroPropellant(const host::Vessel& v, const host::ThrusterGroup* retro) {
    if (retro)
        for (const host::Thruster* t : retro->thrusters)
            if (t->resource) return t->resource;
    return v.defaultPropellant;
}

double speedMps(const host::Vessel& v) {
    return std::sqrt(v.vel.x * v.vel.x + v.vel.y * v.vel.y + v.vel.z * v.vel.z);
}

Sample sampleOf(const host::Vessel& v, const host::ThrusterGroup* retro) {
    Sample s;
    s.massKg = v.mass();
    s.emptyMassKg = v.emptyMass;
    s.propellantKg = propellantKg(v);
    const host::Propellant* tank = retroPropellant(v, retro);
    if (tank && (!v.moduleName.empty() || retro)) s.retroPropellantKg = tank->mass;
    if (!v.animations.empty()) s.deployState = v.animations.front()->state;
    if (retro) s.retroLevel = retro->level();
    s.speedMps = speedMps(v);
    return s;
}

const host::Vessel* parentOf(const host::Vessel& v) {
    return v.parentPoint ? v.parentPoint->owner : nullptr;
}

}  // namespace runner
