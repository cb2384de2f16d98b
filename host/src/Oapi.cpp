// The simulator's free functions for vessels and the focus.
#include "World.h"

#include <algorithm>
#include <cstring>

using namespace host;
using namespace host::detail;

DWORD oapiGetVesselCount() { return static_cast<DWORD>(world().vessels.size()); }

OBJHANDLE oapiGetVesselByIndex(int index) {
    World& w = world();
    if (index < 0 || static_cast<size_t>(index) >= w.vessels.size()) return nullptr;
    return w.vessels[static_cast<size_t>(index)];
}

OBJHANDLE oapiGetVesselByName(char* name) {
    if (!name) {
        stopHere("", 0, "oapiGetVesselByName was given a null name");
        return nullptr;
    }
    return findVessel(name);
}

// The simulator reads the object behind a handle without looking at it first: a null handle
// (or a null place for the answer) is its crash, which the host makes a stop naming the call.
static bool given(const void* p, const char* call, const char* what = "a null handle") {
    if (p) return true;
    stopHere("", 0, std::string(call) + " was given " + what);
    return false;
}

VESSEL* oapiGetVesselInterface(OBJHANDLE hVessel) {
    if (!given(hVessel, "oapiGetVesselInterface")) return nullptr;
    return valid(hVessel) ? rec(hVessel)->iface : nullptr;
}

OBJHANDLE oapiGetFocusObject() { return world().focus; }

VESSEL* oapiGetFocusInterface() {
    VesselRecord* f = world().focus;
    return f ? f->iface : nullptr;
}

OBJHANDLE oapiSetFocusObject(OBJHANDLE hVessel) {
    World& w = world();
    if (!given(hVessel, "oapiSetFocusObject")) return nullptr;
    // The previous focus, or null when nothing changes.
    if (!valid(hVessel) || hVessel == w.focus) return nullptr;
    VesselRecord* old = w.focus;
    setFocusTo(rec(hVessel));
    return old;
}

void oapiGetObjectName(OBJHANDLE hObj, char* name, int n) {
    if (!name) {
        stopHere("", 0, "oapiGetObjectName was given no buffer");
        return;
    }
    if (!given(hObj, "oapiGetObjectName") || n <= 0 || !valid(hObj)) return;
    // As strncpy: a name of n characters or more fills the buffer without a terminating NUL.
    const std::string& s = rec(hObj)->name;
    const size_t len = std::min(s.size(), static_cast<size_t>(n));
    std::memcpy(name, s.data(), len);
    if (len < static_cast<size_t>(n)) std::memset(name + len, 0, static_cast<size_t>(n) - len);
}

// A celestial body's global state where the interface shows the vessels' (the step's start
// while a step is open), so that a vessel's global state less its body's is its relative one.
static void bodyGlobalNow(const CentralBody* b, VECTOR3& pos, VECTOR3& vel) {
    const World& w = world();
    bodyGlobal(b, w.stepOpen ? w.passStart : w.time, pos, vel);
}

void oapiGetGlobalPos(OBJHANDLE hObj, VECTOR3* pos) {
    if (!given(hObj, "oapiGetGlobalPos") || !given(pos, "oapiGetGlobalPos", "no vector")) return;
    const CentralBody* b;
    VECTOR3 vel;
    if (bodyBehind(hObj, b)) bodyGlobalNow(b, *pos, vel);
    else *pos = valid(hObj) ? seenState(*rec(hObj)).globalPos() : _V(0, 0, 0);
}
void oapiGetGlobalVel(OBJHANDLE hObj, VECTOR3* vel) {
    if (!given(hObj, "oapiGetGlobalVel") || !given(vel, "oapiGetGlobalVel", "no vector")) return;
    const CentralBody* b;
    VECTOR3 pos;
    if (bodyBehind(hObj, b)) bodyGlobalNow(b, pos, *vel);
    else *vel = valid(hObj) ? seenState(*rec(hObj)).globalVel() : _V(0, 0, 0);
}
// On a celestial body: its mean radius and mass (0 for a body the host does not model).
double oapiGetSize(OBJHANDLE hObj) {
    if (!given(hObj, "oapiGetSize")) return 0.0;
    const CentralBody* b;
    if (bodyBehind(hObj, b)) return b ? b->size : 0.0;
    return valid(hObj) ? rec(hObj)->size : 0.0;
}
double oapiGetMass(OBJHANDLE hObj) {
    if (!given(hObj, "oapiGetMass")) return 0.0;
    const CentralBody* b;
    if (bodyBehind(hObj, b)) return b ? b->mass : 0.0;
    return valid(hObj) ? rec(hObj)->mass() : 0.0;
}
