// Docked vessels as the simulator joins them: their ports brought together, one rigid body of
// the summed mass flown with the forces of all its members, and parted again on undocking.
//
// Frames are the simulator's left-handed ones: a point fixed in a body at p (relative to its
// centre of mass) moves with p x omega, a force F at p turns it by F x p, and the angular
// momentum of a mass m at p moving with v is m (v x p). Inertia is per unit mass (PMI), as the
// simulator keeps it: a body's diagonal moments, each member's own moments turned into the
// body's frame plus the parallel-axis terms of its place, summed by mass and divided by the total.
#include "Dynamics.h"
#include "World.h"

#include <algorithm>
#include <cmath>

namespace host {
namespace detail {

namespace {

// Ports closer than this catch each other.
constexpr double kCaptureDistance = 0.5;

// The inverse of a matrix by its adjugate; the zero matrix where it is singular.
MATRIX3 inverse(const MATRIX3& m) {
    const double a = m.m11, b = m.m12, c = m.m13, d = m.m21, e = m.m22, f = m.m23, g = m.m31,
                 h = m.m32, i = m.m33;
    const double A = e * i - f * h, B = f * g - d * i, C = d * h - e * g;
    const double det = a * A + b * B + c * C;
    if (det == 0.0) return MATRIX3{};
    const double k = 1.0 / det;
    return _M(A * k, (c * h - b * i) * k, (b * f - c * e) * k, B * k, (a * i - c * g) * k,
              (c * d - a * f) * k, C * k, (b * g - a * h) * k, (a * e - b * d) * k);
}

MATRIX3 columns(const VECTOR3& a, const VECTOR3& b, const VECTOR3& c) {
    return _M(a.x, b.x, c.x, a.y, b.y, c.y, a.z, b.z, c.z);
}

// Where `mate` sits in `v`'s frame when its port `matePort` meets `v`'s port `port`: its
// attitude maps its port's direction onto the reverse of v's and the two rotation references
// onto each other (solved exactly, as the simulator solves it, for ports not quite orthonormal).
void dockedPlace(const VesselRecord& v, DWORD port, const VesselRecord& mate, DWORD matePort,
                 VECTOR3& P, MATRIX3& Rr) {
    const DockPort& mp = *mate.docks[matePort];
    const DockPort& vp = *v.docks[port];
    const VECTOR3 at = -vp.dir, bt = vp.rot;
    Rr = mulMM(columns(at, bt, crossp(at, bt)),
               inverse(columns(mp.dir, mp.rot, crossp(mp.dir, mp.rot))));
    P = vp.pos - mul(Rr, mp.pos);
}

// The members of the vessel's body: the composite's, or the vessel alone.
std::vector<VesselRecord*> bodyOf(VesselRecord& v) {
    if (v.composite) return v.composite->members;
    return {&v};
}

// Mass, centre of mass (global, relative to the central body) of a set of vessels.
double massOf(const std::vector<VesselRecord*>& vs, VECTOR3* centre) {
    double m = 0.0;
    VECTOR3 c{};
    for (const VesselRecord* v : vs) {
        m += v->mass();
        c += v->pos * v->mass();
    }
    if (centre) *centre = m > 0.0 ? c / m : (vs.empty() ? c : vs.front()->pos);
    return m;
}

// The member's own moments of inertia (per unit mass) turned into the body's frame: the
// diagonal of rel diag(pmi) rel^T.
VECTOR3 turnedPmi(const MATRIX3& rel, const VECTOR3& pmi) {
    VECTOR3 r{};
    for (int k = 0; k < 3; ++k)
        for (int j = 0; j < 3; ++j) {
            const double e = rel.data[k * 3 + j];
            r.data[k] += e * e * pmi.data[j];
        }
    return r;
}

// Moments of inertia (total, not per unit mass) of the body about the centre `cg` in its
// reference frame; member masses as given.
VECTOR3 inertiaOf(const Composite& c, const VECTOR3& cg, const std::vector<double>& masses) {
    VECTOR3 I{};
    for (size_t i = 0; i < c.members.size(); ++i) {
        const VECTOR3 r = c.offset[i] - cg;
        const VECTOR3 own = turnedPmi(c.rel[i], c.members[i]->pmi);
        const double m = masses[i];
        I.x += m * (own.x + r.y * r.y + r.z * r.z);
        I.y += m * (own.y + r.z * r.z + r.x * r.x);
        I.z += m * (own.z + r.x * r.x + r.y * r.y);
    }
    return I;
}

// Offsets and relative attitudes from the members' present states.
void relate(Composite& c) {
    const VesselRecord& ref = *c.members.front();
    c.offset.resize(c.members.size());
    c.rel.resize(c.members.size());
    for (size_t i = 0; i < c.members.size(); ++i) {
        const VesselRecord& m = *c.members[i];
        c.offset[i] = tmul(ref.rot, m.pos - ref.pos);
        c.rel[i] = mulMM(transpose(ref.rot), m.rot);
    }
}

// Every member moving with the rigid motion given by a point `at` moving with `vel` and the
// angular velocity `omega` (global frame).
void moveRigidly(const std::vector<VesselRecord*>& vs, const VECTOR3& at, const VECTOR3& vel,
                 const VECTOR3& omega) {
    for (VesselRecord* v : vs) {
        v->vel = vel + crossp(v->pos - at, omega);
        v->vrot = tmul(v->rot, omega);
    }
}

Composite* makeComposite(const std::vector<VesselRecord*>& members) {
    World& w = world();
    auto c = std::make_unique<Composite>();
    c->members = members;
    c->body = std::make_unique<VesselRecord>();
    for (VesselRecord* m : members) {
        m->composite = c.get();
        m->status = 0;
    }
    relate(*c);
    w.composites.push_back(std::move(c));
    return w.composites.back().get();
}

void dropComposite(Composite* c) {
    World& w = world();
    for (VesselRecord* m : c->members)
        if (m->composite == c) m->composite = nullptr;
    w.composites.erase(
        std::remove_if(w.composites.begin(), w.composites.end(),
                       [&](const std::unique_ptr<Composite>& p) { return p.get() == c; }),
        w.composites.end());
}

// The members joined to `from` through docked ports, not crossing the link (v, port).
std::vector<VesselRecord*> linked(VesselRecord& from, const Composite& c, const VesselRecord* cutV,
                                  DWORD cutPort) {
    std::vector<VesselRecord*> out{&from};
    for (size_t k = 0; k < out.size(); ++k) {
        VesselRecord& v = *out[k];
        for (size_t p = 0; p < v.docks.size(); ++p) {
            VesselRecord* m = rec(v.docks[p]->mate);
            if (!m) continue;
            const bool cut =
                (&v == cutV && p == cutPort) ||
                (m == cutV && v.docks[p]->mateDock == cutPort && cutV->docks[cutPort]->mate == &v);
            if (cut || std::find(out.begin(), out.end(), m) != out.end()) continue;
            if (std::find(c.members.begin(), c.members.end(), m) == c.members.end()) continue;
            out.push_back(m);
        }
    }
    // In the body's order, so that the reference stays the earliest member.
    std::vector<VesselRecord*> ordered;
    for (VesselRecord* m : c.members)
        if (std::find(out.begin(), out.end(), m) != out.end()) ordered.push_back(m);
    return ordered;
}

// A part of a parted body: a body of its own, or a free vessel.
void settle(const std::vector<VesselRecord*>& part) {
    if (part.size() > 1) {
        makeComposite(part);
    } else {
        for (VesselRecord* m : part) m->composite = nullptr;
    }
}

// The vessels of `moving` (the body of `mover`) turned and moved as one so that `mover`'s port
// meets `anchor`'s.
void moveToPort(const VesselRecord& anchor, DWORD anchorPort, const VesselRecord& mover,
                DWORD moverPort, const std::vector<VesselRecord*>& moving) {
    VECTOR3 P;
    MATRIX3 Rr;
    dockedPlace(anchor, anchorPort, mover, moverPort, P, Rr);
    const MATRIX3 newRot = mulMM(anchor.rot, Rr);
    const VECTOR3 newPos = anchor.pos + mul(anchor.rot, P);
    const MATRIX3 turn = mulMM(newRot, transpose(mover.rot));
    const VECTOR3 oldPos = mover.pos;
    for (VesselRecord* m : moving) {
        m->pos = newPos + mul(turn, m->pos - oldPos);
        m->rot = mulMM(turn, m->rot);
        m->arot = anglesFromRotation(m->rot);
    }
}

}  // namespace

void placeDocked(VesselRecord& anchor, DWORD anchorPort, VesselRecord& mover, DWORD moverPort) {
    const std::vector<VesselRecord*> moving = bodyOf(mover);
    moveToPort(anchor, anchorPort, mover, moverPort, moving);
    for (VesselRecord* m : moving) {
        m->vel = anchor.vel;
        m->status = anchor.status;
    }
}

uint32_t nameSum(const std::string& name) {
    unsigned char lanes[4] = {0, 0, 0, 0};
    for (size_t i = 0; i < name.size(); ++i) lanes[i % 4] += static_cast<unsigned char>(name[i]);
    return static_cast<uint32_t>(lanes[0]) | static_cast<uint32_t>(lanes[1]) << 8 |
           static_cast<uint32_t>(lanes[2]) << 16 | static_cast<uint32_t>(lanes[3]) << 24;
}

void dockVessels(VesselRecord& v1, DWORD p1, VesselRecord& v2, DWORD p2, bool mixMoments) {
    // The body that moves: the second vessel's, unless only it is docked already.
    const bool firstMoves = !v1.composite && v2.composite;
    VesselRecord& mover = firstMoves ? v1 : v2;
    VesselRecord& anchor = firstMoves ? v2 : v1;
    const DWORD moverPort = firstMoves ? p1 : p2, anchorPort = firstMoves ? p2 : p1;
    const std::vector<VesselRecord*> moving = bodyOf(mover);
    const std::vector<VesselRecord*> staying = bodyOf(anchor);

    moveToPort(anchor, anchorPort, mover, moverPort, moving);

    // One body: the anchor's first, its reference staying the reference.
    std::vector<VesselRecord*> all = staying;
    all.insert(all.end(), moving.begin(), moving.end());
    if (anchor.composite) dropComposite(anchor.composite);
    if (mover.composite) dropComposite(mover.composite);
    Composite* c = makeComposite(all);

    if (!mixMoments) {
        // The unmoved body's velocity becomes that of the new centre of mass, its turn the
        // whole's.
        VECTOR3 cg, p{};
        const double ms = massOf(staying, nullptr);
        for (VesselRecord* m : staying) p += m->vel * m->mass();
        massOf(all, &cg);
        moveRigidly(all, cg, ms > 0.0 ? p / ms : anchor.vel, mul(anchor.rot, anchor.vrot));
        return;
    }
    // Momentum and angular momentum (about the new centre, spins included) kept.
    std::vector<double> masses;
    VECTOR3 cg;
    const double M = massOf(all, &cg);
    if (!(M > 0.0)) return;
    VECTOR3 p{}, L{};
    for (VesselRecord* m : all) p += m->vel * m->mass();
    const VECTOR3 vcg = p / M;
    for (VesselRecord* m : all) {
        L += crossp(m->vel - vcg, m->pos - cg) * m->mass();
        const VECTOR3 spin = _V(m->pmi.x * m->vrot.x, m->pmi.y * m->vrot.y, m->pmi.z * m->vrot.z);
        L += mul(m->rot, spin) * m->mass();
        masses.push_back(m->mass());
    }
    const VesselRecord& ref = *c->members.front();
    const VECTOR3 I = inertiaOf(*c, tmul(ref.rot, cg - ref.pos), masses);
    const VECTOR3 Lb = tmul(ref.rot, L);
    VECTOR3 w{};
    for (int k = 0; k < 3; ++k) w.data[k] = I.data[k] > 0.0 ? Lb.data[k] / I.data[k] : 0.0;
    moveRigidly(all, cg, vcg, mul(ref.rot, w));
}

namespace {

// Two ports joined into one body, the docking told to listeners and to both modules.
void join(VesselRecord& v, DWORD n, VesselRecord& t, DWORD tgtn, bool mixMoments) {
    dockVessels(v, n, t, tgtn, mixMoments);
    notify([&](Listener& l) { l.onDocking(&v, n, &t, tgtn, true); });
    registerDocking(v, n, &t, tgtn);
    registerDocking(t, tgtn, &v, n);
}

}  // namespace

int dockTo(VesselRecord& v, DWORD n, VesselRecord& t, DWORD tgtn, UINT mode) {
    if (v.docks[n]->mate) return 1;
    if (t.docks[tgtn]->mate) return 2;
    if (v.composite && v.composite == t.composite) return 3;
    if (&t == &v) {
        stopHere("", 0, "VESSEL::Dock: vessel '" + v.name + "' asked to dock to itself");
        return 0;
    }
    if (mode == 3) {
        // Soft docking: the own port moved and turned onto the target's, then joined in place.
        DockPort& d = *v.docks[n];
        const DockPort& td = *t.docks[tgtn];
        d.pos = tmul(v.rot, mul(t.rot, td.pos) + t.pos - v.pos);
        d.dir = -tmul(v.rot, mul(t.rot, td.dir));
        d.rot = tmul(v.rot, mul(t.rot, td.rot));
        mode = 0;
    }
    if (mode == 1) {
        // The target's body brought to this vessel's port at its velocity.
        placeDocked(v, n, t, tgtn);
    } else if (mode != 0) {
        placeDocked(t, tgtn, v, n);
    }
    join(v, n, t, tgtn, true);
    return 0;
}

void scanDocking() {
    World& w = world();
    const size_t count = w.vessels.size();
    for (size_t i = 0; i < count && i < w.vessels.size(); ++i) {
        VesselRecord& v = *rec(w.vessels[i]);
        if (v.docks.empty() || v.status != 0 || !(w.time > v.undockTime + 1.0)) continue;
        // One other vessel a step, in turn.
        if (++v.scanVessel >= w.vessels.size()) v.scanVessel = 0;
        VesselRecord& o = *rec(w.vessels[v.scanVessel]);
        if (&o == &v || o.docks.empty() || o.refBody != v.refBody) continue;
        const double dst = dist(v.pos, o.pos);
        if (!(dst < 1.5 * (v.size + o.size) || dst < v.size + o.size + 1e3)) continue;
        for (size_t j = 0; j < v.docks.size(); ++j) {
            DockPort& dj = *v.docks[j];
            if (dj.mate) continue;
            for (size_t k = 0; k < o.docks.size(); ++k) {
                if (o.docks[k]->mate) continue;
                const VECTOR3 own = mul(v.rot, dj.pos) + v.pos;
                const VECTOR3 other = mul(o.rot, o.docks[k]->pos) + o.pos;
                if (!(dist(own, other) < kCaptureDistance)) continue;
                // Closing in, the port is marked; once no longer closing, it is caught.
                if (dotp(v.vel - o.vel, other - own) >= 0.0) {
                    dj.pending = &o;
                } else if (dj.pending == &o) {
                    dockTo(v, static_cast<DWORD>(j), o, static_cast<DWORD>(k), 0);
                    if (w.stop) return;
                }
            }
        }
    }
}

void registerDocking(VesselRecord& v, DWORD port, VesselRecord* mate, DWORD matePort) {
    DockPort& d = *v.docks[port];
    if (mate) {
        d.mate = mate;
        d.mateDock = matePort;
    } else {
        if (!d.mate) return;
        d.mate = nullptr;
        // No capture by approach for the next second.
        const World& w = world();
        v.undockTime = w.stepOpen ? w.passStart : w.time;
    }
    if (VESSEL2* cb = callbacks(v))
        callModule("clbkDockEvent", v, [&] { cb->clbkDockEvent(static_cast<int>(port), mate); });
}

bool undock(VesselRecord& v, UINT port, const VesselRecord* exclude, double vsep) {
    bool undocked = false;
    const size_t n0 = port == ALLDOCKS ? 0 : port;
    const size_t n1 = port == ALLDOCKS ? v.docks.size() : static_cast<size_t>(port) + 1;
    for (size_t n = n0; n < n1; ++n) {
        if (n >= v.docks.size() || !v.docks[n]->mate || v.docks[n]->mate == exclude) continue;
        VesselRecord& mate = *rec(v.docks[n]->mate);
        const DWORD matePort = v.docks[n]->mateDock;
        if (Composite* c = v.composite) {
            const std::vector<VesselRecord*> own = linked(v, *c, &v, static_cast<DWORD>(n));
            if (std::find(own.begin(), own.end(), &mate) == own.end()) {
                std::vector<VesselRecord*> rest;
                for (VesselRecord* m : c->members)
                    if (std::find(own.begin(), own.end(), m) == own.end()) rest.push_back(m);
                // Pushed apart along the port's axis, the momentum kept.
                const double m1 = massOf(own, nullptr), m2 = massOf(rest, nullptr);
                const VECTOR3 dir = unit(mul(v.rot, v.docks[n]->dir));
                if (m1 + m2 > 0.0) {
                    for (VesselRecord* m : own) m->vel -= dir * (vsep * m2 / (m1 + m2));
                    for (VesselRecord* m : rest) m->vel += dir * (vsep * m1 / (m1 + m2));
                }
                dropComposite(c);
                settle(own);
                settle(rest);
            }
        }
        notify([&](Listener& l) { l.onDocking(&v, static_cast<UINT>(n), &mate, matePort, false); });
        if (matePort < mate.docks.size()) registerDocking(mate, matePort, nullptr, 0);
        registerDocking(v, static_cast<DWORD>(n), nullptr, 0);
        undocked = true;
    }
    return undocked;
}

void resolveDocks(VesselRecord& v) {
    World& w = world();
    for (const LoadState::DockInfo& e : v.pendingDocks) {
        DockPort& d = *v.docks[e.port];
        d.mate = nullptr;
        d.mateDock = 0;
        // The first vessel whose name gives the same sums: the simulator matches no more.
        for (Vessel* o : w.vessels)
            if (e.nameSum != 0 && nameSum(o->name) == e.nameSum) {
                d.mate = o;
                d.mateDock = e.matePort;
                break;
            }
        if (e.line <= 0) continue;
        if (!d.mate) {
            w.scenario.notices.push_back({e.line, "DOCKINFO names no vessel '" + e.name +
                                                      "': the simulator leaves port " +
                                                      std::to_string(e.port) + " free"});
        } else if (d.mate->name != e.name) {
            w.scenario.notices.push_back(
                {e.line, "DOCKINFO names '" + e.name + "', which is no vessel's name: the " +
                             "simulator docks port " + std::to_string(e.port) + " to '" +
                             d.mate->name + "', whose name has the same byte sums"});
        }
    }
    v.pendingDocks.clear();
}

void initDocking(VesselRecord& v) {
    for (size_t i = 0; i < v.docks.size(); ++i) {
        VesselRecord* mate = rec(v.docks[i]->mate);
        if (!mate || (v.composite && v.composite == mate->composite)) continue;
        const DWORD matePort = v.docks[i]->mateDock;
        if (mate == &v) {
            stopHere("", 0, "vessel '" + v.name + "' is docked to itself (DOCKINFO)");
            return;
        }
        if (matePort >= mate->docks.size()) {
            stopHere("", 0,
                     "vessel '" + v.name + "' is docked at port " + std::to_string(matePort) +
                         " of '" + mate->name + "', which has " +
                         std::to_string(mate->docks.size()) + " (DOCKINFO)");
            return;
        }
        join(v, static_cast<DWORD>(i), *mate, matePort, false);
    }
}

void flyComposites(double dt) {
    World& w = world();
    thread_local std::vector<double> masses;
    for (auto& cp : w.composites) {
        Composite& c = *cp;
        VesselRecord& ref = *c.members.front();
        VesselRecord& b = *c.body;
        masses.clear();
        double M = 0.0;
        VECTOR3 cg{};
        for (size_t i = 0; i < c.members.size(); ++i) {
            masses.push_back(c.members[i]->stepMass);
            M += masses.back();
            cg += c.offset[i] * masses.back();
        }
        cg = M > 0.0 ? cg / M : VECTOR3{};
        const VECTOR3 I = inertiaOf(c, cg, masses);
        // The body in the reference's frame, centred on the centre of mass.
        b.refBody = ref.refBody;
        b.dyn.body = ref.dyn.body;
        b.dyn.bodyName = ref.dyn.bodyName;
        b.pos = ref.pos + mul(ref.rot, cg);
        b.vel = ref.vel + mul(ref.rot, crossp(cg, ref.vrot));
        b.rot = ref.rot;
        b.vrot = ref.vrot;
        b.pmi = M > 0.0 ? I / M : VECTOR3{};
        b.size = 0.0;
        b.dyn.flin = b.dyn.amom = VECTOR3{};
        b.dyn.thrustF = b.dyn.thrustM = b.dyn.thrustF0 = b.dyn.thrustM0 = VECTOR3{};
        b.dyn.startKnown = true;
        b.dyn.thrustEngaged = false;
        b.hullVertices.clear();
        for (size_t i = 0; i < c.members.size(); ++i) {
            const VesselRecord& m = *c.members[i];
            const VECTOR3 r = c.offset[i] - cg;
            const MATRIX3& rel = c.rel[i];
            // A member's force and torque about its own centre, as the body's about its centre.
            const auto add = [&](VECTOR3& F, VECTOR3& Mo, const VECTOR3& mF, const VECTOR3& mM) {
                const VECTOR3 f = mul(rel, mF);
                F += f;
                Mo += mul(rel, mM) + crossp(f, r);
            };
            add(b.dyn.flin, b.dyn.amom, m.dyn.flin, m.dyn.amom);
            add(b.dyn.thrustF, b.dyn.thrustM, m.dyn.thrustF, m.dyn.thrustM);
            add(b.dyn.thrustF0, b.dyn.thrustM0, m.dyn.thrustF0, m.dyn.thrustM0);
            b.dyn.startKnown = b.dyn.startKnown && m.dyn.startKnown;
            b.dyn.thrustEngaged = b.dyn.thrustEngaged || m.dyn.thrustEngaged;
            b.size = std::max(b.size, length(r) + m.size);
            // The reference's touchdown points are the body's; the others' points and
            // vertices touch the ground as its hull.
            for (int k = 0; k < 3; ++k) {
                const VECTOR3 p = mul(rel, m.touchdown[k]) + r;
                if (i == 0) {
                    b.touchdown[k] = p;
                    b.dyn.stiffness[k] = m.dyn.stiffness[k];
                    b.dyn.damping[k] = m.dyn.damping[k];
                    b.dyn.mu[k] = m.dyn.mu[k];
                    b.dyn.muLng[k] = m.dyn.muLng[k];
                } else {
                    b.hullVertices.push_back(
                        {p, m.dyn.stiffness[k], m.dyn.damping[k], m.dyn.mu[k], m.dyn.muLng[k]});
                }
            }
            for (const TOUCHDOWNVTX& h : m.hullVertices) {
                TOUCHDOWNVTX t = h;
                t.pos = mul(rel, h.pos) + r;
                b.hullVertices.push_back(t);
            }
        }
        flyBody(b, dt, M);
        for (size_t i = 0; i < c.members.size(); ++i) {
            VesselRecord& m = *c.members[i];
            const VECTOR3 r = c.offset[i] - cg;
            m.pos = b.pos + mul(b.rot, r);
            m.vel = b.vel + mul(b.rot, crossp(r, b.vrot));
            m.rot = mulMM(b.rot, c.rel[i]);
            m.arot = anglesFromRotation(m.rot);
            m.vrot = tmul(c.rel[i], b.vrot);
            updateReadings(m);
            m.readings.gLoad = b.readings.gLoad;
        }
        for (VesselRecord* m : c.members) carryChildren(*m);
    }
}

}  // namespace detail
}  // namespace host
