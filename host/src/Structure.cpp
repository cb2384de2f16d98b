// A vessel's structure beyond its mass and thrusters: collision vertices, docking ports, the
// readers of its physical set-up, and the Clear... calls that take a class's definitions away
// again. Docking itself (the joined flight) is in Docking.cpp.
#include "World.h"

#include <algorithm>
#include <cmath>

using host::DockPort;
using host::detail::VesselRecord;
using host::detail::R;
using host::detail::rec;
using host::detail::stopHere;
using host::detail::world;

namespace {

DockPort* needDock(DOCKHANDLE h, const char* function) {
    if (!h) stopHere("", 0, std::string(function) + " was given a null dock handle");
    return static_cast<DockPort*>(h);
}

// The elevation of the centre of mass over the plane of the first three touchdown points, as
// the simulator derives it when they are set; unchanged where they lie on one line.
void deriveCogElev(VesselRecord& v) {
    const VECTOR3* tp = v.touchdown;
    const VECTOR3 n = crossp(tp[0] - (tp[1] + tp[2]) * 0.5, tp[2] - tp[1]);
    const double len = length(n);
    if (!(len > 1e-12)) return;
    v.cogElev = std::fabs(dotp(n / len, tp[0]));
}

}  // namespace

// Collision vertices ---------------------------------------------------------------------------

void VESSEL::SetTouchdownPoints(const VECTOR3& a, const VECTOR3& b, const VECTOR3& c) const {
    VesselRecord& v = R(vessel);
    host::detail::setTouchdownPoints(v, a, b, c);
    for (int i = 0; i < 3; ++i) {
        v.dyn.mu[i] = v.surfaceMu;
        v.dyn.muLng[i] = v.surfaceMuLng;
    }
    v.hullVertices.clear();
    deriveCogElev(v);
}
void VESSEL::SetTouchdownPoints(const TOUCHDOWNVTX* tdvtx, DWORD ntdvtx) const {
    if (!tdvtx || ntdvtx < 3) {
        // The simulator reads three points whatever it was given.
        stopHere("", 0,
                 "SetTouchdownPoints was given " + std::to_string(ntdvtx) +
                     " points (at least 3 must be provided)");
        return;
    }
    VesselRecord& v = R(vessel);
    for (int i = 0; i < 3; ++i) {
        v.touchdown[i] = tdvtx[i].pos;
        v.dyn.stiffness[i] = tdvtx[i].stiffness;
        v.dyn.damping[i] = tdvtx[i].damping;
        v.dyn.mu[i] = tdvtx[i].mu;
        v.dyn.muLng[i] = tdvtx[i].mu_lng;
    }
    v.hullVertices.assign(tdvtx + 3, tdvtx + ntdvtx);
    deriveCogElev(v);
}
void VESSEL::GetTouchdownPoints(VECTOR3& pt1, VECTOR3& pt2, VECTOR3& pt3) const {
    const VesselRecord& v = R(vessel);
    pt1 = v.touchdown[0];
    pt2 = v.touchdown[1];
    pt3 = v.touchdown[2];
}
bool VESSEL::GetTouchdownPoint(TOUCHDOWNVTX& tdvtx, DWORD idx) const {
    const VesselRecord& v = R(vessel);
    if (idx < 3) {
        tdvtx.pos = v.touchdown[idx];
        tdvtx.stiffness = v.dyn.stiffness[idx];
        tdvtx.damping = v.dyn.damping[idx];
        tdvtx.mu = v.dyn.mu[idx];
        tdvtx.mu_lng = v.dyn.muLng[idx];
        return true;
    }
    if (idx - 3 < v.hullVertices.size()) {
        tdvtx = v.hullVertices[idx - 3];
        return true;
    }
    return false;
}
DWORD VESSEL::GetTouchdownPointCount() const {
    return static_cast<DWORD>(3 + R(vessel).hullVertices.size());
}
void VESSEL::SetSurfaceFrictionCoeff(double mu_lng, double mu_lat) const {
    VesselRecord& v = R(vessel);
    v.surfaceMu = mu_lat;
    v.surfaceMuLng = mu_lng;
    for (int i = 0; i < 3; ++i) {
        v.dyn.mu[i] = mu_lat;
        v.dyn.muLng[i] = mu_lng;
    }
    for (TOUCHDOWNVTX& h : v.hullVertices) {
        h.mu = mu_lat;
        h.mu_lng = mu_lng;
    }
}
double VESSEL::GetCOG_elev() const { return R(vessel).cogElev; }
void VESSEL::SetCOG_elev(double h) const { R(vessel).cogElev = h; }

