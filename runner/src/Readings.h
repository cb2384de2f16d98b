#pragma once

#include "Timeline.h"

#include <host/Host.h>

#include <optional>

namespace runner {

// Readings of a host vessel that the runner reports; the same numbers go to the event lines,
// the timeline, the plot and the summary.
double propellantKg(const host::Vessel& v);
const host::ThrusterGroup* findGroup(const host::Vessel& v, THGROUP_TYPE type);
// The resource the retro group `retro` (the vessel's RETRO group, null where it has none) draws
// on; before the group exists, the default resource (a cone makes its retro tank the default).
// Null when there is neither.
const host::Propellant* retroPropellant(const host::Vessel& v, const host::ThrusterGroup* retro);
double speedMps(const host::Vessel& v);
// The level the simulator's graphics client gives the vessel's first re-entry stream: the
// atmospheric parameter p = 0.5 rho^0.6 v^3 mapped by the stream's atmosphere map between its
// amin and amax. Empty for a vessel without one.
std::optional<double> reentryLevel(const host::Vessel& v);
// Everything the timeline and the plot show of a vessel; `retro` as above.
Sample sampleOf(const host::Vessel& v, const host::ThrusterGroup* retro);
// The vessel this one hangs on, or null.
const host::Vessel* parentOf(const host::Vessel& v);

}  // namespace runner
