#include "Factory.h"

#include "Aerobell.h"

VESSEL* CreateAerobellVessel(OBJHANDLE hVessel, int flightmodel) {
    try {
        return new AEROBELL(hVessel, flightmodel);
    } catch (...) {
        // The simulator refuses a vessel whose module gives no object; no exception may cross.
        return nullptr;
    }
}

void DestroyAerobellVessel(VESSEL* vessel) {
    if (vessel == nullptr) return;
    // The simulator's classes have no virtual destructor: destroy the object as its full type.
    delete static_cast<AEROBELL*>(vessel);
}
