#include "Factory.h"

#include "Aerobell.h"

#include <unordered_set>

namespace {

// Every cone this module made and has not destroyed. When ovcInit gives null, the simulator
// gives the vessel a plain object of its own and still hands that object to ovcExit; only the
// objects listed here are the module's to destroy. Never freed, so it outlives every caller.
std::unordered_set<const VESSEL*>& madeHere() {
    static auto* made = new std::unordered_set<const VESSEL*>;
    return *made;
}

}  // namespace

VESSEL* CreateAerobellVessel(OBJHANDLE hVessel, int flightmodel) {
    AEROBELL* cone = nullptr;
    try {
        cone = new AEROBELL(hVessel, flightmodel);
        madeHere().insert(cone);
        return cone;
    } catch (...) {
        // No exception may cross into the simulator; it gives the vessel a plain object instead.
        delete cone;
        return nullptr;
    }
}

void DestroyAerobellVessel(VESSEL* vessel) {
    if (vessel == nullptr || madeHere().erase(vessel) == 0) return;
    // The simulator's classes have no virtual destructor: destroy the object as its full type.
    delete static_cast<AEROBELL*>(vessel);
}
