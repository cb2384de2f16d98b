// A vessel's motion over one step as the simulator computes it: the body forces of the step
// (thrust from the thrust pass, drag and aerodynamic moments of a vessel without airfoils), then
// gravity, those forces and the ground's contact forces integrated with the propagator and
// sub-steps the simulator picks for the step's length and the angle turned, then the surface
// readings and the landing test. Frames are the simulator's left-handed ones: a vessel's `rot`
// maps its own frame into the global (ecliptic) frame centred on its body; a point fixed in the
// vessel at p moves with p x omega.
#include "Dynamics.h"

#include "Aerodynamics.h"
#include "World.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace host {
namespace detail {

namespace {

constexpr double kG0 = 9.80665;

// The simulator's propagation levels: time-step limit and target, angle-step limit and target;
// past the last limit the last level holds. At most 10 sub-steps.
struct PropLevel {
    double tlim, ttgt, alim, atgt;
    int order;  // of the Runge-Kutta method the level uses
};
// Degrees in radians, as a constant expression (the SDK's RAD is a plain const).
constexpr double kRad = kPi / 180.0;
constexpr PropLevel kLevels[] = {
    {0.5, 0.1, 1.0 * kRad, 0.2 * kRad, 2},
    {10.0, 2.0, 4.0 * kRad, 2.0 * kRad, 4},
    {100.0, 20.0, 10.0 * kRad, 5.0 * kRad, 6},
    {1e20, 200.0, 1e20, 20.0 * kRad, 8},
};
constexpr int kLevelCount = 4;
constexpr int kMaxSubsteps = 10;

// The body's rotation at a time, remembered for the last two times asked (the step's start
// and end are asked for by every vessel).
MATRIX3 bodyRot(const CentralBody& b, double t) {
    struct Entry {
        const CentralBody* b = nullptr;
        double t = 0.0;
        double mjd0 = 0.0;
        MATRIX3 rot{};
    };
    static Entry cache[2];
    static int next = 0;
    const double mjd0 = world().mjd0;
    for (const Entry& e : cache)
        if (e.b == &b && e.t == t && e.mjd0 == mjd0) return e.rot;
    Entry& e = cache[next];
    next ^= 1;
    e.b = &b;
    e.t = t;
    e.mjd0 = mjd0;
    e.rot = b.rotation(t, mjd0 + t / 86400.0);
    return e.rot;
}

// The body's frame turned into the local horizon at a place given by the sines and cosines of
// its longitude and latitude: x east, y up, z north.
MATRIX3 horizonFrame(double slng, double clng, double slat, double clat) {
    return _M(-slng, 0, clng, clat * clng, slat, clat * slng, -slat * clng, clat, -slat * slng);
}

// How a propagator turns the attitude by an angular velocity over a time: by the angle itself,
// or as the simulator's second- and fourth-order levels do, by the attitude quaternion's
// first-order increment q + q (0, w h/2) normalised, which turns by 2 atan(|w| h/2), short of
// |w| h by about (|w| h)^3/12.
enum class Turn { Exact, FirstOrder };

// Turns attitude `R` by the angular velocity `w` (vessel frame) over `h` seconds.
MATRIX3 turned(const MATRIX3& R, const VECTOR3& w, double h, Turn how = Turn::Exact) {
    const double wl = length(w);
    const double th = how == Turn::FirstOrder ? 2.0 * std::atan(0.5 * wl * h) : wl * h;
    if (th == 0.0) return R;
    const VECTOR3 n = w / wl;
    const double c = std::cos(th), s = std::sin(th), k = 1.0 - c;
    // Columns: the images of the vessel's unit axes, p -> p cos + (p x n) sin + n (n.p) k.
    MATRIX3 A;
    for (int j = 0; j < 3; ++j) {
        VECTOR3 p{};
        p.data[j] = 1.0;
        const VECTOR3 q = p * c + crossp(p, n) * s + n * (n.data[j] * k);
        for (int i = 0; i < 3; ++i) A.data[i * 3 + j] = q.data[i];
    }
    return mulMM(R, A);
}

// Euler's equations in the left-handed frame for a diagonal inertia per unit mass; an axis
// without inertia takes no angular acceleration.
VECTOR3 eulerInv(const VECTOR3& pmi, const VECTOR3& tau, const VECTOR3& w) {
    auto axis = [](double num, double i) { return i != 0.0 ? num / i : 0.0; };
    return _V(axis(tau.x - (pmi.y - pmi.z) * w.y * w.z, pmi.x),
              axis(tau.y - (pmi.z - pmi.x) * w.z * w.x, pmi.y),
              axis(tau.z - (pmi.x - pmi.y) * w.x * w.y, pmi.z));
}

struct State {
    VECTOR3 pos, vel;
    MATRIX3 rot;
    VECTOR3 w;
};

struct Deriv {
    VECTOR3 acc, ngAcc, angAcc;
};

// What every evaluation within the step shares.
struct StepContext {
    VesselRecord& v;
    const CentralBody* body;
    double t0, dt, h;
    double mass;
    bool allowContact;
    bool collision = false;  // a touchdown point went below the surface in an evaluation
    // The body forces of the step's first stage: those the last step left where they differ.
    VECTOR3 flin0{}, amom0{};
};

// Longitude, latitude and radius of a point in the body's frame.
void equatorial(const VECTOR3& p, double& lng, double& lat, double& rad) {
    rad = length(p);
    lng = std::atan2(p.z, p.x);
    lat = std::asin(p.y / rad);
}

// The surface's contact forces and moments on the collision vertices (vessel frame), added to F
// and M; true where a point is below the surface (forces only when `allow`).
bool surfaceForces(StepContext& c, const State& s, double tfrac, VECTOR3& F, VECTOR3& M) {
    const CentralBody& b = *c.body;
    const Vessel& v = c.v;
    const double r = length(s.pos);
    if (r - b.size > 1e4 || r - b.size > 2.0 * v.size) return false;
    const MATRIX3 Rb = bodyRot(b, c.t0 + tfrac * c.dt);
    const MATRIX3 T = mulMM(transpose(Rb), s.rot);  // vessel -> body frame
    const VECTOR3 shift = tmul(Rb, s.pos);
    // The three touchdown points first, then the hull's collision vertices.
    const size_t nv = 3 + v.hullVertices.size();
    auto vtx = [&](size_t i) -> const VECTOR3& {
        return i < 3 ? v.touchdown[i] : v.hullVertices[i - 3].pos;
    };
    thread_local std::vector<double> tdy, fn, flng, flat;
    tdy.assign(nv, 0.0);
    double tdymin = 0.0;
    for (size_t i = 0; i < nv; ++i) {
        tdy[i] = length(mul(T, vtx(i)) + shift) - b.size;
        if (!i || tdy[i] < tdymin) tdymin = tdy[i];
    }
    if (tdymin >= 0.0) return false;
    if (!c.allowContact) return true;

    double lng, lat, rad;
    equatorial(shift, lng, lat, rad);
    const double slng = std::sin(lng), clng = std::cos(lng);
    const double slat = std::sin(lat), clat = std::cos(lat);
    const double vref = kTwoPi / b.rotT * rad * clat;
    const VECTOR3 gvGlobal = s.vel - mul(Rb, _V(-vref * slng, 0.0, vref * clng));
    const VECTOR3 gvShip = tmul(s.rot, gvGlobal);
    const double massdt = c.mass / c.h;
    const DynamicState& d = c.v.dyn;

    const VECTOR3 d1 = v.touchdown[0] - (v.touchdown[1] + v.touchdown[2]) * 0.5;
    const VECTOR3 hn = tmul(T, _V(clat * clng, slat, clat * slng));  // up, vessel frame
    const VECTOR3 d1h = unit(d1 - hn * dotp(d1, hn));
    const VECTOR3 d2h = crossp(hn, d1h);
    fn.assign(nv, 0.0);
    flng.assign(nv, 0.0);
    flat.assign(nv, 0.0);
    double fnTot = 0.0, flngTot = 0.0, flatTot = 0.0;
    for (size_t i = 0; i < nv; ++i) {
        if (tdy[i] >= 0.0) continue;
        const double k = i < 3 ? d.stiffness[i] : v.hullVertices[i - 3].stiffness;
        const double damping = i < 3 ? d.damping[i] : v.hullVertices[i - 3].damping;
        const double mu = i < 3 ? d.mu[i] : v.hullVertices[i - 3].mu;
        // Longitudinal friction of its own on the touchdown points only.
        const double muLng = i < 3 ? d.muLng[i] : mu;
        const double depth = std::max(tdy[i], -1.0);
        const VECTOR3 gv = gvShip + crossp(vtx(i), s.w);
        const double gvN = dotp(gv, hn), gvLon = dotp(gv, d1h), gvLat = dotp(gv, d2h);
        fn[i] = -depth * k;
        const double maxpress = std::min(-depth, 0.1) * k;
        // Friction, faded out below 10 m/s so that a vessel at rest is not pushed about.
        flng[i] = muLng * maxpress;
        if (std::fabs(gvLon) < 10.0) flng[i] *= std::sqrt(std::fabs(0.1 * gvLon));
        if (gvLon > 0.0) flng[i] = -flng[i];
        flngTot += flng[i];
        flat[i] = mu * maxpress;
        if (std::fabs(gvLat) < 10.0) flat[i] *= std::sqrt(std::fabs(0.1 * gvLat));
        if (gvLat > 0.0) flat[i] = -flat[i];
        flatTot += flat[i];
        fn[i] -= gvN * damping;
        fnTot += fn[i];
    }
    // Friction never reverses the ground speed within the sub-step.
    auto limit = [&](double gvc, double& tot, std::vector<double>& each) {
        const double fmax = -gvc * massdt;
        if ((fmax >= 0.0 && tot > fmax) || (fmax <= 0.0 && tot < fmax)) {
            const double scale = fmax / tot;
            tot = fmax;
            for (double& f : each) f *= scale;
        }
    };
    limit(dotp(gvShip, d1h), flngTot, flng);
    limit(dotp(gvShip, d2h), flatTot, flat);
    VECTOR3 Ms{};
    for (size_t i = 0; i < nv; ++i)
        if (tdy[i] < 0.0) Ms += crossp(hn * fn[i] + d1h * flng[i] + d2h * flat[i], vtx(i));
    // The turn the impact may cause within the sub-step is limited to 10 degrees.
    const double da = length(eulerInv(v.pmi, Ms / c.mass, s.w)) * c.h * c.h;
    if (da > 10.0 * RAD) Ms = Ms * (10.0 * RAD / da);
    F += hn * fnTot + d1h * flngTot + d2h * flatTot;
    M += Ms;
    return true;
}

// The accelerations at a state; `first`: the step's first stage, by the forces it starts with.
Deriv evaluate(StepContext& c, const State& s, double tfrac, bool first = false) {
    VECTOR3 F = first ? c.flin0 : c.v.dyn.flin, M = first ? c.amom0 : c.v.dyn.amom;
    if (c.body && surfaceForces(c, s, tfrac, F, M)) c.collision = true;
    Deriv d;
    d.ngAcc = mul(s.rot, F / c.mass);
    d.acc = d.ngAcc;
    if (c.body) {
        const double r2 = dotp(s.pos, s.pos);
        d.acc -= s.pos * (c.body->mu / (r2 * std::sqrt(r2)));
    }
    d.angAcc = eulerInv(c.v.pmi, M / c.mass, s.w);
    return d;
}

// An explicit Runge-Kutta method by its Butcher tableau: `a` row by row below the diagonal.
struct Tableau {
    int stages;
    const double* a;
    const double* b;
    const double* c;
};

// The tableaux row by row.
// clang-format off
// Sixth order in seven stages (Butcher, 1964).
constexpr double kA6[] = {
    1.0 / 3,
    0.0,       2.0 / 3,
    1.0 / 12,  1.0 / 3,   -1.0 / 12,
    -1.0 / 16, 9.0 / 8,   -3.0 / 16, -3.0 / 8,
    0.0,       9.0 / 8,   -3.0 / 8,  -3.0 / 4,  1.0 / 2,
    9.0 / 44,  -9.0 / 11, 63.0 / 44, 18.0 / 11, 0.0,     -16.0 / 11};
constexpr double kB6[] = {11.0 / 120, 0.0, 27.0 / 40, 27.0 / 40, -4.0 / 15, -4.0 / 15, 11.0 / 120};
constexpr double kC6[] = {0.0, 1.0 / 3, 2.0 / 3, 1.0 / 3, 1.0 / 2, 1.0 / 2, 1.0};

// Eighth order in eleven stages (Cooper and Verner, 1972).
constexpr double kS21 = 4.582575694955840006588047193728;  // the square root of 21
constexpr double kA8[] = {
    1.0 / 2,
    1.0 / 4, 1.0 / 4,
    1.0 / 7, (-7 - 3 * kS21) / 98, (21 + 5 * kS21) / 49,
    (11 + kS21) / 84, 0.0, (18 + 4 * kS21) / 63, (21 - kS21) / 252,
    (5 + kS21) / 48, 0.0, (9 + kS21) / 36, (-231 + 14 * kS21) / 360, (63 - 7 * kS21) / 80,
    (10 - kS21) / 42, 0.0, (-432 + 92 * kS21) / 315, (633 - 145 * kS21) / 90,
        (-504 + 115 * kS21) / 70, (63 - 13 * kS21) / 35,
    1.0 / 14, 0.0, 0.0, 0.0, (14 - 3 * kS21) / 126, (13 - 3 * kS21) / 63, 1.0 / 9,
    1.0 / 32, 0.0, 0.0, 0.0, (91 - 21 * kS21) / 576, 11.0 / 72, (-385 - 75 * kS21) / 1152,
        (63 + 13 * kS21) / 128,
    1.0 / 14, 0.0, 0.0, 0.0, 1.0 / 9, (-733 - 147 * kS21) / 2205, (515 + 111 * kS21) / 504,
        (-51 - 11 * kS21) / 56, (132 + 28 * kS21) / 245,
    0.0, 0.0, 0.0, 0.0, (-42 + 7 * kS21) / 18, (-18 + 28 * kS21) / 45, (-273 - 53 * kS21) / 72,
        (301 + 53 * kS21) / 72, (28 - 28 * kS21) / 45, (49 - 7 * kS21) / 18};
constexpr double kB8[] = {1.0 / 20, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0,
                          49.0 / 180, 16.0 / 45, 49.0 / 180, 1.0 / 20};
constexpr double kC8[] = {0.0, 0.5, 0.5, (7 + kS21) / 14, (7 + kS21) / 14, 0.5,
                          (7 - kS21) / 14, (7 - kS21) / 14, 0.5, (7 + kS21) / 14, 1.0};
// clang-format on
constexpr Tableau kRk6 = {7, kA6, kB6, kC6};
constexpr Tableau kRk8 = {11, kA8, kB8, kC8};
constexpr int kMaxStages = 11;

// A sub-step by a tableau: each stage's place from the stages' velocities, its velocities from
// their accelerations, its attitude turned from the start by their mean angular velocity.
State advanceBy(StepContext& c, const State& s, double tfrac0, const Tableau& t, VECTOR3& ng,
                bool first) {
    const double h = c.h, df = h / c.dt;
    State st[kMaxStages];
    Deriv k[kMaxStages];
    const double* a = t.a;
    for (int i = 0; i < t.stages; ++i) {
        State& si = st[i];
        si = s;
        if (i > 0) {
            VECTOR3 dp{}, dv{}, dw{}, w{};
            for (int j = 0; j < i; ++j, ++a) {
                if (*a == 0.0) continue;
                dp += st[j].vel * *a;
                dv += k[j].acc * *a;
                dw += k[j].angAcc * *a;
                w += st[j].w * *a;
            }
            si.pos = s.pos + dp * h;
            si.vel = s.vel + dv * h;
            si.w = s.w + dw * h;
            si.rot = t.c[i] != 0.0 ? turned(s.rot, w / t.c[i], t.c[i] * h) : s.rot;
        }
        k[i] = evaluate(c, si, tfrac0 + t.c[i] * df, i == 0 && first);
    }
    VECTOR3 dp{}, dv{}, dw{}, w{}, dng{};
    for (int i = 0; i < t.stages; ++i) {
        if (t.b[i] == 0.0) continue;
        dp += st[i].vel * t.b[i];
        dv += k[i].acc * t.b[i];
        dw += k[i].angAcc * t.b[i];
        w += st[i].w * t.b[i];
        dng += k[i].ngAcc * t.b[i];
    }
    State n;
    n.pos = s.pos + dp * h;
    n.vel = s.vel + dv * h;
    n.w = s.w + dw * h;
    n.rot = turned(s.rot, w, h);
    ng += dng * h;
    return n;
}

// One sub-step of length h from tfrac0, by the method of the given order; the mean
// non-gravitational acceleration of the sub-step is added to `ng` (times h). `first`: the step's
// first sub-step, whose first stage takes the forces the step starts with.
State advance(StepContext& c, const State& s, double tfrac0, int order, VECTOR3& ng, bool first) {
    if (order >= 8) return advanceBy(c, s, tfrac0, kRk8, ng, first);
    if (order >= 6) return advanceBy(c, s, tfrac0, kRk6, ng, first);
    const double h = c.h, df = h / c.dt;
    auto at = [&](const State& base, const Deriv& k, const VECTOR3& vel, const VECTOR3& w,
                  double f) {
        State n;
        n.pos = base.pos + vel * (f * h);
        n.vel = base.vel + k.acc * (f * h);
        n.w = base.w + k.angAcc * (f * h);
        n.rot = turned(base.rot, w, f * h, Turn::FirstOrder);
        return n;
    };
    const Deriv k1 = evaluate(c, s, tfrac0, first);
    if (order <= 2) {
        // The midpoint rule: place, attitude and their rates half a sub-step on by the first
        // stage's slopes, then the whole sub-step by the slopes there. Place and attitude move
        // by the midpoint's velocities, velocities by its accelerations alone.
        const State m = at(s, k1, s.vel, s.w, 0.5);
        const Deriv k2 = evaluate(c, m, tfrac0 + 0.5 * df);
        State n;
        n.pos = s.pos + m.vel * h;
        n.vel = s.vel + k2.acc * h;
        n.w = s.w + k2.angAcc * h;
        n.rot = turned(s.rot, m.w, h, Turn::FirstOrder);
        ng += k2.ngAcc * h;
        return n;
    }
    const State s2 = at(s, k1, s.vel, s.w, 0.5);
    const Deriv k2 = evaluate(c, s2, tfrac0 + 0.5 * df);
    const State s3 = at(s, k2, s2.vel, s2.w, 0.5);
    const Deriv k3 = evaluate(c, s3, tfrac0 + 0.5 * df);
    const State s4 = at(s, k3, s3.vel, s3.w, 1.0);
    const Deriv k4 = evaluate(c, s4, tfrac0 + df);
    State n;
    n.pos = s.pos + (s.vel + (s2.vel + s3.vel) * 2.0 + s4.vel) * (h / 6.0);
    n.vel = s.vel + (k1.acc + (k2.acc + k3.acc) * 2.0 + k4.acc) * (h / 6.0);
    n.w = s.w + (k1.angAcc + (k2.angAcc + k3.angAcc) * 2.0 + k4.angAcc) * (h / 6.0);
    n.rot = turned(s.rot, (s.w + (s2.w + s3.w) * 2.0 + s4.w) * (1.0 / 6.0), h, Turn::FirstOrder);
    ng += (k1.ngAcc + (k2.ngAcc + k3.ngAcc) * 2.0 + k4.ngAcc) * (h / 6.0);
    return n;
}

// The simulator's drag and moments of a vessel without airfoils, from its state at the step's
// start: a moment turning its axis into the airflow (scaled by the class's moment scales),
// rotational drag, and drag of its cross sections projected on the airflow.
void aerodynamicForces(VesselRecord& v, double mass) {
    DynamicState& d = v.dyn;
    const double airspd = v.readings.airspeed;
    if (airspd < 1e-8) return;
    const VECTOR3& av = d.airVelShip;
    // Sines of the angle of attack atan2(-vy, vz) and of the slip atan2(vx, vz).
    const double hyz = std::sqrt(av.y * av.y + av.z * av.z);
    const double hxz = std::sqrt(av.x * av.x + av.z * av.z);
    const double sinAoa = hyz > 0.0 ? -av.y / hyz : 0.0;
    const double sinBeta = hxz > 0.0 ? av.x / hxz : 0.0;
    const double fac = v.size * mass * v.readings.density;
    const VECTOR3& cs = v.crossSections;
    d.amom.x -= fac * airspd * cs.y * sinAoa * v.pitchMomentScale;
    d.amom.y -= fac * airspd * cs.x * sinBeta * v.bankMomentScale;
    d.amom.x -= fac * v.vrot.x * v.rotDrag.x;
    d.amom.y -= fac * v.vrot.y * v.rotDrag.y;
    d.amom.z -= fac * v.vrot.z * v.rotDrag.z;
    const VECTOR3 vn = av / airspd;
    const double cwcs = cs.x * 0.5 * v.cw[2] * std::fabs(vn.x) +
                        cs.y * 0.5 * v.cw[3] * std::fabs(vn.y) +
                        cs.z * 0.5 * v.cw[0] * std::fabs(vn.z);
    d.flin -= vn * (cwcs * v.readings.dynPressure);
}

void surfaceReadings(VesselRecord& v, const MATRIX3& Rb, double mjd) {
    const CentralBody& b = *v.dyn.body;
    Vessel::Readings& r = v.readings;
    DynamicState& d = v.dyn;
    const VECTOR3 ploc = tmul(Rb, v.pos);
    equatorial(ploc, r.longitude, r.latitude, r.radius);
    r.altitude = r.radius - b.size;
    // Sines and cosines of longitude and latitude straight from the place.
    const double rxz = std::sqrt(ploc.x * ploc.x + ploc.z * ploc.z);
    const double slng = rxz > 0.0 ? ploc.z / rxz : 0.0, clng = rxz > 0.0 ? ploc.x / rxz : 1.0;
    const double slat = ploc.y / r.radius, clat = rxz / r.radius;
    const double vref = kTwoPi / b.rotT * r.radius * clat;
    d.groundVelGlobal = v.vel - mul(Rb, _V(-vref * slng, 0.0, vref * clng));
    d.groundVelShip = tmul(v.rot, d.groundVelGlobal);
    d.airVelShip = d.groundVelShip;  // no wind
    r.airspeed = length(d.groundVelGlobal);
    const MATRIX3 L2H = horizonFrame(slng, clng, slat, clat);
    r.horizonAirspeed = mul(L2H, tmul(Rb, d.groundVelGlobal));
    d.inAtmosphere = b.hasAtmosphere() && r.radius < b.atmRadLimit();
    if (d.inAtmosphere) {
        const AtmosphereSample a = b.atmosphere(r.altitude, mjd, Rb);
        r.temperature = a.T;
        r.pressure = a.p;
        r.density = a.rho;
        r.dynPressure = 0.5 * a.rho * r.airspeed * r.airspeed;
        r.mach = a.T > 0.0 ? r.airspeed / b.soundSpeed(a.T) : 0.0;
    } else {
        r.temperature = r.pressure = r.density = r.dynPressure = r.mach = 0.0;
    }
}

bool touchdownBelow(const VesselRecord& v, const MATRIX3& Rb) {
    const CentralBody& b = *v.dyn.body;
    if (v.readings.altitude > 2.0 * v.size) return false;
    const VECTOR3 shift = tmul(Rb, v.pos);
    const MATRIX3 T = mulMM(transpose(Rb), v.rot);
    for (const VECTOR3& p : v.touchdown)
        if (length(mul(T, p) + shift) - b.size < 0.0) return true;
    for (const TOUCHDOWNVTX& h : v.hullVertices)
        if (length(mul(T, h.pos) + shift) - b.size < 0.0) return true;
    return false;
}

double rotationAngle(const MATRIX3& a, const MATRIX3& b) {
    double tr = 0.0;
    for (int i = 0; i < 3; ++i)
        for (int k = 0; k < 3; ++k) tr += a.data[k * 3 + i] * b.data[k * 3 + i];
    return std::acos(std::max(-1.0, std::min(1.0, 0.5 * (tr - 1.0))));
}

// The heading of the vessel's forward axis (or, pointing straight up, of its -y axis) in the
// local horizon.
double headingOf(const MATRIX3& rot, const MATRIX3& Rb, double lng, double lat) {
    const double slng = std::sin(lng), clng = std::cos(lng);
    const double slat = std::sin(lat), clat = std::cos(lat);
    const MATRIX3 L2H = horizonFrame(slng, clng, slat, clat);
    VECTOR3 z = mul(L2H, tmul(Rb, _V(rot.m13, rot.m23, rot.m33)));
    double dir;
    if (std::fabs(z.x) > 1e-4 || std::fabs(z.z) > 1e-4) {
        dir = std::atan2(z.x, z.z);
    } else {
        const VECTOR3 y = mul(L2H, tmul(Rb, _V(-rot.m12, -rot.m22, -rot.m32)));
        dir = std::atan2(y.x, y.z);
    }
    if (dir < 0.0) dir += kTwoPi;
    return dir;
}

// The simulator's landing test: standing on the surface without thrust, still for 5 s.
void checkLanded(VesselRecord& v, const MATRIX3& Rb, double t) {
    DynamicState& d = v.dyn;
    const VECTOR3 prel = tmul(Rb, v.pos);
    if (d.testing) {
        if (!d.surfaceContact || d.thrustEngaged) {
            d.testing = false;
            return;
        }
        const double dtt = t - d.testTime;
        if (dtt < 0.1) return;
        const VECTOR3 dp = prel - d.testPos;
        const double dst2 = dotp(dp, dp);
        const double dangle = rotationAngle(v.rot, d.testRot);
        d.testPos = prel;
        d.testRot = v.rot;
        if (dst2 / dtt > 1e-4 || dangle / dtt > 1e-4) {
            d.testTime = t;
        } else if (t - d.testTime > 5.0) {
            double lng, lat, rad;
            equatorial(prel, lng, lat, rad);
            const MATRIX3 lrot = mulMM(transpose(Rb), v.rot);
            placeLanded(v, lng, lat, headingOf(v.rot, Rb, lng, lat), &lrot, v.readings.altitude);
            touchDownAtNearestBase(v);
        }
    } else if (d.surfaceContact && !d.thrustEngaged) {
        d.testing = true;
        d.testTime = t;
        d.testPos = prel;
        d.testRot = v.rot;
    }
}

void flyFree(VesselRecord& v, double dt, double mass) {
    World& w = world();
    DynamicState& d = v.dyn;
    const double t1 = w.time, t0 = t1 - dt;
    State s0{v.pos, v.vel, v.rot, v.vrot};
    bool withCollision = false, speedChecked = false;
    StepContext c{v, d.body, t0, dt, dt, mass, false};
    // The first stage takes the thrust the step started with in place of the step's own. Where
    // they are the same, nothing is added: an infinite thrust less itself would be a NaN.
    c.flin0 = d.flin;
    c.amom0 = d.amom;
    const auto same = [](const VECTOR3& a, const VECTOR3& b) {
        return a.x == b.x && a.y == b.y && a.z == b.z;
    };
    if (d.startKnown && !(same(d.thrustF0, d.thrustF) && same(d.thrustM0, d.thrustM))) {
        c.flin0 += d.thrustF0 - d.thrustF;
        c.amom0 += d.thrustM0 - d.thrustM;
    }
    State s;
    VECTOR3 ng{};
    for (;;) {
        // The propagator: by the step's length, then by the angle turned in it; touching the
        // ground, the last level with the most sub-steps. (The simulator's stabilised update of
        // an orbit for steps beyond a hundredth of it is not carried: steps of a minute and
        // more in low orbit.)
        const double astep = length(s0.w) * dt;
        int level = 0;
        while (level < kLevelCount - 1 && !(dt < kLevels[level].tlim)) ++level;
        while (level < kLevelCount - 1 && !(astep < kLevels[level].alim)) ++level;
        int n =
            std::min(kMaxSubsteps, static_cast<int>(std::ceil(std::max(
                                       dt / kLevels[level].ttgt, astep / kLevels[level].atgt))));
        if (d.surfaceContact) {
            level = kLevelCount - 1;
            n = kMaxSubsteps;
            withCollision = true;
        }
        n = std::max(n, 1);
        c.h = dt / n;
        c.allowContact = withCollision;
        c.collision = false;
        s = s0;
        ng = VECTOR3{};
        for (int i = 0; i < n; ++i)
            s = advance(c, s, static_cast<double>(i) / n, kLevels[level].order, ng, i == 0);
        if (!c.collision || !d.body) break;
        if (!withCollision) {
            // Touched the ground unforeseen: the step again with contact forces.
            withCollision = true;
            d.surfaceContact = true;
            continue;
        }
        if (speedChecked) break;
        speedChecked = true;
        // A vessel hitting the ground faster than 0.1 m per sub-step is slowed to that first.
        const double vsmax = -0.1 * kMaxSubsteps / dt;
        const VECTOR3 hn = unit(tmul(s0.rot, s0.pos));
        const double vs = dotp(d.groundVelShip, hn);
        if (!(vs < vsmax)) break;
        const VECTOR3 gv = mul(s0.rot, d.groundVelShip * (vsmax / vs));
        s0.vel += gv - d.groundVelGlobal;
    }
    // Angular velocity is limited to 100 Hz against numerical blow-up.
    const double vmax = 100.0 * kPi, wl = length(s.w);
    if (wl > vmax) s.w = s.w * (vmax / wl);
    const bool turnedNow = !(s.w.x == 0.0 && s.w.y == 0.0 && s.w.z == 0.0) ||
                           !(s0.w.x == 0.0 && s0.w.y == 0.0 && s0.w.z == 0.0);
    v.pos = s.pos;
    v.vel = s.vel;
    v.vrot = s.w;
    if (turnedNow) {
        v.rot = s.rot;
        v.arot = anglesFromRotation(v.rot);
    }
    v.readings.gLoad = length(ng) / (dt * kG0);
}

// The touchdown points pressed in by a weight `mg` shared among their springs as a rigid body
// resting on them shares it: each moves along the normal of their plane by its compression.
void compressedPoints(const VesselRecord& v, double mg, VECTOR3 out[3]) {
    const VECTOR3* tp = v.touchdown;
    for (int i = 0; i < 3; ++i) out[i] = tp[i];
    const VECTOR3 n = crossp(tp[0] - (tp[1] + tp[2]) * 0.5, tp[2] - tp[1]);
    const double len = length(n);
    if (!(len > 1e-12) || mg == 0.0) return;
    const VECTOR3 nm = n / len;
    // Into the frame of the points' plane: x along the second to the third point, y its normal.
    const VECTOR3 ex = unit(tp[2] - tp[1]);
    const VECTOR3 ez = crossp(ex, nm);
    double a = 0, b = 0, c = 0, d = 0, e = 0, f = 0, x[3], z[3];
    for (int i = 0; i < 3; ++i) {
        const double k = v.dyn.stiffness[i];
        x[i] = dotp(ex, tp[i]);
        z[i] = dotp(ez, tp[i]);
        a += k;
        b += k * x[i];
        c += k * z[i];
        d += k * x[i] * x[i];
        e += k * x[i] * z[i];
        f += k * z[i] * z[i];
    }
    const double den = c * c * d - 2.0 * b * c * e + b * b * f + a * (e * e - d * f);
    if (den == 0.0) return;
    const double dy = (e * e - d * f) / den, sx = (b * f - c * e) / den, sz = (c * d - b * e) / den;
    for (int i = 0; i < 3; ++i) out[i] = tp[i] + nm * ((dy + sx * x[i] + sz * z[i]) * mg);
}

}  // namespace

void bodyGlobal(const CentralBody* b, double t, VECTOR3& pos, VECTOR3& vel) {
    struct Entry {
        const CentralBody* b = nullptr;
        double t = 0.0, mjd0 = 0.0;
        VECTOR3 pos{}, vel{};
    };
    static Entry cache[2];
    static int next = 0;
    if (!b || !b->orbitsSun) {
        pos = vel = VECTOR3{};
        return;
    }
    const double mjd0 = world().mjd0;
    for (const Entry& e : cache)
        if (e.b == b && e.t == t && e.mjd0 == mjd0) {
            pos = e.pos;
            vel = e.vel;
            return;
        }
    Entry& e = cache[next];
    next ^= 1;
    e.b = b;
    e.t = t;
    e.mjd0 = mjd0;
    b->globalState(mjd0 + t / 86400.0, e.pos, e.vel);
    pos = e.pos;
    vel = e.vel;
}

void keepStepStart(VesselRecord& v) {
    DynamicState& d = v.dyn;
    d.startStep = world().step;
    d.pos0 = v.pos;
    d.vel0 = v.vel;
    d.vrot0 = v.vrot;
    d.rot0 = v.rot;
}

SeenState seenState(const VesselRecord& v) {
    const World& w = world();
    const DynamicState& d = v.dyn;
    SeenState s;
    if (w.stateUpdate && d.startStep == w.step) {
        s.rpos = d.pos0;
        s.rvel = d.vel0;
        s.vrot = d.vrot0;
        s.rot = d.rot0;
    } else {
        s.rpos = v.pos;
        s.rvel = v.vel;
        s.vrot = v.vrot;
        s.rot = v.rot;
    }
    bodyGlobal(d.body, w.stepOpen ? w.passStart : w.time, s.bodyPos, s.bodyVel);
    return s;
}

VECTOR3 horizonRot(const VesselRecord& v, const VECTOR3& local) {
    const World& w = world();
    const SeenState s = seenState(v);
    const Vessel::Readings& r = v.readings;
    const MATRIX3 Rb = bodyRot(*v.dyn.body, w.stepOpen ? w.passStart : w.time);
    const double slng = std::sin(r.longitude), clng = std::cos(r.longitude);
    const double slat = std::sin(r.latitude), clat = std::cos(r.latitude);
    const MATRIX3 L2H = horizonFrame(slng, clng, slat, clat);
    return mul(L2H, tmul(Rb, mul(s.rot, local)));
}

double heading(const VesselRecord& v) {
    if (v.status == 1) return v.surfHdg;
    const World& w = world();
    const MATRIX3 Rb = bodyRot(*v.dyn.body, w.stepOpen ? w.passStart : w.time);
    return headingOf(seenState(v).rot, Rb, v.readings.longitude, v.readings.latitude);
}

void resolveBody(VesselRecord& v) {
    if (v.dyn.bodyName == v.refBody && (v.dyn.body || v.dyn.bodyName.size())) return;
    v.dyn.bodyName = v.refBody;
    v.dyn.body = centralBody(v.refBody, world().mjd0);
    v.readings = Vessel::Readings();
    v.readings.hasBody = v.dyn.body != nullptr;
}

void setTouchdownPoints(VesselRecord& v, const VECTOR3& a, const VECTOR3& b, const VECTOR3& c) {
    v.touchdown[0] = a;
    v.touchdown[1] = b;
    v.touchdown[2] = c;
    const double k = v.emptyMass == 1e3 ? 1e6 : v.emptyMass * 20.0;
    for (int i = 0; i < 3; ++i) {
        v.dyn.stiffness[i] = k;
        v.dyn.damping[i] = 0.1 * k;
    }
}

void placeOrbiting(VesselRecord& v) {
    resolveBody(v);
    const CentralBody* b = v.dyn.body;
    v.dyn.testing = false;
    v.dyn.surfaceContact = false;
    v.dyn.startKnown = false;
    if (!b) return;
    if (v.pos.x == 0.0 && v.pos.y == 0.0 && v.pos.z == 0.0) v.pos.z = 1.0;
    const double r = length(v.pos);
    if (r < b->size) v.pos = v.pos * (b->size / r);
    const World& w = world();
    if (w.stateUpdate) {
        // Placed during a step's update, the vessel is put where the body was at the step's
        // start, and the body's new place takes over when the update ends: it lags behind by
        // the body's motion in the step.
        VECTOR3 p0, v0, p1, v1;
        bodyGlobal(b, w.passStart, p0, v0);
        bodyGlobal(b, w.time, p1, v1);
        v.pos += p0 - p1;
        v.vel += v0 - v1;
    }
    updateReadings(v);
}

void placeLanded(VesselRecord& v, double lng, double lat, double hdg, const MATRIX3* hrot,
                 double alt, bool weighed) {
    resolveBody(v);
    v.status = 1;
    v.surfLng = lng;
    v.surfLat = lat;
    v.surfHdg = hdg;
    v.vrot = _V(0, 0, 0);
    DynamicState& d = v.dyn;
    d.testing = false;
    d.surfaceContact = true;
    d.startKnown = false;
    const CentralBody* b = d.body;
    const double slng = std::sin(lng), clng = std::cos(lng);
    const double slat = std::sin(lat), clat = std::cos(lat);
    const MATRIX3 L2H = horizonFrame(slng, clng, slat, clat);
    VECTOR3 nml;
    if (hrot) {
        nml = tmul(*hrot, tmul(L2H, _V(0, 1, 0)));
    } else {
        // Standing on its three points, each pressed in by its share of the weight: the plane
        // through them is the ground, the centre of mass stands as high over it as they lie
        // below it.
        const double mg = b && weighed ? b->mu * v.mass() / (b->size * b->size) : 0.0;
        VECTOR3 tp[3];
        compressedPoints(v, mg, tp);
        nml = unit(crossp(tp[0] - (tp[1] + tp[2]) * 0.5, tp[2] - tp[1]));
        alt = dotp(nml, -tp[0]);
    }
    if (hrot) {
        d.landRot = *hrot;
    } else {
        const double sd = std::sin(hdg), cd = std::cos(hdg);
        d.landRot = _M(clng * slat * sd - slng * cd, clng * clat, -clng * slat * cd - slng * sd,
                       -clat * sd, slat, clat * cd, slng * slat * sd + clng * cd, clat * slng,
                       -slng * slat * cd + clng * sd);
        const double tilt = std::acos(std::max(-1.0, std::min(1.0, nml.y)));
        if (tilt > 1e-8) {
            const double phi = std::atan2(nml.x, -nml.z);
            const double sp = std::sin(phi), cp = std::cos(phi);
            const double sa = std::sin(tilt), ca = std::cos(tilt);
            MATRIX3 R = _M(cp, 0, sp, 0, 1, 0, -sp, 0, cp);
            R = mulMM(_M(1, 0, 0, 0, ca, -sa, 0, sa, ca), R);
            R = mulMM(_M(cp, 0, -sp, 0, 1, 0, sp, 0, cp), R);
            d.landRot = mulMM(d.landRot, R);
        }
    }
    v.landAlt = alt;
    v.landArot = anglesFromRotation(d.landRot);
    if (!b) return;
    const double rad = b->size + alt;
    d.ploc = _V(rad * clat * clng, rad * slat, rad * clat * slng);
    const double t = world().time;
    const MATRIX3 Rb = bodyRot(*b, t);
    const double vg = kTwoPi * b->size * clat / b->rotT;
    v.pos = mul(Rb, d.ploc);
    v.vel = mul(Rb, _V(-vg * slng, 0.0, vg * clng));
    v.rot = mulMM(Rb, d.landRot);
    v.arot = anglesFromRotation(v.rot);
    surfaceReadings(v, Rb, world().mjd0 + t / 86400.0);
    // Standing: no air moves past it, the ground carries its weight.
    Vessel::Readings& r = v.readings;
    r.longitude = lng;
    r.latitude = lat;
    r.airspeed = r.dynPressure = r.mach = 0.0;
    r.horizonAirspeed = _V(0, 0, 0);
    r.groundContact = true;
    const double gr = b->mu / (rad * rad);
    const double cent = vg * vg / rad;
    r.gLoad = std::sqrt(gr * gr - 2.0 * gr * cent * clat + cent * cent) / kG0;
}

void updateReadings(VesselRecord& v) {
    if (!v.dyn.body || v.status == 1) return;
    const double t = world().time;
    const MATRIX3 Rb = bodyRot(*v.dyn.body, t);
    surfaceReadings(v, Rb, world().mjd0 + t / 86400.0);
    v.readings.groundContact = touchdownBelow(v, Rb);
}

void bodyForces(VesselRecord& v, double dt, double mass) {
    moveControlSurfaces(v, dt);
    if (v.dyn.body && v.dyn.inAtmosphere && mass > 0.0 && !airfoilForces(v, mass, dt)) {
        aerodynamicForces(v, mass);
        olderModelForces(v, mass);
    }
}

void flyBody(VesselRecord& body, double dt, double mass) {
    DynamicState& d = body.dyn;
    const CentralBody* b = d.body;
    const double t = world().time;
    if (b) {
        // The contact state and ground speed of the body as the step starts.
        const MATRIX3 Rb = bodyRot(*b, t - dt);
        surfaceReadings(body, Rb, world().mjd0 + (t - dt) / 86400.0);
        d.surfaceContact = touchdownBelow(body, Rb);
    }
    if (mass > 0.0) {
        flyFree(body, dt, mass);
    } else {
        body.pos += body.vel * dt;
    }
}

void flyVessel(VesselRecord& v, double dt, double mass) {
    DynamicState& d = v.dyn;
    const CentralBody* b = d.body;
    const double t = world().time;
    moveControlSurfaces(v, dt);
    if (v.status == 1) {
        // Landed: carried round by the body until a force acts on it.
        const bool forced = d.thrustEngaged || d.flin.x != 0.0 || d.flin.y != 0.0 ||
                            d.flin.z != 0.0 || d.amom.x != 0.0 || d.amom.y != 0.0 ||
                            d.amom.z != 0.0;
        if (b) {
            const MATRIX3 Rb = bodyRot(*b, t);
            const double vg = kTwoPi * b->size * std::cos(v.surfLat) / b->rotT;
            v.pos = mul(Rb, d.ploc);
            v.vel = mul(Rb, _V(-vg * std::sin(v.surfLng), 0.0, vg * std::cos(v.surfLng)));
            v.rot = mulMM(Rb, d.landRot);
        }
        if (forced) {
            v.status = 0;
            v.pad = -1;  // a pad is held only while standing on it
            v.vrot = _V(0, 0, 0);
            v.arot = anglesFromRotation(v.rot);
            d.surfaceContact = true;
            d.startKnown = false;
        }
        return;
    }
    if (b && d.inAtmosphere && mass > 0.0 && !airfoilForces(v, mass, dt)) {
        aerodynamicForces(v, mass);
        olderModelForces(v, mass);
    }
    if (mass > 0.0) {
        flyFree(v, dt, mass);
    } else {
        v.pos += v.vel * dt;
    }
    if (!b) return;
    const MATRIX3 Rb = bodyRot(*b, t);
    surfaceReadings(v, Rb, world().mjd0 + t / 86400.0);
    d.surfaceContact = touchdownBelow(v, Rb);
    v.readings.groundContact = d.surfaceContact;
    checkLanded(v, Rb, t);
}

}  // namespace detail
}  // namespace host
