#include "Readings.h"

#include <algorithm>
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

std::optional<double> reentryLevel(const host::Vessel& v) {
    for (const auto& st : v.streams) {
        if (st->kind != host::ParticleStream::REENTRY) continue;
        if (!st->hasSpec) return 0.0;
        const PARTICLESTREAMSPEC& s = st->spec;
        const double vel = v.readings.airspeed;
        const double p = 0.5 * std::pow(v.readings.density, 0.6) * vel * vel * vel;
        double level;
        switch (s.atmsmap) {
            case PARTICLESTREAMSPEC::ATM_FLAT:
                return s.amin;
            case PARTICLESTREAMSPEC::ATM_PLIN:
                level = (p - s.amin) / (s.amax - s.amin);
                break;
            default:
                level = p > 0.0 ? std::log(p / s.amin) / std::log(s.amax / s.amin) : 0.0;
                break;
        }
        if (!(level > 0.0)) return 0.0;  // NaN from a degenerate map included
        return std::min(level, 1.0);
    }
    return std::nullopt;
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
    const host::Vessel::Readings& r = v.readings;
    s.altitudeM = r.altitude;
    s.airspeedMps = r.airspeed;
    s.dynPressurePa = r.dynPressure;
    s.mach = r.mach;
    s.gLoad = r.gLoad;
    s.reentryLevel = reentryLevel(v);
    s.landed = v.status == 1;
    s.longitudeDeg = r.longitude * DEG;
    s.latitudeDeg = r.latitude * DEG;
    return s;
}

const host::Vessel* parentOf(const host::Vessel& v) {
    return v.parentPoint ? v.parentPoint->owner : nullptr;
}

}  // namespace runner
