// The module's two exported entry points, through which the simulator creates and destroys one
// cone object per vessel.
#include "Factory.h"

DLLCLBK VESSEL* ovcInit(OBJHANDLE hVessel, int flightmodel) {
    return CreateAerobellVessel(hVessel, flightmodel);
}

DLLCLBK void ovcExit(VESSEL* vessel) { DestroyAerobellVessel(vessel); }
