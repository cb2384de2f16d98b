#include "Factory.h"

#include "Aerobell.h"
#include "Guard.h"

#include <unordered_set>

namespace {

// Every cone this module made and has not destroyed. When ovcInit gives null, the simulator
// gives the vessel a plain object of its own and still hands that object to ovcExit; only the
// objects listed here are the module's to destroy. On the heap, so that it outlives every caller
// however statics are torn down, and freed with the last cone: the simulator unloads the module
// once its last vessel has gone, and loads it anew for the next.
std::unordered_set<const VESSEL*>* made = nullptr;

std::unordered_set<const VESSEL*>& madeHere() {
    if (made == nullptr) made = new std::unordered_set<const VESSEL*>;
    return *made;
}

void freeWhenEmpty() {
    if (made != nullptr && made->empty()) {
        delete made;
        made = nullptr;
    }
}

}  // namespace

VESSEL* CreateAerobellVessel(OBJHANDLE hVessel, int flightmodel) {
    AEROBELL* cone = nullptr;
    const bool built = guarded(nullptr, "ovcInit", [&] {
        cone = new AEROBELL(hVessel, flightmodel);
        madeHere().insert(cone);
    });
    if (built) return cone;
    // The simulator gives the vessel a plain object instead.
    delete cone;
    freeWhenEmpty();
    return nullptr;
}

void DestroyAerobellVessel(VESSEL* vessel) {
    if (vessel == nullptr || made == nullptr || made->erase(vessel) == 0) return;
    freeWhenEmpty();
    // The simulator's classes have no virtual destructor: destroy the object as its full type.
    delete static_cast<AEROBELL*>(vessel);
}
