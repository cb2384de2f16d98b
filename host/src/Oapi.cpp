// The simulator's free functions for vessels, time and input.
#include "World.h"

#include <cmath>
#include <cstring>

using namespace host;
using namespace host::detail;

DWORD oapiGetVesselCount() { return static_cast<DWORD>(world().vessels.size()); }

OBJHANDLE oapiGetVesselByIndex(int index) {
    World& w = world();
    if (index < 0 || static_cast<size_t>(index) >= w.vessels.size()) return nullptr;
    return w.vessels[static_cast<size_t>(index)];
}

OBJHANDLE oapiGetVesselByName(char* name) { return name ? find(name) : nullptr; }

VESSEL* oapiGetVesselInterface(OBJHANDLE hVessel) {
    return valid(hVessel) ? asVessel(hVessel)->iface : nullptr;
}

OBJHANDLE oapiGetFocusObject() { return world().focus; }

VESSEL* oapiGetFocusInterface() {
    Vessel* f = world().focus;
    return f ? f->iface : nullptr;
}

OBJHANDLE oapiSetFocusObject(OBJHANDLE hVessel) {
    World& w = world();
    Vessel* old = w.focus;
    if (!valid(hVessel)) return nullptr;
    if (hVessel != old) setFocus(hVessel);
    return old;
}

void oapiGetObjectName(OBJHANDLE hObj, char* name, int n) {
    if (!name || n <= 0) return;
    name[0] = '\0';
    if (!valid(hObj)) return;
    const std::string& s = asVessel(hObj)->name;
    size_t len = std::min(s.size(), static_cast<size_t>(n - 1));
    std::memcpy(name, s.data(), len);
    name[len] = '\0';
}

void oapiGetGlobalPos(OBJHANDLE hObj, VECTOR3* pos) {
    if (pos) *pos = valid(hObj) ? asVessel(hObj)->pos : _V(0, 0, 0);
}
void oapiGetGlobalVel(OBJHANDLE hObj, VECTOR3* vel) {
    if (vel) *vel = valid(hObj) ? asVessel(hObj)->vel : _V(0, 0, 0);
}
double oapiGetSize(OBJHANDLE hObj) { return valid(hObj) ? asVessel(hObj)->size : 0.0; }
double oapiGetMass(OBJHANDLE hObj) { return valid(hObj) ? asVessel(hObj)->mass() : 0.0; }

OBJHANDLE oapiCreateVessel(const char* name, const char* classname, const VESSELSTATUS& status) {
    return createVessel(name ? name : "", classname ? classname : "", status);
}

bool oapiDeleteVessel(OBJHANDLE hVessel, OBJHANDLE hAlternativeCameraTarget) {
    World& w = world();
    if (!valid(hVessel)) return false;
    if (w.focus == hVessel && valid(hAlternativeCameraTarget) && hAlternativeCameraTarget != hVessel)
        setFocus(hAlternativeCameraTarget);
    return deleteVessel(hVessel);
}

double oapiGetSimTime() { return world().time; }
double oapiGetSimStep() { return world().dt; }

bool oapiAcceptDelayedKey(char key, double repdelay) {
    World& w = world();
    const int k = static_cast<unsigned char>(key);
    auto it = w.keyAccepted.find(k);
    // Times are whole multiples of the step; the nanosecond allowance absorbs their rounding.
    if (it != w.keyAccepted.end() && w.time - it->second < repdelay - 1e-9) return false;
    w.keyAccepted[k] = w.time;
    return true;
}