// Readers of the physical set-up --------------------------------------------------------------

void VESSEL::GetPMI(VECTOR3& pmi) const { pmi = R(vessel).pmi; }
void VESSEL::GetCrossSections(VECTOR3& cs) const { cs = R(vessel).crossSections; }
void VESSEL::GetCW(double& zp, double& zn, double& x, double& y) const {
    const VesselRecord& v = R(vessel);
    zp = v.cw[0];
    zn = v.cw[1];
    x = v.cw[2];
    y = v.cw[3];
}
void VESSEL::GetRotDrag(VECTOR3& rd) const { rd = R(vessel).rotDrag; }
double VESSEL::GetPitchMomentScale() const { return R(vessel).pitchMomentScale; }
// The simulator keeps one scale for yaw and bank: these two read and set the same.
double VESSEL::GetYawMomentScale() const { return R(vessel).bankMomentScale; }
void VESSEL::SetYawMomentScale(double scale) const { R(vessel).bankMomentScale = scale; }
double VESSEL::GetBankMomentScale() const {
    host::detail::logObsolete("VESSEL::GetBankMomentScale");
    return R(vessel).bankMomentScale;
}

// Docking ports --------------------------------------------------------------------------------

DOCKHANDLE VESSEL::CreateDock(const VECTOR3& pos, const VECTOR3& dir, const VECTOR3& rot) const {
    VesselRecord& v = R(vessel);
    auto d = std::make_unique<DockPort>();
    d->owner = &v;
    d->pos = pos;
    d->dir = dir;
    d->rot = rot;
    v.docks.push_back(std::move(d));
    return v.docks.back().get();
}
bool VESSEL::DelDock(DOCKHANDLE hDock) const {
    VesselRecord& v = R(vessel);
    auto it = std::find_if(v.docks.begin(), v.docks.end(),
                           [&](const std::unique_ptr<DockPort>& d) { return d.get() == hDock; });
    if (it == v.docks.end()) return false;
    // A docked port lets its mate go first, without a push.
    if ((*it)->mate) host::detail::undock(v, static_cast<UINT>(it - v.docks.begin()), nullptr, 0.0);
    it = std::find_if(v.docks.begin(), v.docks.end(),
                      [&](const std::unique_ptr<DockPort>& d) { return d.get() == hDock; });
    if (it == v.docks.end()) return false;
    v.retiredDocks.push_back(std::move(*it));
    v.docks.erase(it);
    return true;
}
void VESSEL::ClearDockDefinitions() const {
    VesselRecord& v = R(vessel);
    for (size_t i = 0; i < v.docks.size(); ++i)
        if (v.docks[i]->mate) host::detail::undock(v, static_cast<UINT>(i), nullptr, 0.0);
    for (auto& d : v.docks) v.retiredDocks.push_back(std::move(d));
    v.docks.clear();
}
void VESSEL::SetDockParams(const VECTOR3& pos, const VECTOR3& dir, const VECTOR3& rot) const {
    VesselRecord& v = R(vessel);
    if (v.docks.empty()) {
        CreateDock(pos, dir, rot);
        return;
    }
    SetDockParams(v.docks.front().get(), pos, dir, rot);
}
void VESSEL::SetDockParams(DOCKHANDLE hDock, const VECTOR3& pos, const VECTOR3& dir,
                           const VECTOR3& rot) const {
    DockPort* d = needDock(hDock, "SetDockParams");
    if (!d) return;
    d->pos = pos;
    d->dir = dir;
    d->rot = rot;
}
void VESSEL::GetDockParams(DOCKHANDLE hDock, VECTOR3& pos, VECTOR3& dir, VECTOR3& rot) const {
    const DockPort* d = needDock(hDock, "GetDockParams");
    if (!d) return;
    pos = d->pos;
    dir = d->dir;
    rot = d->rot;
}
UINT VESSEL::DockCount() const { return static_cast<UINT>(R(vessel).docks.size()); }
DOCKHANDLE VESSEL::GetDockHandle(UINT n) const {
    const VesselRecord& v = R(vessel);
    return n < v.docks.size() ? v.docks[n].get() : nullptr;
}
OBJHANDLE VESSEL::GetDockStatus(DOCKHANDLE hDock) const {
    const DockPort* d = needDock(hDock, "GetDockStatus");
    return d ? d->mate : nullptr;
}
UINT VESSEL::DockingStatus(UINT port) const {
    const VesselRecord& v = R(vessel);
    return port < v.docks.size() && v.docks[port]->mate ? 1 : 0;
}
int VESSEL::Dock(OBJHANDLE target, UINT n, UINT tgtn, UINT mode) const {
    VesselRecord& v = R(vessel);
    if (!target) {
        stopHere("", 0, "VESSEL::Dock was given a null target");
        return 0;
    }
    VesselRecord& t = *rec(target);
    if (n >= v.docks.size() || tgtn >= t.docks.size()) {
        stopHere("", 0,
                 "VESSEL::Dock was given port " + std::to_string(n >= v.docks.size() ? n : tgtn) +
                     " of '" + (n >= v.docks.size() ? v.name : t.name) + "', which has " +
                     std::to_string(n >= v.docks.size() ? v.docks.size() : t.docks.size()));
        return 0;
    }
    return host::detail::dockTo(v, n, t, tgtn, mode);
}
bool VESSEL::Undock(UINT n, const OBJHANDLE exclude) const {
    return host::detail::undock(R(vessel), n, rec(exclude), 0.2);
}

