// Airfoils, control surfaces and variable drag elements: the SDK calls that define them and the
// forces they produce. Frames are the vessel's own (left-handed: x right, y up, z forward); the
// air flows past the vessel at -airVelShip.
#include "Aerodynamics.h"

#include "World.h"

#include <algorithm>
#include <cmath>

using host::Airfoil;
using host::ControlSurface;
using host::DragElement;
using host::detail::VesselRecord;
using host::detail::R;
using host::detail::rec;
using host::detail::stopHere;
using host::detail::world;

namespace {

// The record keeps every kind of coefficient function in one pointer type; `version` tells which
// it is. A generic function pointer in between makes the conversion explicit.
template <class To, class From>
To functionAs(From f) {
    return reinterpret_cast<To>(reinterpret_cast<void (*)()>(f));
}

// The dynamic viscosity the simulator takes for every atmosphere [kg/(m s)].
constexpr double kViscosity = 1.7894e-5;

AIRFOILHANDLE addAirfoil(VesselRecord& v, int version, AIRFOIL_ORIENTATION align,
                         const VECTOR3& ref, AirfoilCoeffFunc cf, void* context, double c, double S,
                         double A) {
    auto af = std::make_unique<Airfoil>();
    af->version = version;
    af->align = align;
    af->ref = ref;
    af->cf = cf;
    af->context = context;
    af->c = c;
    af->S = S;
    af->A = A;
    v.airfoils.push_back(std::move(af));
    return v.airfoils.back().get();
}

CTRLSURFHANDLE addSurface(VesselRecord& v, AIRCTRL_TYPE type, double area, double dCl,
                          const VECTOR3& ref, int axis, double delay, UINT anim) {
    if (static_cast<int>(type) < 0 || static_cast<int>(type) > AIRCTRL_RUDDERTRIM) {
        stopHere("", 0, "CreateControlSurface was given the invalid type " + std::to_string(type));
        return nullptr;
    }
    auto cs = std::make_unique<ControlSurface>();
    cs->ctrl = type;
    cs->ref = ref;
    cs->area = area;
    cs->dCl = dCl;
    cs->anim = anim;
    if (axis == AIRCTRL_AXIS_AUTO) {
        switch (type) {
            case AIRCTRL_RUDDER:
            case AIRCTRL_RUDDERTRIM:
                axis = AIRCTRL_AXIS_YPOS;
                break;
            case AIRCTRL_AILERON:
                axis = ref.x > 0 ? AIRCTRL_AXIS_XPOS : AIRCTRL_AXIS_XNEG;
                break;
            default:
                axis = AIRCTRL_AXIS_XPOS;
                break;
        }
    }
    cs->axis = axis;
    v.controlLevels[type].delay = delay;
    v.controlSurfaces.push_back(std::move(cs));
    return v.controlSurfaces.back().get();
}

template <class T>
bool retire(std::vector<std::unique_ptr<T>>& live, std::vector<std::unique_ptr<T>>& retired,
            const void* h) {
    auto it = std::find_if(live.begin(), live.end(),
                           [&](const std::unique_ptr<T>& p) { return p.get() == h; });
    if (it == live.end()) return false;
    retired.push_back(std::move(*it));
    live.erase(it);
    return true;
}

template <class T>
void retireAll(std::vector<std::unique_ptr<T>>& live, std::vector<std::unique_ptr<T>>& retired) {
    for (auto& p : live) retired.push_back(std::move(p));
    live.clear();
}

AIRCTRL_TYPE checkedType(AIRCTRL_TYPE type, const char* function) {
    if (static_cast<int>(type) < 0 || static_cast<int>(type) > AIRCTRL_RUDDERTRIM)
        stopHere("", 0,
                 std::string(function) + " was given the invalid type " + std::to_string(type));
    return type;
}

void setLevel(VesselRecord& v, AIRCTRL_TYPE type, double level, bool direct) {
    if (static_cast<int>(type) < 0 || static_cast<int>(type) > AIRCTRL_RUDDERTRIM) return;
    v.controlLevels[type].ptgt = std::min(1.0, std::max(-1.0, level));
    v.controlSync = direct ? 2 : 1;
}

// A force F at the point r of the vessel: its share of the step's force and moment.
void addForce(host::detail::DynamicState& d, const VECTOR3& F, const VECTOR3& r) {
    d.flin += F;
    d.amom += crossp(F, r);
}

VECTOR3 unitOr0(const VECTOR3& a) {
    const double l = length(a);
    return l > 0.0 ? a / l : a;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The SDK's calls.

void VESSEL::CreateAirfoil(AIRFOIL_ORIENTATION align, const VECTOR3& ref, AirfoilCoeffFunc cf,
                           double c, double S, double A) const {
    addAirfoil(R(vessel), 0, align, ref, cf, nullptr, c, S, A);
}
AIRFOILHANDLE VESSEL::CreateAirfoil2(AIRFOIL_ORIENTATION align, const VECTOR3& ref,
                                     AirfoilCoeffFunc cf, double c, double S, double A) const {
    return addAirfoil(R(vessel), 0, align, ref, cf, nullptr, c, S, A);
}
AIRFOILHANDLE VESSEL::CreateAirfoil3(AIRFOIL_ORIENTATION align, const VECTOR3& ref,
                                     AirfoilCoeffFuncEx cf, void* context, double c, double S,
                                     double A) const {
    return addAirfoil(R(vessel), 1, align, ref, functionAs<AirfoilCoeffFunc>(cf), context, c, S, A);
}
AIRFOILHANDLE VESSEL::CreateAirfoil4(const VECTOR3& ref, AirfoilCoeffFuncEx2 cf, void* context,
                                     double c, double S, double A) const {
    return addAirfoil(R(vessel), 2, FORCE_AND_MOMENT, ref, functionAs<AirfoilCoeffFunc>(cf),
                      context, c, S, A);
}
bool VESSEL::GetAirfoilParam(AIRFOILHANDLE hAirfoil, VECTOR3* ref, AirfoilCoeffFunc* cf,
                             void** context, double* c, double* S, double* A) const {
    const auto& list = R(vessel).airfoils;
    const auto it = std::find_if(list.begin(), list.end(),
                                 [&](const auto& af) { return af.get() == hAirfoil; });
    if (it == list.end()) return false;  // not this vessel's: nothing is written
    const Airfoil& af = **it;
    // Each output the caller asked for (a null pointer asks for nothing).
    const auto give = [](auto* out, const auto& value) {
        if (out) *out = value;
    };
    give(ref, af.ref);
    give(cf, af.cf);
    give(context, af.context);
    give(c, af.c);
    give(S, af.S);
    give(A, af.A);
    return true;
}
void VESSEL::EditAirfoil(AIRFOILHANDLE hAirfoil, DWORD flag, const VECTOR3& ref,
                         AirfoilCoeffFunc cf, double c, double S, double A) const {
    // As in the simulator, the handle is used as given.
    Airfoil* af = static_cast<Airfoil*>(hAirfoil);
    if (!af) {
        stopHere("", 0, "EditAirfoil was given a null handle");
        return;
    }
    if (flag & 0x01) af->ref = ref;
    if (flag & 0x02) af->cf = cf;
    if (flag & 0x04) af->c = c;
    if (flag & 0x08) af->S = S;
    if (flag & 0x10) af->A = A;
}
bool VESSEL::DelAirfoil(AIRFOILHANDLE hAirfoil) const {
    VesselRecord& v = R(vessel);
    return retire(v.airfoils, v.retiredAirfoils, hAirfoil);
}
void VESSEL::ClearAirfoilDefinitions() const {
    VesselRecord& v = R(vessel);
    retireAll(v.airfoils, v.retiredAirfoils);
}

void VESSEL::CreateControlSurface(AIRCTRL_TYPE type, double area, double dCl, const VECTOR3& ref,
                                  int axis, UINT anim) const {
    addSurface(R(vessel), type, area, dCl, ref, axis, 1.0, anim);
}
CTRLSURFHANDLE VESSEL::CreateControlSurface2(AIRCTRL_TYPE type, double area, double dCl,
                                             const VECTOR3& ref, int axis, UINT anim) const {
    return addSurface(R(vessel), type, area, dCl, ref, axis, 1.0, anim);
}
CTRLSURFHANDLE VESSEL::CreateControlSurface3(AIRCTRL_TYPE type, double area, double dCl,
                                             const VECTOR3& ref, int axis, double delay,
                                             UINT anim) const {
    return addSurface(R(vessel), type, area, dCl, ref, axis, delay, anim);
}
bool VESSEL::DelControlSurface(CTRLSURFHANDLE hCtrlSurf) const {
    VesselRecord& v = R(vessel);
    return retire(v.controlSurfaces, v.retiredSurfaces, hCtrlSurf);
}
void VESSEL::ClearControlSurfaceDefinitions() const {
    VesselRecord& v = R(vessel);
    retireAll(v.controlSurfaces, v.retiredSurfaces);
}
void VESSEL::SetControlSurfaceLevel(AIRCTRL_TYPE type, double level) const {
    setLevel(R(vessel), checkedType(type, "SetControlSurfaceLevel"), level, false);
}
void VESSEL::SetControlSurfaceLevel(AIRCTRL_TYPE type, double level, bool direct) const {
    setLevel(R(vessel), checkedType(type, "SetControlSurfaceLevel"), level, direct);
}
double VESSEL::GetControlSurfaceLevel(AIRCTRL_TYPE type) const {
    checkedType(type, "GetControlSurfaceLevel");
    if (static_cast<int>(type) < 0 || static_cast<int>(type) > AIRCTRL_RUDDERTRIM) return 0.0;
    return R(vessel).controlLevels[type].curr;
}

void VESSEL::CreateVariableDragElement(const double* drag, double factor,
                                       const VECTOR3& ref) const {
    DragElement e;
    e.drag = drag;
    e.factor = factor;
    e.ref = ref;
    R(vessel).dragElements.push_back(e);
}
void VESSEL::CreateVariableDragElement(double* drag, double factor, const VECTOR3& ref) const {
    host::detail::logObsolete("VESSEL::CreateVariableDragElement");
    CreateVariableDragElement(static_cast<const double*>(drag), factor, ref);
}
void VESSEL::ClearVariableDragElements() const { R(vessel).dragElements.clear(); }

double VESSEL::GetTrimScale() const { return R(vessel).trimScale; }
void VESSEL::SetTrimScale(double scale) const { R(vessel).trimScale = scale; }
double VESSEL::GetWingAspect() const { return R(vessel).wingAspect; }
void VESSEL::SetWingAspect(double aspect) const { R(vessel).wingAspect = aspect; }
double VESSEL::GetWingEffectiveness() const { return R(vessel).wingEffectiveness; }
void VESSEL::SetWingEffectiveness(double eff) const { R(vessel).wingEffectiveness = eff; }

double VESSEL::GetAOA() const {
    const VesselRecord& v = R(vessel);
    const VECTOR3& av = v.dyn.airVelShip;
    return v.readings.hasBody ? -std::atan2(av.y, av.z) : 0.0;
}
double VESSEL::GetSlipAngle() const {
    const VesselRecord& v = R(vessel);
    const VECTOR3& av = v.dyn.airVelShip;
    return v.readings.hasBody ? -std::atan2(av.x, av.z) : 0.0;
}
// The last step's forces as vectors in the vessel frame; false (and zero) where there was none.
bool VESSEL::GetLiftVector(VECTOR3& L) const {
    const VesselRecord& v = R(vessel);
    const VECTOR3& av = v.dyn.airVelShip;
    L = _V(0, 0, 0);
    if (!v.lift) return false;
    const double v0 = std::hypot(av.y, av.z), scale = v0 ? v.lift / v0 : 0.0;
    L = _V(0, av.z * scale, -av.y * scale);
    return true;
}
bool VESSEL::GetDragVector(VECTOR3& D) const {
    const VesselRecord& v = R(vessel);
    const VECTOR3& av = v.dyn.airVelShip;
    D = _V(0, 0, 0);
    if (!v.drag) return false;
    const double v0 = -length(av);
    D = av * (v0 ? v.drag / v0 : 0.0);
    return true;
}
bool VESSEL::GetSideForceVector(VECTOR3& SF) const {
    const VesselRecord& v = R(vessel);
    const VECTOR3& av = v.dyn.airVelShip;
    SF = _V(0, 0, 0);
    if (!v.sideForce) return false;
    const double v0 = std::hypot(av.x, av.z), scale = v0 ? v.sideForce / v0 : 0.0;
    SF = _V(av.z * scale, 0, -av.x * scale);
    return true;
}

double VESSEL::GetLift() const { return R(vessel).lift; }
double VESSEL::GetDrag() const { return R(vessel).drag; }
double VESSEL::GetSideForce() const { return R(vessel).sideForce; }

void VESSEL::SetLiftCoeffFunc(LiftCoeffFunc lcf) const { R(vessel).liftCoeff = lcf; }

DWORD VESSEL::GetADCtrlMode() const { return static_cast<DWORD>(R(vessel).ctrlSurfMode); }
void VESSEL::SetADCtrlMode(DWORD mode) const {
    VesselRecord& v = R(vessel);
    if (static_cast<DWORD>(v.ctrlSurfMode) == mode) return;
    v.ctrlSurfMode = static_cast<int>(mode);
    if (VESSEL2* cb = host::detail::callbacks(v))
        host::detail::callModule("clbkADCtrlMode", v, [&] { cb->clbkADCtrlMode(mode); });
}

double oapiGetInducedDrag(double cl, double A, double e) { return cl * cl / (PI * A * e); }

double oapiGetWaveDrag(double M, double M1, double M2, double M3, double cmax) {
    if (M < M1) return 0.0;
    if (M < M2) return cmax * (M - M1) / (M2 - M1);
    if (M < M3) return cmax;
    return cmax * std::sqrt((M3 * M3 - 1.0) / (M * M - 1.0));
}

// ---------------------------------------------------------------------------------------------
// The forces.

namespace host {
namespace detail {

void moveControlSurfaces(VesselRecord& v, double dt) {
    v.lift = v.drag = v.sideForce = 0.0;
    if (!v.controlSync) return;
    const bool direct = v.controlSync == 2;
    v.controlSync = 0;
    bool changed[6] = {false, false, false, false, false, false};
    bool any = false;
    for (int i = 0; i < 6; ++i) {
        ControlLevel& c = v.controlLevels[i];
        const double target = std::max(-1.0, std::min(1.0, c.ptgt + c.ttgt));
        if (target == c.curr) continue;
        double level = target;
        if (!direct && c.delay != 0.0) {
            // Still moving next step: the levels are looked at again then.
            const double dmax = dt / c.delay;
            if (target - c.curr > dmax) {
                level = c.curr + dmax;
                v.controlSync = 1;
            } else if (target - c.curr < -dmax) {
                level = c.curr - dmax;
                v.controlSync = 1;
            }
        }
        c.curr = level;
        changed[i] = any = true;
    }
    if (!any || !v.iface) return;
    for (const auto& cs : v.controlSurfaces)
        if (cs->anim != static_cast<UINT>(-1) && changed[cs->ctrl])
            v.iface->SetAnimation(cs->anim, (v.controlLevels[cs->ctrl].curr + 1.0) * 0.5);
}

bool airfoilForces(VesselRecord& v, double mass, double dt) {
    if (v.airfoils.empty()) return false;
    DynamicState& d = v.dyn;
    const Vessel::Readings& r = v.readings;
    const VECTOR3 av = d.airVelShip;
    // Without air along the vessel's axis the angles are undefined: no forces at all.
    if (av.z == 0.0) return true;
    const double aoa = std::atan2(-av.y, av.z);
    const double beta = std::atan2(-av.x, av.z);
    const double gamma = av.y == 0.0 ? std::atan2(-av.x, -av.y) : 0.0;
    const double re0 = r.density * r.airspeed / kViscosity;  // per metre of chord
    const double dynp = r.dynPressure, mach = r.mach;

    // Rotation damped by a dynamic pressure taken at 30 m/s more, never beyond stopping the
    // rotation within the step.
    const double dynpm = 0.5 * r.density * (r.airspeed + 30.0) * (r.airspeed + 30.0);
    const double fac = dynpm * v.crossSections.y;
    const double idt = dt > 0.0 ? 1.0 / dt : 0.0;
    const VECTOR3& w = v.vrot;
    if (w.x) d.amom.x -= std::min(fac * v.rotDrag.x, v.pmi.x * mass * idt) * w.x;
    if (w.y) d.amom.y -= std::min(fac * v.rotDrag.y, v.pmi.y * mass * idt) * w.y;
    if (w.z) d.amom.z -= std::min(fac * v.rotDrag.z, v.pmi.z * mass * idt) * w.z;

    const VECTOR3 ddir = -unitOr0(av);                 // drag: along the airflow
    const VECTOR3 ldir = unitOr0(_V(0, av.z, -av.y));  // lift: across it and the x axis
    const VECTOR3 sdir = unitOr0(_V(av.z, 0, -av.x));  // side force: across it and the y axis
    const VECTOR3& cs = v.crossSections;
    VESSEL* iface = v.iface;
    for (const auto& afp : v.airfoils) {
        const Airfoil& af = *afp;
        double CL = 0.0, Cm = 0.0, CD = 0.0;
        if (af.align == LIFT_VERTICAL || af.align == LIFT_HORIZONTAL) {
            const double angle = af.align == LIFT_VERTICAL ? aoa : beta;
            if (af.version == 0) {
                af.cf(angle, mach, re0 * af.c, &CL, &Cm, &CD);
            } else {
                functionAs<AirfoilCoeffFuncEx>(af.cf)(iface, angle, mach, re0 * af.c, af.context,
                                                      &CL, &Cm, &CD);
            }
            double S = af.S;
            if (af.align == LIFT_VERTICAL) {
                if (!S) S = std::fabs(ddir.z) * cs.z + std::fabs(ddir.y) * cs.y;
                const double lift = CL * dynp * S, drag = CD * dynp * S;
                addForce(d, ldir * lift + ddir * drag, af.ref);
                if (Cm) d.amom.x += Cm * dynp * af.S * af.c;
                v.lift += lift;
                v.drag += drag;
            } else {
                // The simulator takes the forward cross section for both terms here.
                if (!S) S = std::fabs(ddir.z) * cs.z + std::fabs(ddir.x) * cs.z;
                const double side = CL * dynp * S, drag = CD * dynp * S;
                addForce(d, sdir * side + ddir * drag, af.ref);
                if (Cm) d.amom.y += Cm * dynp * af.S * af.c;
                v.drag += drag;
                v.sideForce += side;
            }
        } else {
            double CA = 0, CN = 0, CY = 0, Cl = 0, Cn = 0;
            functionAs<AirfoilCoeffFuncEx2>(af.cf)(iface, ddir, aoa, beta, gamma, mach, re0 * af.c,
                                                   af.context, &CA, &CN, &CY, &Cl, &Cm, &Cn);
            double S = af.S;
            if (!S) S = std::fabs(ddir.z) * cs.z + std::fabs(ddir.x) * cs.z;
            const VECTOR3 F = _V(CY * S * dynp, CN * S * dynp, -CA * S * dynp);
            addForce(d, F, af.ref);
            // The simulator reports this airfoil's components alone, replacing the others'.
            v.lift = dotp(F, ldir);
            v.drag = dotp(F, ddir);
            v.sideForce = dotp(F, sdir);
            d.amom.x += Cm * dynp * af.S * af.c;
            d.amom.y -= Cn * dynp * af.S * af.c;
            d.amom.z -= Cl * dynp * af.S * af.c;
        }
    }

    for (const auto& csp : v.controlSurfaces) {
        const ControlSurface& s = *csp;
        const double lvl = v.controlLevels[s.ctrl].curr;
        if (!lvl) continue;
        const double f = s.area * dynp;
        const double cdrag = std::fabs(lvl) * f;
        const double clift = -lvl * f * s.dCl;
        switch (s.axis) {
            case AIRCTRL_AXIS_XPOS:
                addForce(d, ldir * clift + ddir * cdrag, s.ref);
                break;
            case AIRCTRL_AXIS_XNEG:
                addForce(d, ldir * -clift + ddir * cdrag, s.ref);
                break;
            case AIRCTRL_AXIS_YPOS:
                addForce(d, sdir * clift + ddir * cdrag, s.ref);
                break;
            case AIRCTRL_AXIS_YNEG:
                addForce(d, sdir * -clift + ddir * cdrag, s.ref);
                break;
            default:
                break;
        }
    }

    for (const DragElement& e : v.dragElements) {
        const double lvl = *e.drag;
        if (!lvl) continue;
        const double drag = lvl * e.factor * dynp;
        addForce(d, ddir * drag, e.ref);
        v.drag += drag;
    }
    return true;
}

void olderModelForces(VesselRecord& v, double mass) {
    const double airspd = v.readings.airspeed;
    if (airspd < 1e-8) return;
    const VECTOR3& av = v.dyn.airVelShip;
    const double dynp = v.readings.dynPressure;
    // The elevator trim shifts the angle the older model's pitch moment turns the vessel to.
    const double trim = v.trimScale * v.controlLevels[AIRCTRL_ELEVATORTRIM].curr;
    if (trim) {
        const double aoa = std::atan2(-av.y, av.z);
        const double fac = v.size * mass * v.readings.density;
        v.dyn.amom.x -= fac * airspd * v.crossSections.y * (std::sin(aoa - trim) - std::sin(aoa)) *
                        v.pitchMomentScale;
    }
    const double cl = v.liftCoeff ? v.liftCoeff(std::atan2(-av.y, av.z)) : 0.0;
    if (cl) {
        v.lift = cl * dynp * v.crossSections.y;
        const double lnorm = std::hypot(av.z, av.y);
        if (lnorm) v.dyn.flin += _V(0, av.z, -av.y) * (v.lift / lnorm);
        // Induced drag, along the airflow like the parasite drag the older model adds.
        const double induced = v.lift * cl / (v.wingAspect * v.wingEffectiveness);
        v.dyn.flin -= av * (induced / airspd);
        v.drag = induced;
    }
    const VECTOR3 vn = av / airspd;
    const VECTOR3& cs = v.crossSections;
    v.drag += (cs.x * 0.5 * v.cw[2] * std::fabs(vn.x) + cs.y * 0.5 * v.cw[3] * std::fabs(vn.y) +
               cs.z * 0.5 * v.cw[0] * std::fabs(vn.z)) *
              dynp;
}

}  // namespace detail
}  // namespace host
