// Creation and destruction of the module's vessel objects. The exported entry points call these;
// in-process users (tests, a host that links the module statically) may call them directly.
#ifndef AEROBELL_FACTORY_H
#define AEROBELL_FACTORY_H

#include "OrbiterModule.h"

// A new cone for the simulator's object handle, or null when construction failed.
VESSEL* CreateAerobellVessel(OBJHANDLE hVessel, int flightmodel);
// Destroys an object made by CreateAerobellVessel; null, and any object it did not make (the
// simulator's own stand-in for a vessel whose module gave none), are left alone.
void DestroyAerobellVessel(VESSEL* vessel);

#endif  // AEROBELL_FACTORY_H
