// Parent and child vessels on attachment points, linked as the simulator links them, and the
// attitude convention a child's placement is computed in.
#include "World.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace host {
namespace detail {

namespace {

MATRIX3 basis(const VECTOR3& dir, const VECTOR3& rotRef) {
    // Columns: dir, rot made orthogonal to dir, and their cross product.
    VECTOR3 a = unit(dir);
    VECTOR3 b = rotRef - a * dotp(rotRef, a);
    double lb = length(b);
    if (lb < 1e-12) {
        VECTOR3 t = std::fabs(a.x) < 0.9 ? _V(1, 0, 0) : _V(0, 1, 0);
        b = t - a * dotp(t, a);
        lb = length(b);
    }
    b = b / lb;
    VECTOR3 c = crossp(a, b);
    return _M(a.x, b.x, c.x, a.y, b.y, c.y, a.z, b.z, c.z);
}

// Bit for bit, so that a cached result is reused only for exactly the inputs it came from.
template <class T>
bool sameBits(const T& a, const T& b) {
    static_assert(sizeof(T) % sizeof(std::uint64_t) == 0, "compared in 64-bit words");
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

// Every attach and detach is recorded and heard by the listeners alike.
void recordAttachment(bool attached, Vessel& parent, Vessel& child, Attachment* pp,
                      Attachment* cp) {
    World& w = world();
    AttachRecord r;
    r.time = w.time;
    r.attach = attached;
    r.parent = &parent;
    r.child = &child;
    r.parentPoint = pp;
    r.childPoint = cp;
    w.records.attachments.push_back(r);
    notify([&](Listener& l) {
        if (attached) {
            l.onAttached(r);
        } else {
            l.onDetached(r);
        }
    });
}

}  // namespace

Attachment* pointAt(VesselRecord& v, bool toParent, long index) {
    if (index < 0) return nullptr;  // as an unsigned index: past every point
    for (auto& a : v.attachments)
        if (a->toParent == toParent && index-- == 0) return a.get();
    return nullptr;
}

long pointIndex(const Vessel& v, const Attachment* a) {
    long n = 0;
    for (const auto& b : v.attachments) {
        if (b.get() == a) return n;
        if (b->toParent == a->toParent) ++n;
    }
    return -1;
}

void carryChildren(VesselRecord& v) {
    for (auto& a : v.attachments)
        if (!a->toParent && a->attached && a->attached->parentPoint == a.get())
            placeChild(*static_cast<VesselRecord*>(a->attached));
}

void placeChild(VesselRecord& child) {
    Attachment* pp = child.parentPoint;
    Attachment* cp = child.ownPoint;
    if (!pp || !cp || !cp->attached) return;
    // The parent is the vessel the child's point is linked to, whoever owns the point it took.
    VesselRecord& parent = *static_cast<VesselRecord*>(cp->attached);
    VesselRecord::Placement& c = child.placement;
    if (c.parentPoint != pp || c.ownPoint != cp || !sameBits(c.parentRot, parent.rot)) {
        // Child axes relative to the parent: its point's direction turned opposite to the
        // parent's, its rotation reference along the parent's.
        MATRIX3 target = basis(-pp->dir, pp->rot);
        MATRIX3 own = basis(cp->dir, cp->rot);
        MATRIX3 rel = mulMM(target, transpose(own));
        c.arot = anglesFromRotation(mulMM(parent.rot, rel));
        c.rot = rotationFromAngles(c.arot);
        c.parentRot = parent.rot;
        c.parentPoint = pp;
        c.ownPoint = cp;
    }
    child.arot = c.arot;
    child.rot = c.rot;
    child.pos = parent.pos + mul(parent.rot, pp->pos) - mul(child.rot, cp->pos);
    child.vel = parent.vel;
    child.vrot = parent.vrot;
    child.status = parent.status;
    updateReadings(child);
    carryChildren(child);
}

bool attach(VesselRecord& parent, Attachment* pp, VesselRecord& child, Attachment* cp,
            const std::string& file, int line) {
    // A child leaves its old parent first, whether or not the new link is made.
    if (child.ownPoint) detachFromParent(child, 0.0);
    if (!cp) return false;
    if (!pp) {
        stopHere(file, line,
                 "vessel '" + child.name + "' is attached to a point vessel '" + parent.name +
                     "' does not have");
        return false;
    }
    // The simulator links any two points as given: of either kind, of other vessels, or closing
    // a loop. A child is carried only from a parent-side point of the vessel that owns it, so
    // one linked otherwise, and every vessel of a loop, stays where it is.
    // The parent's point takes the new child; one it held before stays linked to it, frozen.
    cp->attached = &parent;
    cp->mate = pp;
    child.ownPoint = cp;
    child.parentPoint = pp;
    pp->attached = &child;
    pp->mate = cp;
    recordAttachment(true, parent, child, pp, cp);
    return true;
}

void detachFromParent(VesselRecord& child, double vel) {
    Attachment* cp = child.ownPoint;
    Attachment* pp = child.parentPoint;
    if (!cp || !pp) return;
    Vessel& parent = cp->attached ? *cp->attached : *pp->owner;
    if (vel != 0.0) child.vel += mul(parent.rot, pp->dir) * vel;
    cp->attached = nullptr;
    cp->mate = nullptr;
    pp->attached = nullptr;
    pp->mate = nullptr;
    child.ownPoint = nullptr;
    child.parentPoint = nullptr;
    // Free now, it flies from where its parent held it.
    if (child.status == 1) {
        child.status = 0;
        child.pad = -1;
        child.vrot = _V(0, 0, 0);
    }
    child.dyn.testing = false;
    findProxy(child);
    recordAttachment(false, parent, child, pp, cp);
}

bool detachChild(VesselRecord& parent, Attachment* pp, double vel) {
    // As the simulator: the vessel linked at the point leaves whatever it hangs on. On a point
    // by which a vessel hangs on its parent, that is the parent leaving its own parent.
    if (!pp->attached) return false;
    VesselRecord& mate = *static_cast<VesselRecord*>(pp->attached);
    if (!mate.ownPoint) return false;
    detachFromParent(mate, vel);
    pp->attached = nullptr;
    pp->mate = nullptr;
    if (pp->owner->ownPoint == pp) {
        // Its owner still hangs by the point, now linked to nothing: the simulator reads the
        // missing parent when it next places that vessel.
        stopHere("", 0,
                 "DetachChild on vessel '" + parent.name + "': its point links it to '" +
                     mate.name + "' no more, and it hangs on nothing");
    }
    return true;
}

}  // namespace detail

MATRIX3 rotationFromAngles(const VECTOR3& a) {
    const double ca = std::cos(a.x), sa = std::sin(a.x);
    const double cb = std::cos(a.y), sb = std::sin(a.y);
    const double cc = std::cos(a.z), sc = std::sin(a.z);
    MATRIX3 rxT = _M(1, 0, 0, 0, ca, sa, 0, -sa, ca);
    MATRIX3 ryT = _M(cb, 0, -sb, 0, 1, 0, sb, 0, cb);
    MATRIX3 rzT = _M(cc, sc, 0, -sc, cc, 0, 0, 0, 1);
    return detail::mulMM(detail::mulMM(rxT, ryT), rzT);
}

VECTOR3 anglesFromRotation(const MATRIX3& R) {
    const VECTOR3 gX = _V(R.m11, R.m21, R.m31);
    const VECTOR3 gY = _V(R.m12, R.m22, R.m32);
    const VECTOR3 gZ = _V(R.m13, R.m23, R.m33);
    const double lz = length(gZ);
    double s = lz > 0.0 ? -gZ.x / lz : 0.0;
    s = std::max(-1.0, std::min(1.0, s));
    return _V(std::atan2(gZ.y, gZ.z), std::asin(s), std::atan2(gY.x, gX.x));
}

}  // namespace host