DOCKHANDLE oapiGetDockHandle(OBJHANDLE hVessel, UINT n) {
    if (!hVessel) {
        stopHere("", 0, "oapiGetDockHandle was given a null vessel handle");
        return nullptr;
    }
    const VesselRecord& v = *rec(hVessel);
    return n < v.docks.size() ? v.docks[n].get() : nullptr;
}
OBJHANDLE oapiGetDockStatus(DOCKHANDLE dock) {
    const DockPort* d = needDock(dock, "oapiGetDockStatus");
    return d ? d->mate : nullptr;
}
OBJHANDLE oapiGetDockOwner(DOCKHANDLE dock) {
    const DockPort* d = needDock(dock, "oapiGetDockOwner");
    return d ? d->owner : nullptr;
}

// Clearing definitions -------------------------------------------------------------------------

void VESSEL::ClearPropellantResources() const {
    VesselRecord& v = R(vessel);
    for (auto& t : v.thrusters) t->resource = nullptr;
    for (auto& p : v.propellants) world().retiredPropellants.push_back(std::move(p));
    v.propellants.clear();
    v.defaultPropellant = nullptr;
}
void VESSEL::ClearThrusterDefinitions() const {
    VesselRecord& v = R(vessel);
    auto& w = world();
    v.exhausts.clear();
    auto& streams = v.streams;
    for (auto it = streams.begin(); it != streams.end();) {
        if ((*it)->kind == host::ParticleStream::EXHAUST) {
            w.retiredStreams.push_back(std::move(*it));
            it = streams.erase(it);
        } else {
            ++it;
        }
    }
    // The standard groups stay, empty; user groups go.
    for (auto it = v.groups.begin(); it != v.groups.end();) {
        (*it)->thrusters.clear();
        if ((*it)->type >= THGROUP_USER) {
            w.retiredGroups.push_back(std::move(*it));
            it = v.groups.erase(it);
        } else {
            ++it;
        }
    }
    for (auto& t : v.thrusters) w.retiredThrusters.push_back(std::move(t));
    v.thrusters.clear();
    host::detail::updateMass(v);
}
void VESSEL::ClearExhaustRefs(void) const { R(vessel).exhausts.clear(); }
// Obsolete: in the simulator this call does nothing any more.
void VESSEL::ClearAttExhaustRefs(void) const {}
